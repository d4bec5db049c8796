// Declares the publisher's key operations: key pair generation, signing and the key block source.
#pragma once

#include <string>
#include <vector>

namespace publisherkeys {

using Bytes = std::vector<unsigned char>;

// DER lengths of the key form the updater compiles in: a 1024-bit modulus and exponent 65537.
const unsigned long kPublicKeyDerSize = 140;
const unsigned long kKeyBlockSize = 2048;
const unsigned long kSignatureSize = 128;

// Registers the PRNG, hash and math provider; returns false with a reason on failure.
bool init(std::string &error);
// A fresh 1024-bit pair: PKCS #1 RSAPrivateKey and RSAPublicKey, both DER.
bool generate(Bytes &privateDer, Bytes &publicDer, std::string &error);
// RSASSA-PSS over data with SHA-1 (hash and MGF1) and an 8-byte salt; one modulus long.
bool sign(const Bytes &privateDer, const Bytes &data, Bytes &signature, std::string &error);
// Accepts only a 1024-bit RSAPublicKey of exactly kPublicKeyDerSize bytes.
bool checkPublicKey(const Bytes &publicDer, std::string &error);
// C++ source defining verificationKeyBlock: the key followed by zero filler.
std::string keyBlockSource(const Bytes &publicDer);

bool readFile(const std::string &path, Bytes &data, std::string &error);
// Writes through a temporary name and renames, so a failed run leaves no half file.
bool writeFile(const std::string &path, const Bytes &data, bool secret, std::string &error);

} // namespace publisherkeys
