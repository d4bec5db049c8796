// Defines CheckSigFunc: the streamed SHA-512 check and the RSASSA-PSS check.
#include "checksigfunc.h"

#include "crypto.h"
#include "sha512.h"

#include <QDebug>
#include <QFile>

CheckSigFunc::CheckSigFunc(const QString &filePath, const QString &sha512) : m_FilePath(filePath), m_Sha512(sha512) {}

bool CheckSigFunc::run()
{
    return m_Sha512.isEmpty() ? checkRSA() : checkSHA512();
}

bool CheckSigFunc::readFileContents(const QString &path, QByteArray &data)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        emit message(QStringLiteral("Could not open file %1 for reading").arg(path));
        return false;
    }
    const qint64 size = file.size();
    if (size < 0 || size > kMaxSignedFileSize) {
        emit message(QStringLiteral("could not read file %1 correctly").arg(path));
        return false;
    }
    data.resize(int(size));
    if (file.read(data.data(), size) != size) {
        emit message(QStringLiteral("could not read file %1 correctly").arg(path));
        return false;
    }
    file.close();
    return true;
}

bool CheckSigFunc::checkSHA512()
{
    QString computed;
    switch (Sha512::hashFile(m_FilePath, computed)) {
    case Sha512::OpenFailed:
        emit message(QStringLiteral("Could not open file %1 for reading").arg(m_FilePath));
        return false;
    case Sha512::ReadFailed:
        emit message(QStringLiteral("could not read file %1 correctly").arg(m_FilePath));
        return false;
    case Sha512::Ok: break;
    }
    const bool equal = computed.compare(m_Sha512, Qt::CaseInsensitive) == 0;
    qDebug() << "SHA512 check:" << m_Sha512 << computed << "=>" << equal;
    return equal;
}

bool CheckSigFunc::checkRSA()
{
    QByteArray content;
    if (!readFileContents(m_FilePath, content)) {
        qDebug() << "RSA check failed, could not read" << m_FilePath;
        return false;
    }
    const QString sigPath = m_FilePath + QStringLiteral(".sig");
    QByteArray signature;
    if (!readFileContents(sigPath, signature)) {
        qDebug() << "RSA check failed, could not read" << sigPath;
        return false;
    }
    rsa_key key;
    try {
        importRsaKey(key, verificationKeyBlock, sizeof verificationKeyBlock);
    } catch (const crypt_exception &e) {
        qDebug() << "RSA check failed, caught exception" << e.what();
        return false;
    }
    bool valid = false;
    try {
        valid = verifyRsaSignature(
            key, reinterpret_cast<const unsigned char *>(content.constData()), (unsigned long)content.size(),
            reinterpret_cast<const unsigned char *>(signature.constData()), (unsigned long)signature.size());
    } catch (const crypt_exception &e) {
        rsa_free(&key);
        qDebug() << "RSA check failed, caught exception" << e.what();
        return false;
    }
    rsa_free(&key);
    qDebug() << "RSA check" << valid;
    return valid;
}
