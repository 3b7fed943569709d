// Loading tapes on the desktop's Spectrum: programs saved by pasmo (with its BASIC loader and
// with ours), the same through tapeconv, snapshots through snap2tzx's turbo loader and the
// shared games' tapes load to the memory and screen they hold; ROM blocks taken at once load as
// the signal does; programs that wait for a key between blocks; tapes that cannot load.
#include "tape_loader.h"
#include "tape_snapshots.h"
#include "tape_test_support.h"

#include "spectrum/snapshot.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>

using namespace tapeloom;
using namespace tapeloom::tapetest;

namespace {

const std::filesystem::path kShared = std::filesystem::path(TAPELOOM_SHARED_DIR) / "games";
constexpr std::size_t kScreen = 6912;

Bytes romBytes() {
    ByteView rom = tapeRom();
    return {rom.begin(), rom.end()};
}

// A picture in every byte of the screen, the same for every run.
Bytes picture() {
    Bytes screen(kScreen);
    std::mt19937 random(14);
    for (auto& byte : screen)
        byte = static_cast<std::uint8_t>(random());
    return screen;
}

std::string defb(const Bytes& bytes) {
    std::ostringstream text;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        text << (i % 16 == 0 ? "\n        defb " : ",") << unsigned{bytes[i]};
    return text.str() + "\n";
}

// A program that copies the picture it carries to the screen and then waits for interrupts.
std::string pictureProgram() {
    return "        org 32768\n"
           "start:  di\n"
           "        ld hl, picture\n"
           "        ld de, 16384\n"
           "        ld bc, 6912\n"
           "        ldir\n"
           "        ei\n"
           "wait:   halt\n"
           "        jr wait\n"
           "picture:" +
           defb(picture()) + "        defb \"TAPELOOM\"\nend start\n";
}

// A .tap block: length word, then the bytes.
Bytes tapBlock(const Bytes& block) {
    Bytes out{static_cast<std::uint8_t>(block.size()),
              static_cast<std::uint8_t>(block.size() >> 8)};
    out.insert(out.end(), block.begin(), block.end());
    return out;
}

void append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

// BASIC line 10 holding `tokens`, saved with LINE 10: header and program blocks, as .tap.
Bytes basicLoader(const Bytes& tokens) {
    Bytes program{0, 10, static_cast<std::uint8_t>(tokens.size() + 1),
                  static_cast<std::uint8_t>((tokens.size() + 1) >> 8)};
    append(program, tokens);
    program.push_back(0x0D);
    Bytes header{0};
    for (char c : std::string("loader    "))
        header.push_back(static_cast<std::uint8_t>(c));
    auto size = static_cast<unsigned>(program.size());
    for (unsigned word : {size, 10u, size}) {
        header.push_back(static_cast<std::uint8_t>(word));
        header.push_back(static_cast<std::uint8_t>(word >> 8));
    }
    Bytes tap = tapBlock(romBlock(0x00, header));
    append(tap, tapBlock(romBlock(0xFF, program)));
    return tap;
}

// BASIC tokens and numbers (with their hidden five-byte form).
constexpr std::uint8_t kLoad = 0xEF, kCode = 0xAF, kRandomize = 0xF9, kUsr = 0xC0, kPause = 0xF2,
                       kColon = ':', kQuote = '"';
Bytes number(unsigned value) {
    Bytes out;
    for (char c : std::to_string(value))
        out.push_back(static_cast<std::uint8_t>(c));
    append(out, {0x0E, 0, 0, static_cast<std::uint8_t>(value),
                 static_cast<std::uint8_t>(value >> 8), 0});
    return out;
}
Bytes loadCode() {
    return {kLoad, kQuote, kQuote, kCode};
}
Bytes runAt32768() {
    Bytes out{kRandomize, kUsr};
    append(out, number(32768));
    return out;
}

struct Made {
    TempDir dir;
    Bytes binary; // the program as pasmo assembles it, from 32768
};

// pasmo's own tapes of the picture program: prog.tap (--tapbas), code.tap (--tap, no loader),
// prog.tzx (tapeconv), and the binary.
void makeProgramTapes(Made& made) {
    std::string source = pictureProgram();
    writeFile(made.dir / "prog.asm", Bytes(source.begin(), source.end()));
    ASSERT_TRUE(run("cd '" + (made.dir / "").string() +
                    "' && pasmo --tapbas prog.asm prog.tap && pasmo --tap prog.asm code.tap && "
                    "pasmo prog.asm prog.bin && tapeconv prog.tap prog.tzx"));
    made.binary = readFile(made.dir / "prog.bin");
}

LoadedTape load(const std::filesystem::path& path, TapeLoadOptions options = {}) {
    static const Bytes rom = romBytes();
    TapeFile tape = TapeFile::read(path);
    return loadTape(tape, rom, options);
}

Bytes ramAt(const LoadedTape& loaded, std::size_t address, std::size_t size) {
    auto from = loaded.ram.begin() + static_cast<std::ptrdiff_t>(address - 0x4000);
    return {from, from + static_cast<std::ptrdiff_t>(size)};
}

void expectPictureProgram(const LoadedTape& loaded, const Bytes& binary) {
    EXPECT_EQ(ramAt(loaded, 32768, binary.size()), binary);
    EXPECT_EQ(ramAt(loaded, 0x4000, kScreen), picture());
    EXPECT_GE(loaded.state.regs.pc, 32768); // waiting in the program's HALT loop
    // The snapshot is the state: our reader gives back the same memory.
    Bytes ram(SPECTRUM_RAM_SIZE);
    SnapshotState state{};
    ASSERT_EQ(snapshot_load(loaded.snapshot.data(), loaded.snapshot.size(), SNAPSHOT_Z80, nullptr,
                            ram.data(), &state),
              SNAPSHOT_OK);
    EXPECT_EQ(ram, loaded.ram);
    EXPECT_EQ(state.regs.pc, loaded.state.regs.pc);
}

std::string errorOf(const std::filesystem::path& path, TapeLoadOptions options = {}) {
    try {
        load(path, std::move(options));
    } catch (const TapeLoadError& error) {
        return error.what();
    }
    return "loaded";
}

} // namespace

