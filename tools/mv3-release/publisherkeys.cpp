// Defines the publisher's key operations on libtomcrypt with libtommath.
#include "publisherkeys.h"

#include <tomcrypt.h>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace publisherkeys {

namespace {

// libtomcrypt aborts the process on a null pointer even with length 0 (an empty file).
const unsigned char *nonNull(const Bytes &bytes)
{
    static const unsigned char empty = 0;
    return bytes.empty() ? &empty : bytes.data();
}

int s_prng = -1;
int s_sha1 = -1;

bool ok(int err, const char *call, std::string &error)
{
    if (err == CRYPT_OK)
        return true;
    error = std::string(call) + ": " + error_to_string(err);
    return false;
}

struct Key {
    rsa_key key;
    bool loaded = false;
    ~Key()
    {
        if (loaded)
            rsa_free(&key);
    }
};

bool importKey(const Bytes &der, Key &key, std::string &error)
{
    if (!ok(rsa_import(nonNull(der), der.size(), &key.key), "rsa_import", error))
        return false;
    key.loaded = true;
    return true;
}

} // namespace

bool init(std::string &error)
{
    ltc_mp = ltm_desc;
    if (register_prng(&sprng_desc) == -1 || register_hash(&sha1_desc) == -1) {
        error = "Error registering sha1";
        return false;
    }
    s_prng = find_prng("sprng");
    s_sha1 = find_hash("sha1");
    return true;
}

bool generate(Bytes &privateDer, Bytes &publicDer, std::string &error)
{
    // rand_prime sets the two top bits of each prime, so the modulus has exactly 1024 bits;
    // the loop is a guard, not an expected path.
    for (int attempt = 0; attempt < 8; ++attempt) {
        Key key;
        if (!ok(rsa_make_key(nullptr, s_prng, 128, 65537, &key.key), "rsa_make_key", error))
            return false;
        key.loaded = true;
        privateDer.assign(4096, 0);
        publicDer.assign(4096, 0);
        unsigned long privLen = privateDer.size(), pubLen = publicDer.size();
        if (!ok(rsa_export(privateDer.data(), &privLen, PK_PRIVATE, &key.key), "rsa_export", error) ||
            !ok(rsa_export(publicDer.data(), &pubLen, PK_PUBLIC, &key.key), "rsa_export", error))
            return false;
        privateDer.resize(privLen);
        publicDer.resize(pubLen);
        if (checkPublicKey(publicDer, error))
            return true;
    }
    return false;
}

bool sign(const Bytes &privateDer, const Bytes &data, Bytes &signature, std::string &error)
{
    Key key;
    if (!importKey(privateDer, key, error))
        return false;
    if (key.key.type != PK_PRIVATE) {
        error = "not a private key";
        return false;
    }
    unsigned char digest[20];
    unsigned long digestLen = sizeof digest;
    if (!ok(hash_memory(s_sha1, nonNull(data), data.size(), digest, &digestLen), "hash_memory", error))
        return false;
    signature.assign(kSignatureSize * 2, 0);
    unsigned long sigLen = signature.size();
    if (!ok(rsa_sign_hash_ex(digest, digestLen, signature.data(), &sigLen, LTC_PKCS_1_PSS, nullptr, s_prng, s_sha1, 8,
                             &key.key),
            "rsa_sign_hash", error))
        return false;
    signature.resize(sigLen);
    return true;
}

bool checkPublicKey(const Bytes &publicDer, std::string &error)
{
    if (publicDer.size() != kPublicKeyDerSize) {
        error = "public key is " + std::to_string(publicDer.size()) + " bytes, expected " +
                std::to_string(kPublicKeyDerSize) + " (DER RSAPublicKey, 1024-bit modulus, exponent 65537)";
        return false;
    }
    Key key;
    if (!importKey(publicDer, key, error))
        return false;
    if (key.key.type != PK_PUBLIC || ltc_mp.count_bits(key.key.N) != 1024) {
        error = "not a 1024-bit RSA public key";
        return false;
    }
    return true;
}

std::string keyBlockSource(const Bytes &publicDer)
{
    std::string out = "// Generated at build time: the publisher's public key block for signature checks.\n"
                      "#include \"crypto.h\"\n\n"
                      "const unsigned char verificationKeyBlock[2048] = {";
    char hex[8];
    for (size_t i = 0; i < publicDer.size(); ++i) {
        std::snprintf(hex, sizeof hex, "0x%02x,", publicDer[i]);
        out += i % 12 ? " " : "\n    ";
        out += hex;
    }
    out += "\n    // The rest of the block is zero filler that the DER decoder never reads.\n};\n";
    return out;
}

bool readFile(const std::string &path, Bytes &data, std::string &error)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open " + path;
        return false;
    }
    data.clear();
    unsigned char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        data.insert(data.end(), buf, buf + n);
    const bool failed = std::ferror(f);
    std::fclose(f);
    if (failed)
        error = "cannot read " + path;
    return !failed;
}

bool writeFile(const std::string &path, const Bytes &data, bool secret, std::string &error)
{
    const std::string tmp = path + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, secret ? 0600 : 0644);
    if (fd < 0) {
        error = "cannot create " + tmp;
        return false;
    }
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n <= 0) {
            ::close(fd);
            ::unlink(tmp.c_str());
            error = "cannot write " + tmp;
            return false;
        }
        done += size_t(n);
    }
    if (::close(fd) != 0 || std::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace publisherkeys
