// Loading tapes on the desktop's Spectrum: programs saved by pasmo (with its BASIC loader and
// with ours), the same through tapeconv, snapshots through snap2tzx's turbo loader and the
// shared games' tapes load to the memory and screen they hold; ROM blocks taken at once load as
// the signal does; programs that wait for a key between blocks; tapes that cannot load.
#include "tape_loader.h"
#include "tape_snapshots.h"
#include "tape_test_support.h"

#include "spectrum/machine.h"
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

// Each block of a .tap as a standard-speed TZX block with a 1 s pause.
void addTapBlocks(Tzx& tzx, const Bytes& tap) {
    for (std::size_t at = 0; at + 2 <= tap.size();) {
        std::size_t length = tap[at] | std::size_t{tap[at + 1]} << 8;
        tzx.standard(1000, Bytes(tap.begin() + static_cast<std::ptrdiff_t>(at + 2),
                                 tap.begin() + static_cast<std::ptrdiff_t>(at + 2 + length)));
        at += 2 + length;
    }
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

// pasmo's tapes of the picture program, made once: prog.tap (--tapbas), code.tap (--tap, no
// loader), screen.tap (the picture alone, for 16384), prog.tzx (tapeconv), and the binary.
struct Made {
    TempDir dir;
    Bytes binary; // the program as pasmo assembles it, from 32768
    bool ok = false;
};
const Made& made() {
    static Made m;
    static const bool once = [] {
        std::string source = pictureProgram();
        writeFile(m.dir / "prog.asm", Bytes(source.begin(), source.end()));
        std::string screen = "        org 16384\n" + defb(picture()) + "end 16384\n";
        writeFile(m.dir / "screen.asm", Bytes(screen.begin(), screen.end()));
        m.ok = run("cd '" + (m.dir / "").string() +
                   "' && pasmo --tapbas prog.asm prog.tap && pasmo --tap prog.asm code.tap && "
                   "pasmo --tap screen.asm screen.tap && pasmo prog.asm prog.bin && "
                   "tapeconv prog.tap prog.tzx");
        m.binary = readFile(m.dir / "prog.bin");
        return true;
    }();
    (void)once;
    return m;
}

// Our BASIC loader with `tokens`, then the screen and code blocks as pasmo saved them.
Bytes ourTape(const Bytes& tokens) {
    Bytes tape = basicLoader(tokens);
    append(tape, readFile(made().dir / "screen.tap"));
    append(tape, readFile(made().dir / "code.tap"));
    return tape;
}

// LOAD ""CODE: [between:] LOAD ""CODE: RANDOMIZE USR 32768
Bytes twoLoads(const Bytes& between = {}) {
    Bytes tokens = loadCode();
    tokens.push_back(kColon);
    if (!between.empty()) {
        append(tokens, between);
        tokens.push_back(kColon);
    }
    append(tokens, loadCode());
    tokens.push_back(kColon);
    append(tokens, runAt32768());
    return tokens;
}

LoadedTape load(const std::filesystem::path& path, TapeLoadOptions options = {}) {
    static const Bytes rom = romBytes();
    TapeFile tape = TapeFile::read(path);
    return loadTape(tape, rom, options, tapeRom0());
}

Bytes ramAt(const LoadedTape& loaded, std::size_t address, std::size_t size) {
    auto from = loaded.ram.begin() + static_cast<std::ptrdiff_t>(address - 0x4000);
    return {from, from + static_cast<std::ptrdiff_t>(size)};
}

void expectPictureProgram(const LoadedTape& loaded, const Bytes& binary) {
    EXPECT_EQ(ramAt(loaded, 32768, binary.size()), binary);
    EXPECT_EQ(ramAt(loaded, 0x4000, kScreen), picture());
    EXPECT_GE(loaded.state.regs.pc, 32768); // in the program's HALT loop, between frames
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
    ASSERT_TRUE(made().ok);
    writeFile(made().dir / "OURS.TAP", ourTape(twoLoads()));
    for (const char* name : {"prog.tap", "prog.tzx", "OURS.TAP"}) {
        SCOPED_TRACE(name);
        LoadedTape fast = load(made().dir / name);
        expectPictureProgram(fast, made().binary);
        EXPECT_GE(fast.fastBlocks, 2u);
        EXPECT_EQ(fast.keyPresses, 0u);
    }
    TapeLoadOptions signalOnly;
    signalOnly.fastRomBlocks = false;
    LoadedTape played = load(made().dir / "prog.tzx", signalOnly);
    expectPictureProgram(played, made().binary);
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

// The shared games' tapes load to programs that run: a second on, each shows the screen the
// shared snapshot of the game (made from the same tape) comes to.
TEST(TapeLoader, SharedTapesLoadToTheGamesOfTheSharedSnapshots) {
    static const Bytes rom = romBytes();
    auto screenAfter = [&](const Bytes& z80, int frames) {
        Bytes ram(SPECTRUM_RAM_SIZE);
        std::vector<std::int32_t> edges(BEEPER_MAX_EDGES);
        Spectrum machine;
        spectrum_init(&machine, rom.data(), ram.data(), edges.data());
        EXPECT_EQ(spectrum_load(&machine, z80.data(), static_cast<std::uint32_t>(z80.size()),
                                SNAPSHOT_Z80),
                  SNAPSHOT_OK);
        for (int frame = 0; frame < frames; ++frame)
            spectrum_run_frame(&machine);
        return Bytes(ram.begin(), ram.begin() + kScreen);
    };
    int tapes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kShared / "tapes")) {
        const auto& path = entry.path();
        SCOPED_TRACE(path.filename().string());
        LoadedTape loaded = load(path);
        EXPECT_EQ(loaded.keyPresses, 0u);
        Bytes shared = readFile(kShared / (path.stem().string() + ".z80"));
        EXPECT_EQ(screenAfter(loaded.snapshot, 50), screenAfter(shared, 50));
        ++tapes;
    }
    EXPECT_GE(tapes, 6);
}

