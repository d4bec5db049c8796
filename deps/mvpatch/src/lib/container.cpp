// Defines packing and unpacking of the compressed file container.
#include "container.h"

#include "crc.h"
#include "files.h"
#include "log.h"
#include "lzmaio.h"
#include "streams.h"

#include <sys/stat.h>

namespace mvpatch {

namespace {

void logError(const char *message)
{
    Log(message, LogLevel_ERROR);
}

// Programs inside a dis_and_diff body need the disassemblers, which this engine does not have yet:
// the body is checked as far as it can be and then refused.
bool unpackDisAndDiff(ReadStream *body)
{
    WriteStream decompressed;
    if (!ReadLzma2(body, &decompressed)) {
        logError("could not decompress file");
        return false;
    }
    ReadStreamSet set;
    if (!set.Init(decompressed.Buffer(), decompressed.Length())) {
        logError("could not init dif_and_dis set");
        return false;
    }
    if (set.count() < 2) {
        logError("dis_and_diff too small");
        return false;
    }
    ReadStream *program = set.stream(0);
    ReadStreamSet programSource;
    if (!programSource.Init(program->Current(), program->Remaining())) {
        logError("could not init program_source set");
        return false;
    }
    logError("could not read encoded program");
    return false;
}

bool unpackPlain(ReadStream *body, uint32_t expectedCrc, const std::string &output_path)
{
    // Decoding straight to a file beside the target keeps memory at the decoder's window
    // instead of the whole restored file, and leaves the target untouched on failure.
    ReplacementFile output(output_path);
    bool writeFailed = !output.IsOpen();
    uint32_t crc = CalculateCrc(nullptr, 0);
    const bool decoded = ReadLzma2Chunked(body, [&](const uint8_t *data, size_t length) {
        crc = UpdateCrc(crc, data, length);
        if (!writeFailed && !output.Write(data, length))
            writeFailed = true;
        return true;
    });
    if (!decoded) {
        logError("could not decompress file");
        return false;
    }
    if (crc != expectedCrc) {
        logError("crc mismatch");
        return false;
    }
    if (writeFailed || !output.Commit()) {
        logError("could not write output file");
        return false;
    }
    return true;
}

bool writeDefaultForm(const uint8_t *data, size_t length, uint32_t crc, WriteStream *out)
{
    if (!out->WriteVarint32(kContainerMagic)) {
        logError("could not write magic");
        return false;
    }
    if (!out->WriteVarint32(crc)) {
        logError("could not write crc");
        return false;
    }
    if (!out->WriteVarint32(kDirectivePlainLzma2)) {
        logError("could not write preprocess directive");
        return false;
    }
    if (!WriteLzma2(data, length, out)) {
        logError("could not compress file");
        return false;
    }
    return true;
}

bool isEmptyRegularFile(const std::string &path)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 0;
}

} // namespace

const char *ExecutableTypeName(int type)
{
    switch (type) {
    case EXE_WIN_32_X86: return "WIN_32_X86";
    case EXE_ELF_32_X86: return "EXE_ELF_32_X86";
    case EXE_ELF_32_ARM: return "ELF_32_ARM";
    case EXE_WIN_32_X64: return "WIN_32_X64";
    case EXE_ELF_64_X64: return "ELF_64_X64";
    case EXE_MACHO_X86: return "MACHO_X86";
    case EXE_MACHO_X64: return "MACHO_X64";
    default: return "UNKNOWN";
    }
}

bool UnpackContainerFile(const std::string &input_path, const std::string &output_path)
{
    MappedInputFile input(input_path);
    if (!input.IsMapped()) {
        logError("could not open lzma file");
        return false;
    }
    ReadStream stream(input.data(), input.length());
    uint32_t magic, crc, directive;
    if (!stream.ReadVarint32(&magic) || !stream.ReadVarint32(&crc) || !stream.ReadVarint32(&directive)) {
        logError("could not read lzma header");
        return false;
    }
    if (magic != kContainerMagic) {
        logError("not lzma file");
        return false;
    }
    switch (directive) {
    case kDirectivePlainLzma2:
        return unpackPlain(&stream, crc, output_path);
    case kDirectiveDisAndDiff:
        return unpackDisAndDiff(&stream);
    default:
        logError("Unknown preprocessing dirrective");
        return false;
    }
}

bool PackContainerFile(const std::string &input_path, const std::string &output_path, bool /*preprocess*/)
{
    MappedInputFile input(input_path);
    // A release may hold empty files; they cannot be mapped but still pack into a valid container.
    if (!input.IsMapped() && !isEmptyRegularFile(input_path)) {
        logError("could not open file");
        return false;
    }
    const uint8_t *data = input.data();
    const size_t length = input.length();

    WriteStream out;
    // Whatever the default form managed to write is still saved, as the caller asked for a file.
    const bool packed = writeDefaultForm(data, length, CalculateCrc(data, length), &out);

    ReplacementFile output(output_path);
    if (!output.Write(out.Buffer(), out.Length()) || !output.Commit()) {
        logError("could not write output file");
        return false;
    }
    return packed;
}

} // namespace mvpatch
