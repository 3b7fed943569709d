#include "byte_files.h"

#include "errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <vector>

namespace tapeloom {

namespace {
constexpr std::size_t kBufferSize = 1 << 18;
}

OutputFile::OutputFile(const std::string& pathText) {
    file_ = std::fopen(pathText.c_str(), "wb");
    if (file_ == nullptr)
        throw FileError::cannotCreate(pathText);
    std::setvbuf(file_, nullptr, _IOFBF, kBufferSize);
}

OutputFile::~OutputFile() {
    if (file_ != nullptr)
        std::fclose(file_);
}

void OutputFile::write(std::span<const std::uint8_t> bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        throw FileError::streamWrite();
}

void OutputFile::write(std::string_view bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        throw FileError::streamWrite();
}

void OutputFile::writeByte(std::uint8_t byte) {
    if (std::fputc(byte, file_) == EOF)
        throw FileError::streamWrite();
}

void OutputFile::copyFrom(std::FILE* input, std::uint64_t size) {
    std::vector<std::uint8_t> buffer(kBufferSize);
    while (size > 0) {
        std::size_t want = size < buffer.size() ? static_cast<std::size_t>(size) : buffer.size();
        std::size_t got = std::fread(buffer.data(), 1, want, input);
        if (got != want)
            throw FileError::streamRead();
        write(std::span(buffer.data(), got));
        size -= got;
    }
}

void OutputFile::close() {
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0)
        throw FileError::streamWrite();
}

InputFile::InputFile(const std::string& pathText) {
    // Without O_NONBLOCK, opening a named pipe would wait for a writer; the type is checked
    // before anything is read.
    const int fd = ::open(pathText.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        (file_ = ::fdopen(fd, "rb")) == nullptr) {
        if (fd >= 0)
            ::close(fd);
        throw FileError::cannotOpen(pathText);
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
}

InputFile::~InputFile() {
    if (file_ != nullptr)
        std::fclose(file_);
}

void writeWholeFile(const std::string& pathText, std::span<const std::uint8_t> bytes) {
    OutputFile out(pathText);
    out.write(bytes);
    out.close();
}

std::vector<std::uint8_t> readWholeFile(const std::filesystem::path& path) {
    InputFile in(path.string());
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(in.size()));
    // To the end of the file rather than to the size seen at opening: the file may have changed.
    std::uint8_t chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, in.handle())) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    if (std::ferror(in.handle()))
        throw FileError::streamRead();
    return bytes;
}

} // namespace tapeloom
