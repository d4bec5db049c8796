// The build's key tool: makes a fresh key pair and turns a public key into the compiled key block.
#include "publisherkeys.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace publisherkeys;

namespace {

int fail(const std::string &error)
{
    std::fprintf(stderr, "mv3-keytool: %s\n", error.c_str());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    std::string error;
    if (!init(error))
        return fail(error);
    if (argc == 4 && std::strcmp(argv[1], "generate") == 0) {
        Bytes priv, pub;
        if (!generate(priv, pub, error) || !writeFile(argv[2], priv, true, error) ||
            !writeFile(argv[3], pub, false, error))
            return fail(error);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "keyblock") == 0) {
        Bytes pub;
        if (!readFile(argv[2], pub, error) || !checkPublicKey(pub, error))
            return fail(std::string(argv[2]) + ": " + error);
        const std::string source = keyBlockSource(pub);
        if (!writeFile(argv[3], Bytes(source.begin(), source.end()), false, error))
            return fail(error);
        return 0;
    }
    std::fprintf(stderr, "usage: mv3-keytool generate PRIVATE_KEY PUBLIC_KEY\n"
                         "       mv3-keytool keyblock PUBLIC_KEY SOURCE_OUT\n");
    return 2;
}