// A BASIC loader that waits for a key between its two blocks (PAUSE 0) gets ENTER; a stop
// block between them is played on when the ROM asks for the next block; a block at the end
// that the program never reads leaves the state from before the key that was tried.
TEST(TapeLoader, ProgramsThatWaitBetweenBlocksAndBlocksNobodyReads) {
    ASSERT_TRUE(made().ok);
    Bytes pause0{kPause};
    append(pause0, number(0));
    writeFile(made().dir / "key.tap", ourTape(twoLoads(pause0)));
    LoadedTape waited = load(made().dir / "key.tap");
    expectPictureProgram(waited, made().binary);
    EXPECT_EQ(waited.keyPresses, 1u);

    Bytes tap = ourTape(twoLoads());
    Tzx stopped;
    std::size_t at = 0;
    for (int block = 0; at < tap.size(); ++block) {
        std::size_t length = tap[at] | tap[at + 1] << 8;
        if (block == 4)
            stopped.raw({0x20, 0, 0}); // stop the tape before the code block's header
        stopped.standard(1000, Bytes(tap.begin() + static_cast<std::ptrdiff_t>(at + 2),
                                     tap.begin() + static_cast<std::ptrdiff_t>(at + 2 + length)));
        at += 2 + length;
    }
    writeFile(made().dir / "stop.tzx", stopped.bytes());
    LoadedTape played = load(made().dir / "stop.tzx");
    expectPictureProgram(played, made().binary);
    EXPECT_EQ(played.keyPresses, 0u);

    Bytes extra = readFile(made().dir / "prog.tap");
    append(extra, readFile(made().dir / "screen.tap"));
    writeFile(made().dir / "extra.tap", extra);
    LoadedTape unread = load(made().dir / "extra.tap");
    expectPictureProgram(unread, made().binary);
    EXPECT_EQ(unread.keyPresses, 1u);
}

