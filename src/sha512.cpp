// Defines Sha512 on OpenSSL's EVP interface, reading with plain POSIX calls.
#include "sha512.h"

#include <QFile>

#include <openssl/evp.h>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct CtxFree {
    void operator()(EVP_MD_CTX *ctx) const { EVP_MD_CTX_free(ctx); }
};
using Ctx = std::unique_ptr<EVP_MD_CTX, CtxFree>;

class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

QString toHex(const unsigned char *digest, unsigned int length)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex());
}

} // namespace

Sha512::Status Sha512::hashFile(const QString &path, QString &hexDigest)
{
    const Fd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return OpenFailed;
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    const Ctx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha512(), nullptr) != 1)
        return ReadFailed;
    std::vector<unsigned char> buffer(kChunkSize);
    const quint64 size = quint64(st.st_size);
    quint64 total = 0;
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return ReadFailed;
        }
        if (got == 0)
            break;
        total += quint64(got);
        if (EVP_DigestUpdate(ctx.get(), buffer.data(), size_t(got)) != 1)
            return ReadFailed;
    }
    // A file that changed size while we read it is not the file that was checked.
    if (total != size)
        return ReadFailed;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1)
        return ReadFailed;
    hexDigest = toHex(digest, length);
    return Ok;
}

QString Sha512::hashHex(const QByteArray &data)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    const Ctx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha512(), nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), data.constData(), size_t(data.size())) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1)
        return QString();
    return toHex(digest, length);
}
