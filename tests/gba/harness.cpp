#include <mgba/flags.h> // first: fixes the layout of struct mCore

#include "harness.h"

#include "state_blocks.h"

#include <mgba-util/vfs.h>
#include <mgba/core/core.h>
#include <mgba/core/log.h>
#include <mgba/core/timing.h>
#include <mgba/internal/gba/gba.h>

#include <png.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace gbatest {

namespace {

// mGBA logs through one process-wide logger; it forwards to the Gba that is running.
Gba* activeGba = nullptr;

void logToActive(mLogger*, int, mLogLevel level, const char* format, va_list args) {
    if (!activeGba)
        return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    activeGba->onLog(static_cast<int>(level), text);
}

mLogger harnessLogger = {logToActive, nullptr};

} // namespace

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Gba::Gba(std::vector<std::uint8_t> image) : image_(std::move(image)) {
    mLogSetDefaultLogger(&harnessLogger);
    enter();
    core_ = mCoreCreate(mPLATFORM_GBA);
    if (!core_)
        throw std::runtime_error("mCoreCreate failed");
    core_->init(core_);
    mCoreInitConfig(core_, nullptr);
    unsigned width = 0;
    unsigned height = 0;
    core_->desiredVideoDimensions(core_, &width, &height);
    video_.assign(static_cast<std::size_t>(width) * height, 0);
    core_->setVideoBuffer(core_, video_.data(), width);
    if (!core_->loadROM(core_, VFileFromConstMemory(image_.data(), image_.size())))
        throw std::runtime_error("mGBA refused the image");
    reset();
}

Gba::~Gba() {
    enter();
    if (std::getenv("TAPELOOM_STACK_REPORT"))
        std::fprintf(stderr, "System-mode stack: deepest %u bytes of %u\n",
                     static_cast<unsigned>(stackDepth()), static_cast<unsigned>(SYS_STACK_SIZE));
    mCoreConfigDeinit(&core_->config);
    core_->deinit(core_);
    activeGba = nullptr;
}

void Gba::enter() {
    activeGba = this;
}

void Gba::onLog(int level, const std::string& message) {
    if (level == mLOG_GAME_ERROR) {
        ++gameErrors_;
        gameErrorMessages_.push_back(message);
    }
    if (captureLog_)
        log_.push_back(message);
}

void Gba::reset() {
    enter();
    core_->reset(core_);
    stackPainted_ = false;
}

void Gba::attachSave(const std::filesystem::path& path) {
    enter();
    struct VFile* file = VFileOpen(path.c_str(), O_CREAT | O_RDWR);
    if (!file || !core_->loadSave(core_, file))
        throw std::runtime_error("mGBA cannot use the save file " + path.string());
    reset();
}

std::vector<std::uint8_t> Gba::saveData() {
    enter();
    void* copy = nullptr;
    std::size_t size = core_->savedataClone(core_, &copy);
    std::vector<std::uint8_t> bytes(static_cast<std::uint8_t*>(copy),
                                    static_cast<std::uint8_t*>(copy) + size);
    std::free(copy);
    return bytes;
}

void Gba::removeSaveMemory() {
    enter();
    GBASavedataForceType(&static_cast<struct GBA*>(core_->board)->memory.savedata,
                         SAVEDATA_FORCE_NONE);
}

void Gba::runFrames(int frames) {
    enter();
    for (int i = 0; i < frames; ++i) {
        core_->runFrame(core_);
        checkGameErrors();
    }
}

void Gba::step(int instructions) {
    enter();
    for (int i = 0; i < instructions; ++i)
        core_->step(core_);
    checkGameErrors();
}

std::uint32_t Gba::stackDepth() {
    std::size_t size = 0;
    const std::uint8_t* iwram = memory(0x03000000, &size);
    if (!iwram || size < SYS_STACK_TOP - 0x03000000)
        return 0;
    // Up from the first painted word below the stack's bottom to the last one in a row.
    std::uint32_t address = SYS_STACK_TOP - SYS_STACK_SIZE;
    auto painted = [&](std::uint32_t a) {
        std::uint32_t word = 0;
        std::memcpy(&word, iwram + (a - 0x03000000), 4);
        return word == STACK_PAINT;
    };
    while (address > 0x03000000 && painted(address - 4))
        address -= 4;
    if (!painted(address) && address == SYS_STACK_TOP - SYS_STACK_SIZE) {
        // The bottom word is gone: deeper than the stack (or no paint at all).
        while (address > 0x03000000 && !painted(address - 4))
            address -= 4;
        if (address == 0x03000000)
            return 0;
        return SYS_STACK_TOP - address;
    }
    while (address < SYS_STACK_TOP && painted(address))
        address += 4;
    return SYS_STACK_TOP - address;
}

void Gba::checkStack() {
    bool painted = read32(SYS_STACK_TOP - SYS_STACK_SIZE) == STACK_PAINT;
    if (painted) {
        stackPainted_ = true;
    } else if (stackPainted_) {
        stackPainted_ = false;
        throw std::runtime_error("GBA program error: the System-mode stack went past its " +
                                 std::to_string(SYS_STACK_SIZE) + " bytes");
    }
}

