// A headless GBA for tests: libmgba with no window, no BIOS file and no user configuration.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct mCore;

namespace gbatest {

// KEYINPUT bits (pressed = set here; the harness inverts for the hardware register).
enum Key : std::uint16_t {
    KeyA = 0x001,
    KeyB = 0x002,
    KeySelect = 0x004,
    KeyStart = 0x008,
    KeyRight = 0x010,
    KeyLeft = 0x020,
    KeyUp = 0x040,
    KeyDown = 0x080,
    KeyR = 0x100,
    KeyL = 0x200,
};

constexpr int kScreenWidth = 240;
constexpr int kScreenHeight = 160;
constexpr std::uint32_t kCyclesPerFrame = 280896;

std::vector<std::uint8_t> readFile(const std::filesystem::path& path);

class Gba {
  public:
    // Loads the cartridge image (kept in this object: the core reads it in place) and resets.
    explicit Gba(std::vector<std::uint8_t> image);
    ~Gba();
    Gba(const Gba&) = delete;
    Gba& operator=(const Gba&) = delete;

    // Reset zeroes RAM: plant memory (a Pogoshell block, junk) after this, before running.
    // The cartridge's save memory stays, as on a console switched off and on.
    void reset();
    // Gives the cartridge battery-backed save memory kept in `path` (created when missing), as
    // an emulator keeps it beside the image, and resets. The file is written when this Gba is
    // destroyed: a new Gba given the same file is the console switched on again.
    void attachSave(const std::filesystem::path& path);
    // The save memory as the emulator holds it now (empty before the program touched it).
    std::vector<std::uint8_t> saveData();
    // A cartridge without save memory: reads give nothing, writes are lost.
    void removeSaveMemory();
    void runFrames(int frames);
    // Runs single instructions (for exact cycle counts together with cycles()).
    void step(int instructions = 1);
    // Runs until `done` is true (checked after each frame); returns the frames run, or -1 when
    // maxFrames passed first.
    int runUntil(const std::function<bool(Gba&)>& done, int maxFrames);
    // Runs until the 32-bit word at address equals value.
    int runUntil32(std::uint32_t address, std::uint32_t value, int maxFrames);

    void setKeys(std::uint16_t pressed);
    // Holds the keys for holdFrames, then releases them for releaseFrames.
    void press(std::uint16_t keys, int holdFrames = 2, int releaseFrames = 2);

    std::uint8_t read8(std::uint32_t address);
    std::uint16_t read16(std::uint32_t address);
    std::uint32_t read32(std::uint32_t address);
    void read(std::uint32_t address, void* out, std::size_t size);
    template <class T> T readStruct(std::uint32_t address) {
        T value{};
        read(address, &value, sizeof value);
        return value;
    }
    void write8(std::uint32_t address, std::uint8_t value);
    void write16(std::uint32_t address, std::uint16_t value);
    void write32(std::uint32_t address, std::uint32_t value);
    void write(std::uint32_t address, const void* data, std::size_t size);
    // mGBA's own memory behind an address (RAM, VRAM, ...): fast bulk access; nullptr when
    // unmapped. *size receives the bytes available from there.
    std::uint8_t* memory(std::uint32_t address, std::size_t* size);
    // Fills memory with a byte pattern that changes along the way (catches missing clears).
    void fillJunk(std::uint32_t address, std::size_t size, std::uint32_t seed = 0x9E3779B9u);

    // The last frame, 240x160 pixels as 0xRRGGBB.
    std::vector<std::uint32_t> frameRgb() const;
    std::uint32_t pixel(int x, int y) const;
    bool writePng(const std::filesystem::path& path) const;

    // Emulated CPU cycles since reset (16,777,216 per second).
    std::uint64_t cycles() const;

    // Log messages are dropped unless captured; mLOG_GAME_ERROR messages (bad memory accesses
    // by the program) are always counted.
    void captureLog(bool on) { captureLog_ = on; }
    const std::vector<std::string>& log() const { return log_; }
    int gameErrors() const { return gameErrors_; }
    // From now on a game error makes runFrames/step/runUntil throw std::runtime_error.
    void failOnGameError(bool on) { failOnGameError_ = on; }
    const std::vector<std::string>& gameErrorMessages() const { return gameErrorMessages_; }

    // The deepest the main program's stack has been since reset, in bytes below SYS_STACK_TOP,
    // read from start-up's paint (0 for an image that paints none). Past SYS_STACK_SIZE it ran
    // into the IWRAM data below it; the run calls then throw (see checkStack).
    std::uint32_t stackDepth();

    mCore* core() { return core_; }

    // Used by the logger installed for every Gba.
    void onLog(int level, const std::string& message);

  private:
    void enter();
    void checkGameErrors();
    void checkStack();

    std::vector<std::uint8_t> image_;
    std::vector<std::uint32_t> video_;
    mCore* core_ = nullptr;
    bool captureLog_ = false;
    std::vector<std::string> log_;
    int gameErrors_ = 0;
    int gameErrorsChecked_ = 0;
    bool failOnGameError_ = false;
    bool stackPainted_ = false; // the stack's bottom word was seen painted since reset
    std::vector<std::string> gameErrorMessages_;
};

// What Pogoshell leaves in EWRAM when it starts a plug-in (at POGOSHELL_ARGS_ADDRESS): the
// opened file's size and cartridge address, the magic, argc = 2 and the two paths.
void plantPogoshellBlock(Gba& gba, const std::string& path, std::uint32_t address,
                         std::uint32_t size);

} // namespace gbatest
