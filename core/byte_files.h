#pragma once
// Buffered whole-file writing and reading with the error texts of the file layer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tapeloom {

// A file created (or replaced whole) at construction; closed by close() or the destructor.
class OutputFile {
  public:
    // pathText is the path as the user sees it in "Cannot create file " + pathText.
    explicit OutputFile(const std::string& pathText);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::span<const std::uint8_t> bytes);
    void write(std::string_view bytes);
    void writeByte(std::uint8_t byte);
    // Copies the whole of an open input file; "Stream read error" when it ends early.
    void copyFrom(std::FILE* input, std::uint64_t size);
    void close();

  private:
    std::FILE* file_ = nullptr;
};

// A file opened for reading; "Cannot open file " + pathText when it is missing, unreadable or
// not a regular file (a folder, a device, a named pipe: opening one never waits for a writer).
class InputFile {
  public:
    explicit InputFile(const std::string& pathText);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::uint64_t size() const { return size_; }
    std::FILE* handle() const { return file_; }

  private:
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
};

void writeWholeFile(const std::string& pathText, std::span<const std::uint8_t> bytes);

// The whole content of a regular file: "Cannot open file " + path as InputFile says, "Stream read
// error" when reading fails part way.
std::vector<std::uint8_t> readWholeFile(const std::filesystem::path& path);

} // namespace tapeloom