void Gba::checkGameErrors() {
    checkStack();
    if (!failOnGameError_ || gameErrors_ == gameErrorsChecked_)
        return;
    std::string first = gameErrorMessages_[static_cast<std::size_t>(gameErrorsChecked_)];
    gameErrorsChecked_ = gameErrors_;
    throw std::runtime_error("GBA program error: " + first);
}

int Gba::runUntil(const std::function<bool(Gba&)>& done, int maxFrames) {
    for (int frame = 0; frame < maxFrames; ++frame) {
        if (done(*this))
            return frame;
        runFrames(1);
    }
    return done(*this) ? maxFrames : -1;
}

int Gba::runUntil32(std::uint32_t address, std::uint32_t value, int maxFrames) {
    return runUntil([&](Gba& gba) { return gba.read32(address) == value; }, maxFrames);
}

void Gba::setKeys(std::uint16_t pressed) {
    core_->setKeys(core_, pressed);
}

void Gba::press(std::uint16_t keys, int holdFrames, int releaseFrames) {
    setKeys(keys);
    runFrames(holdFrames);
    setKeys(0);
    runFrames(releaseFrames);
}

std::uint8_t Gba::read8(std::uint32_t address) {
    return static_cast<std::uint8_t>(core_->busRead8(core_, address));
}
std::uint16_t Gba::read16(std::uint32_t address) {
    return static_cast<std::uint16_t>(core_->busRead16(core_, address));
}
std::uint32_t Gba::read32(std::uint32_t address) {
    return core_->busRead32(core_, address);
}

void Gba::read(std::uint32_t address, void* out, std::size_t size) {
    auto* bytes = static_cast<std::uint8_t*>(out);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = read8(address + static_cast<std::uint32_t>(i));
}

void Gba::write8(std::uint32_t address, std::uint8_t value) {
    core_->busWrite8(core_, address, value);
}
void Gba::write16(std::uint32_t address, std::uint16_t value) {
    core_->busWrite16(core_, address, value);
}
void Gba::write32(std::uint32_t address, std::uint32_t value) {
    core_->busWrite32(core_, address, value);
}

void Gba::write(std::uint32_t address, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i)
        write8(address + static_cast<std::uint32_t>(i), bytes[i]);
}

std::uint8_t* Gba::memory(std::uint32_t address, std::size_t* size) {
    std::size_t available = 0;
    auto* block = static_cast<std::uint8_t*>(mCoreGetMemoryBlock(core_, address, &available));
    if (size)
        *size = block ? available : 0;
    return block;
}

void Gba::fillJunk(std::uint32_t address, std::size_t size, std::uint32_t seed) {
    std::uint32_t x = seed ? seed : 1;
    for (std::size_t i = 0; i + 4 <= size; i += 4) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        write32(address + static_cast<std::uint32_t>(i), x);
    }
}

std::vector<std::uint32_t> Gba::frameRgb() const {
    std::vector<std::uint32_t> rgb(video_.size());
    for (std::size_t i = 0; i < video_.size(); ++i) {
        std::uint32_t p = video_[i];
        rgb[i] = (p & 0xFF) << 16 | (p & 0xFF00) | (p >> 16 & 0xFF);
    }
    return rgb;
}

std::uint32_t Gba::pixel(int x, int y) const {
    std::uint32_t p = video_.at(static_cast<std::size_t>(y) * kScreenWidth + x);
    return (p & 0xFF) << 16 | (p & 0xFF00) | (p >> 16 & 0xFF);
}

bool Gba::writePng(const std::filesystem::path& path) const {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    volatile bool ok = false;
    std::vector<std::uint8_t> row(kScreenWidth * 3);
    if (png && info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, kScreenWidth, kScreenHeight, 8, PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < kScreenHeight; ++y) {
            for (int x = 0; x < kScreenWidth; ++x) {
                std::uint32_t p = pixel(x, y);
                row[x * 3] = static_cast<std::uint8_t>(p >> 16);
                row[x * 3 + 1] = static_cast<std::uint8_t>(p >> 8);
                row[x * 3 + 2] = static_cast<std::uint8_t>(p);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

void plantPogoshellBlock(Gba& gba, const std::string& path, std::uint32_t address,
                         std::uint32_t size) {
    gba.write32(POGOSHELL_ARGS_ADDRESS, size);
    gba.write32(POGOSHELL_ARGS_ADDRESS + 4, address);
    gba.write32(POGOSHELL_BLOCK_ADDRESS, POGOSHELL_MAGIC);
    gba.write32(POGOSHELL_BLOCK_ADDRESS + 4, 2);
    std::string strings = std::string("/.plugins/tpl.gba") + '\0' + path + '\0';
    gba.write(POGOSHELL_BLOCK_ADDRESS + 8, strings.data(), strings.size());
}

std::uint64_t Gba::cycles() const {
    return mTimingGlobalTime(core_->timing);
}

} // namespace gbatest