// Tapes that cannot load end with a reason, never a hang: a wrong checksum, a tape cut before
// its code, a tape for the 128K, a tone that never ends (the time limit), and a cancel.
TEST(TapeLoader, TapesThatCannotLoadSayWhy) {
    ASSERT_TRUE(made().ok);
    Bytes bad = readFile(made().dir / "prog.tap");
    bad[bad.size() - 100] ^= 0x01;
    writeFile(made().dir / "bad.tap", bad);
    EXPECT_EQ(errorOf(made().dir / "bad.tap"),
              "bad.tap: the Spectrum reported \"R Tape loading error\"");

    Bytes cut = readFile(made().dir / "prog.tap");
    Bytes header(cut.begin(), cut.end() - static_cast<std::ptrdiff_t>(made().binary.size() + 4));
    writeFile(made().dir / "cut.tap", header);
    EXPECT_EQ(errorOf(made().dir / "cut.tap"),
              "cut.tap: the tape ended while the Spectrum was still waiting for a block");

    Tzx for128;
    for128.raw({0x33, 2, 0, 1, 3, 0, 3, 1}).standard(1000, romBlock(0xFF, {1, 2, 3}));
    writeFile(made().dir / "128.tzx", for128.bytes());
    EXPECT_EQ(errorOf(made().dir / "128.tzx"),
              "128.tzx: the tape ended while the Spectrum was still waiting for a block");
    try {
        loadTape(TapeFile::read(made().dir / "128.tzx"), romBytes());
        ADD_FAILURE() << "a 128K tape loaded without ROM 0";
    } catch (const TapeLoadError& error) {
        EXPECT_STREQ(error.what(), "128.tzx: the tape is for the Spectrum 128K, and ROM 0 of the "
                                   "128K is missing from this build");
    }

    Tzx endless;
    endless.loopStart(60000).tone(2168, 60000).loopEnd();
    writeFile(made().dir / "endless.tzx", endless.bytes());
    TapeLoadOptions limited;
    limited.timeLimit = 30ull * kTapeClockHz;
    EXPECT_EQ(errorOf(made().dir / "endless.tzx", limited),
              "endless.tzx: still loading after 30 seconds of Spectrum time");

    TapeLoadOptions cancelling;
    int frames = 0;
    cancelling.progress = [&](const TapeLoadProgress& progress) {
        EXPECT_LE(progress.played, progress.total);
        return ++frames < 20;
    };
    EXPECT_THROW(load(made().dir / "prog.tap", cancelling), TapeLoadCancelled);
    EXPECT_EQ(frames, 20);
}

// A tape whose hardware block asks for a 128K loads on one: the program pages every bank in and
// marks it, leaves bank 3 paged and the AY's volume A set with register 1 selected, and the
// snapshot is a 128K .z80 with all of that.
TEST(TapeLoader, A128KTapeLoadsOnThe128KIntoA128KSnapshot) {
    TempDir dir;
    const std::string source = "        org 32768\n"
                               "start:  di\n"
                               "        ld bc, 7ffdh\n"
                               "        ld e, 0\n"
                               "bank:   ld a, e\n"
                               "        or 10h\n" // ROM 1 stays
                               "        out (c), a\n"
                               "        ld a, e\n"
                               "        add a, 0a0h\n"
                               "        ld (0ffffh), a\n"
                               "        inc e\n"
                               "        ld a, e\n"
                               "        cp 8\n"
                               "        jr nz, bank\n"
                               "        ld a, 13h\n"
                               "        out (c), a\n"
                               "        ld bc, 0fffdh\n"
                               "        ld a, 8\n"
                               "        out (c), a\n"
                               "        ld b, 0bfh\n"
                               "        ld a, 13\n"
                               "        out (c), a\n"
                               "        ld b, 0ffh\n"
                               "        ld a, 1\n"
                               "        out (c), a\n"
                               "        ei\n"
                               "wait:   halt\n"
                               "        jr wait\n"
                               "end start\n";
    writeFile(dir / "paging.asm", Bytes(source.begin(), source.end()));
    ASSERT_TRUE(run("cd '" + (dir / "").string() + "' && pasmo --tap paging.asm paging.tap"));
    // The hardware block (runs on no 48K, uses the 128K's hardware), LOAD ""CODE: RANDOMIZE USR
    // 32768, the code.
    Tzx tzx;
    tzx.raw({0x33, 2, 0, 1, 3, 0, 3, 1});
    Bytes tokens = loadCode();
    tokens.push_back(kColon);
    append(tokens, runAt32768());
    addTapBlocks(tzx, basicLoader(tokens));
    addTapBlocks(tzx, readFile(dir / "paging.tap"));
    writeFile(dir / "paging128.tzx", tzx.bytes());

    LoadedTape loaded = load(dir / "paging128.tzx");
    EXPECT_EQ(loaded.machine, TapeMachine::Spectrum128K);
    EXPECT_EQ(loaded.state.port7ffd, 0x13);
    ASSERT_EQ(loaded.ram.size(), std::size_t{SPECTRUM_128_RAM_SIZE});

    Bytes ram(SPECTRUM_128_RAM_SIZE);
    SnapshotState state{};
    Bytes only48(SPECTRUM_RAM_SIZE);
    EXPECT_EQ(snapshot_load(loaded.snapshot.data(), loaded.snapshot.size(), SNAPSHOT_Z80, nullptr,
                            only48.data(), &state),
              SNAPSHOT_128K);
    ASSERT_EQ(snapshot_load_128(loaded.snapshot.data(), loaded.snapshot.size(), SNAPSHOT_Z80,
                                nullptr, ram.data(), &state),
              SNAPSHOT_OK);
    EXPECT_EQ(state.model, SPECTRUM_128K);
    EXPECT_EQ(state.port_7ffd, 0x13);
    EXPECT_EQ(state.ay_selected, 1);
    EXPECT_EQ(state.ay_regs[8], 13);
    EXPECT_EQ(state.regs.pc, loaded.state.regs.pc);
    EXPECT_EQ(ram, loaded.ram);
    for (unsigned bank = 0; bank < 8; ++bank)
        EXPECT_EQ(ram[spectrum_bank_offset(bank) + 0x3FFF], 0xA0 + bank) << "bank " << bank;
}

