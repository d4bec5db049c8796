// Declares the compressed file container: magic, checksum, preprocessing directive, one LZMA2 block.
#pragma once

#include <cstdint>
#include <string>

namespace mvpatch {

enum ExecutableType {
    EXE_UNKNOWN = 0,
    EXE_WIN_32_X86 = 1,
    EXE_ELF_32_X86 = 2,
    EXE_ELF_32_ARM = 3,
    EXE_WIN_32_X64 = 4,
    EXE_ELF_64_X64 = 5,
    EXE_MACHO_X86 = 6,
    EXE_MACHO_X64 = 7,
};

// Name of a kind for log texts; any value not listed is "UNKNOWN".
const char *ExecutableTypeName(int type);

constexpr uint32_t kContainerMagic = 132781929;
constexpr uint32_t kDirectivePlainLzma2 = 1;
constexpr uint32_t kDirectiveDisAndDiff = 2;

// Restores the file held by the container at input_path into output_path. On failure the output
// path is left as it was and the reason is in the engine log.
[[nodiscard]] bool UnpackContainerFile(const std::string &input_path, const std::string &output_path);

// Packs input_path into a container at output_path. Executables are stored plainly until the
// disassemblers exist, so the preprocess flag currently changes nothing.
[[nodiscard]] bool PackContainerFile(const std::string &input_path, const std::string &output_path, bool preprocess);

} // namespace mvpatch
