// Declares the libtomcrypt wrapper: registration, RSA key import and RSASSA-PSS verification.
#pragma once

#include <tomcrypt.h>

#include <exception>
#include <string>

// Thrown for every failing libtomcrypt call made by the wrapper.
class crypt_exception : public std::exception
{
public:
    explicit crypt_exception(std::string text) : m_Text(std::move(text)) {}
    const char *what() const noexcept override { return m_Text.c_str(); }

private:
    std::string m_Text;
};

// Registers the "sprng" PRNG and the "sha1" hash and installs libtommath as math provider.
// Called once per engine initialisation, before any check runs.
void registerCrypto();
// key must be released with rsa_free.
void importRsaKey(rsa_key &key, const unsigned char *data, unsigned long length);
// RSASSA-PSS (PKCS #1 v2.1) over data, SHA-1 as message hash and in MGF1, 8-byte salt.
bool verifyRsaSignature(rsa_key &key, const unsigned char *data, unsigned long dataLength,
                        const unsigned char *signature, unsigned long signatureLength);

// The publisher's public key: a DER RSAPublicKey followed by filler, generated at build time.
extern const unsigned char verificationKeyBlock[2048];
