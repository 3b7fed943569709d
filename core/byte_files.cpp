#include "byte_files.h"

#include "errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace tapeloom {

namespace {

constexpr std::size_t kBufferSize = 1 << 18;

// The file a path finally names when it is a link (or a chain of links).
std::string followLinks(const std::string& pathText) {
    std::error_code error;
    std::filesystem::path target = pathText;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(target, error); ++hops) {
        auto link = std::filesystem::read_symlink(target, error);
        if (error)
            break;
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return target.string();
}

// A name beside target that no other writer (thread or process) uses at the same time; hidden,
// so a file manager does not offer a half-written image.
std::string besideName(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path path(target);
    const std::string name = "." + path.filename().string() + "." + std::to_string(::getpid()) +
                             "-" + std::to_string(counter++) + ".new";
    return (path.parent_path() / name).string();
}

// Makes the rename itself durable; a folder that cannot be synced changes nothing we can mend.
void syncFolderOf(const std::string& target) {
    std::filesystem::path folder = std::filesystem::path(target).parent_path();
    if (folder.empty())
        folder = ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

FileStamp stampOf(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::uint64_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtim.tv_sec),
            static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

std::string tooLarge(std::uint64_t maxBytes) {
    return "The file is larger than the " + std::to_string(maxBytes) + " bytes it can hold at most";
}

} // namespace

InputFile::InputFile(const std::string& pathText) : pathText_(pathText) {
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
    stamp_ = stampOf(info);
}

InputFile::~InputFile() {
    if (file_ != nullptr)
        std::fclose(file_);
}

std::size_t InputFile::read(std::span<std::uint8_t> bytes) {
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file_);
    if (got < bytes.size() && std::ferror(file_))
        throw FileError::streamRead(pathText_);
    return got;
}

OutputFile::OutputFile(const std::string& pathText)
    : pathText_(pathText), target_(followLinks(pathText)) {
    struct stat old {};
    const bool existed = ::stat(target_.c_str(), &old) == 0;
    // A file marked read-only stays as it is, although the folder would allow the rename.
    if (existed && (!S_ISREG(old.st_mode) || ::access(target_.c_str(), W_OK) != 0))
        throw FileError::cannotCreate(pathText_);
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary_ = besideName(target_);
        fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        temporary_.clear();
        throw FileError::cannotCreate(pathText_);
    }
    if (existed) {
        // The new file takes the old one's place with its permissions and, where we may, owner.
        ::fchmod(fd, old.st_mode & 07777);
        [[maybe_unused]] int ignored = ::fchown(fd, old.st_uid, old.st_gid);
    }
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
        ::close(fd);
        discard();
        throw FileError::cannotCreate(pathText_);
    }
    std::setvbuf(file_, nullptr, _IOFBF, kBufferSize);
}

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::discard() {
    if (file_ != nullptr)
        std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

void OutputFile::failWrite(int error) {
    throw FileError::streamWrite(pathText_ + ": " + std::strerror(error));
}

void OutputFile::write(std::span<const std::uint8_t> bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        failWrite(errno);
}

void OutputFile::write(std::string_view bytes) {
    write(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void OutputFile::writeByte(std::uint8_t byte) {
    if (std::fputc(byte, file_) == EOF)
        failWrite(errno);
}

std::uint64_t OutputFile::copyFrom(InputFile& input) {
    std::vector<std::uint8_t> buffer(kBufferSize);
    std::uint64_t total = 0;
    while (const std::size_t got = input.read(buffer)) {
        write(std::span(buffer.data(), got));
        total += got;
    }
    return total;
}

void OutputFile::seek(std::uint64_t offset) {
    if (::fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0)
        failWrite(errno);
}

void OutputFile::commit() {
    if (std::fflush(file_) != 0 || ::fsync(::fileno(file_)) != 0)
        failWrite(errno);
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0 || ::rename(temporary_.c_str(), target_.c_str()) != 0)
        failWrite(errno);
    temporary_.clear();
    syncFolderOf(target_);
}

void writeWholeFile(const std::string& pathText, std::span<const std::uint8_t> bytes) {
    OutputFile out(pathText);
    out.write(bytes);
    out.commit();
}

std::vector<std::uint8_t> readWholeFile(const std::filesystem::path& path, std::uint64_t maxBytes) {
    InputFile in(path.string());
    if (in.size() > maxBytes)
        throw FileError::cannotOpen(path.string(), tooLarge(maxBytes));
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(in.size()));
    // To the end of the file rather than to the size seen at opening: the file may have changed.
    std::uint8_t chunk[65536];
    while (const std::size_t got = in.read(chunk)) {
        if (got > maxBytes - bytes.size())
            throw FileError::cannotOpen(path.string(), tooLarge(maxBytes));
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

std::vector<std::uint8_t> readFileStart(const std::filesystem::path& path, std::size_t maxBytes) {
    InputFile in(path.string());
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::min<std::uint64_t>(in.size(), maxBytes)));
    std::size_t filled = in.read(bytes);
    // A file that grew since it was measured gives no more than asked for.
    while (filled == bytes.size() && bytes.size() < maxBytes) {
        std::uint8_t chunk[65536];
        const std::size_t got =
            in.read(std::span(chunk, std::min(sizeof chunk, maxBytes - filled)));
        if (got == 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + got);
        filled += got;
    }
    bytes.resize(filled);
    return bytes;
}

} // namespace tapeloom
