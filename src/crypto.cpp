// Defines the libtomcrypt wrapper; every library failure becomes a crypt_exception.
#include "crypto.h"

namespace {

int s_sha1Index = -1;
int s_sprngIndex = -1;
const unsigned long kSaltLength = 8;

// libtomcrypt aborts the process on a null pointer even with length 0, so empty input
// gets a real address.
const unsigned char *nonNull(const unsigned char *p)
{
    static const unsigned char empty = 0;
    return p ? p : &empty;
}

void check(int err, const char *call)
{
    if (err != CRYPT_OK)
        throw crypt_exception(std::string(call) + ": " + error_to_string(err));
}

} // namespace

void registerCrypto()
{
    const int prng = register_prng(&sprng_desc);
    ltc_mp = ltm_desc;
    const int hash = register_hash(&sha1_desc);
    if (prng == -1 || hash == -1)
        throw crypt_exception("Error registering sha1");
    s_sha1Index = find_hash("sha1");
    s_sprngIndex = find_prng("sprng");
}

void importRsaKey(rsa_key &key, const unsigned char *data, unsigned long length)
{
    check(rsa_import(nonNull(data), length, &key), "rsa_import");
}

bool verifyRsaSignature(rsa_key &key, const unsigned char *data, unsigned long dataLength,
                        const unsigned char *signature, unsigned long signatureLength)
{
    unsigned char digest[20];
    unsigned long digestLength = sizeof digest;
    check(hash_memory(s_sha1Index, nonNull(data), dataLength, digest, &digestLength), "hash_memory");
    int valid = 0;
    check(rsa_verify_hash_ex(nonNull(signature), signatureLength, digest, digestLength, LTC_PKCS_1_PSS, s_sha1Index,
                             kSaltLength, &valid, &key),
          "rsa_verify_hash");
    return valid != 0;
}