// A 128K program that pages bank 1 in and calls the ROM's loader for a block at 0xC000: the
// bytes land in bank 1 whether the block goes over at once or plays as signal.
TEST(TapeLoader, A128KLoadIntoAPagedBankLandsInThatBank) {
    TempDir dir;
    const std::string source = "        org 32768\n"
                               "start:  di\n"
                               "        ld bc, 7ffdh\n"
                               "        ld a, 11h\n" // bank 1 at 0xC000, ROM 1
                               "        out (c), a\n"
                               "        ld ix, 0c000h\n"
                               "        ld de, 16\n"
                               "        ld a, 0ffh\n"
                               "        scf\n"
                               "        call 0556h\n" // LD-BYTES
                               "        ld a, 1\n"
                               "        jr c, done\n"
                               "        inc a\n"
                               "done:   ld (9000h), a\n"
                               "        ei\n"
                               "wait:   halt\n"
                               "        jr wait\n"
                               "end start\n";
    writeFile(dir / "bank.asm", Bytes(source.begin(), source.end()));
    ASSERT_TRUE(run("cd '" + (dir / "").string() + "' && pasmo --tap bank.asm bank.tap"));
    Tzx tzx;
    tzx.raw({0x33, 1, 0, 3, 1}); // a 128K, its hardware used
    Bytes tokens = loadCode();
    tokens.push_back(kColon);
    append(tokens, runAt32768());
    addTapBlocks(tzx, basicLoader(tokens));
    addTapBlocks(tzx, readFile(dir / "bank.tap"));
    const Bytes payload = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    tzx.standard(1000, romBlock(0xFF, payload));
    writeFile(dir / "bank128.tzx", tzx.bytes());

    TapeLoadOptions signalOnly;
    signalOnly.fastRomBlocks = false;
    for (bool fast : {true, false}) {
        SCOPED_TRACE(fast ? "handed over" : "played");
        LoadedTape loaded = load(dir / "bank128.tzx", fast ? TapeLoadOptions{} : signalOnly);
        ASSERT_EQ(loaded.machine, TapeMachine::Spectrum128K);
        EXPECT_EQ(loaded.fastBlocks, fast ? 5u : 0u); // loader, code and the block: 5
        EXPECT_EQ(loaded.ram[0x9000 - 0x4000], 1);    // the loader's verdict: loaded
        auto bank1 = loaded.ram.begin() + static_cast<std::ptrdiff_t>(spectrum_bank_offset(1));
        EXPECT_EQ(Bytes(bank1, bank1 + 16), payload);
        auto bank0 = loaded.ram.begin() + static_cast<std::ptrdiff_t>(spectrum_bank_offset(0));
        EXPECT_NE(Bytes(bank0, bank0 + 16), payload);
    }
}