// pasmo's BASIC loader and code, ours with a screen and a code block, the same through
// tapeconv: memory and screen as assembled, whether ROM blocks go over at once or play.
TEST(TapeLoader, LoadsPasmoTapesToTheProgramsMemoryAndScreen) {
    Made made;
    makeProgramTapes(made);
    ASSERT_FALSE(made.binary.empty());
    // Ours: CLEAR-less LOAD ""CODE twice (screen, then program), RANDOMIZE USR 32768.
    std::string screenSource = "        org 16384\n" + defb(picture()) + "end 16384\n";
    writeFile(made.dir / "screen.asm", Bytes(screenSource.begin(), screenSource.end()));
    ASSERT_TRUE(run("cd '" + (made.dir / "").string() + "' && pasmo --tap screen.asm screen.tap"));
    Bytes tokens = loadCode();
    tokens.push_back(kColon);
    append(tokens, loadCode());
    tokens.push_back(kColon);
    append(tokens, runAt32768());
    Bytes ours = basicLoader(tokens);
    append(ours, readFile(made.dir / "screen.tap"));
    append(ours, readFile(made.dir / "code.tap"));
    writeFile(made.dir / "OURS.TAP", ours);

    for (const char* name : {"prog.tap", "prog.tzx", "OURS.TAP"}) {
        SCOPED_TRACE(name);
        LoadedTape fast = load(made.dir / name);
        expectPictureProgram(fast, made.binary);
        EXPECT_GE(fast.fastBlocks, 2u);
        EXPECT_EQ(fast.keyPresses, 0u);
    }
    TapeLoadOptions signalOnly;
    signalOnly.fastRomBlocks = false;
    LoadedTape played = load(made.dir / "prog.tzx", signalOnly);
    expectPictureProgram(played, made.binary);
    EXPECT_EQ(played.fastBlocks, 0u);
    EXPECT_GT(played.machineTime, 20ull * kTapeClockHz); // the blocks' time really played
}

// snap2tzx's tape: a BASIC loader, then its own turbo loader, which restores the snapshot.
TEST(TapeLoader, LoadsSnap2tzxTurboTapesToTheSnapshotsMemory) {
    TempDir dir;
    // Interrupts off and JR $ at 0x8000, so that nothing moves once the snapshot runs.
    Bytes sna(27 + SPECTRUM_RAM_SIZE);
    std::mt19937 random(99);
    for (std::size_t i = 27; i < sna.size(); ++i)
        sna[i] = static_cast<std::uint8_t>(random() % 7 == 0 ? random() : 0);
    const std::size_t code = 27 + 0x8000 - 0x4000, stack = 27 + 0xFF00 - 0x4000;
    sna[code] = 0x18; // JR $
    sna[code + 1] = 0xFE;
    sna[stack] = 0x00; // the return address, 0x8000
    sna[stack + 1] = 0x80;
    sna[19] = 0;    // IFF2: interrupts off
    sna[23] = 0x00; // SP 0xFF00
    sna[24] = 0xFF;
    sna[25] = 1; // IM 1
    sna[26] = 2; // border
    writeFile(dir / "snap.sna", sna);
    const Bytes original(sna.begin() + 27, sna.end());
    for (const char* speed : {"0", "5"}) {
        SCOPED_TRACE(speed);
        ASSERT_TRUE(run("cd '" + (dir / "").string() + "' && snap2tzx -s " + speed +
                        " -o snap.tzx snap.sna >/dev/null"));
        LoadedTape loaded = load(dir / "snap.tzx");
        EXPECT_EQ(loaded.state.regs.pc, 0x8000);
        EXPECT_EQ(loaded.state.regs.sp, 0xFF02);
        EXPECT_EQ(loaded.state.border, 2);
        // All of it but the screen's bottom character row, where snap2tzx's loader works.
        Bytes got = loaded.ram, want = original;
        for (Bytes* ram : {&got, &want}) {
            for (std::size_t line = 0; line < 8; ++line)
                std::fill_n(ram->begin() + 0x10E0 + line * 0x100, 32, 0);
            std::fill_n(ram->begin() + 0x1AE0, 32, 0);
        }
        EXPECT_EQ(got, want);
    }
}
