// Replays saved fuzz inputs (seed corpora and past crashes) through a fuzz target as an ordinary test.
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        DIR *dir = ::opendir(argv[i]);
        if (!dir)
            continue;
        while (dirent *entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            const std::string path = std::string(argv[i]) + "/" + entry->d_name;
            std::ifstream in(path, std::ios::binary);
            const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::printf("replaying %s (%zu bytes)\n", path.c_str(), bytes.size());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
        ::closedir(dir);
    }
    std::printf("%d inputs replayed\n", replayed);
    return 0;
}
