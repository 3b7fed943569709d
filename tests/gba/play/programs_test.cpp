// Our own Z80 programs (play/programs), packed as .SNA and every .Z80 version, run on
// cartridges written by the core: the picture on the LCD, keys and joystick at the ports, the
// interrupt rate, the overlay and the plug-in form with a simulated Pogoshell start.
#include "cartridge.h"
#include "snapshot_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using namespace spectest;
using gbatest::Gba;

namespace {

enum class Flash { Unswapped, Swapped, NotLooked };

void expectPicture(Gba& gba, Flash flash) {
    int wrong = 0;
    bool flashSwapped = flash == Flash::Swapped;
    for (int cy = 0; cy < 24; ++cy) {
        for (int cx = 0; cx < 32; ++cx) {
            if (flash == Flash::NotLooked && cy == 23 && cx < 8)
                continue;
            int paper = cx & 7, ink = 7 - paper;
            bool bright = cy & 1;
            if (flashSwapped && cy == 23 && cx < 8)
                std::swap(paper, ink);
            int y = lcdY(cy * 8 + 4);
            std::uint32_t inkSeen = gba.pixel(lcdX(cx * 8 + 2), y);
            std::uint32_t paperSeen = gba.pixel(lcdX(cx * 8 + 6), y);
            if (inkSeen != spectrumRgb(ink, bright) || paperSeen != spectrumRgb(paper, bright)) {
                if (++wrong <= 5)
                    ADD_FAILURE() << "cell " << cx << "," << cy << std::hex << " ink " << inkSeen
                                  << " paper " << paperSeen;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

bool flashPhaseMiddle(Gba& gba, std::uint32_t phase) {
    std::uint32_t f = state(gba).frames % 32;
    return phase == 0 ? (f >= 5 && f <= 11) : (f >= 21 && f <= 27);
}

class PictureProgram : public ::testing::TestWithParam<const char*> {};

TEST_P(PictureProgram, ShowsThePictureWithFlashAndCountsRomInterrupts) {
    auto file = writeSnapshot(programImage(SPECTRUM_PICTURE_BIN), "picture", GetParam());
    Gba gba(catalogueImage({{"Picture", file, {}}}));
    ASSERT_TRUE(startEntry(gba, 0));
    ASSERT_GE(gba.runUntil([](Gba& g) { return peek(g, 0x9000) == 1; }, 200), 0);
    // The frame that finished the picture is drawn while the LCD is elsewhere: whole in the next
    // LCD frame but one at the latest (its FLASH phase is looked at below).
    gba.runFrames(2);
    expectPicture(gba, Flash::NotLooked);
    ASSERT_GE(gba.runUntil([](Gba& g) { return flashPhaseMiddle(g, 0); }, 100), 0);
    expectPicture(gba, Flash::Unswapped);
    if (std::string(GetParam()) == "sna")
        saveScreenshot(gba, "cartridge-picture");
    ASSERT_GE(gba.runUntil([](Gba& g) { return flashPhaseMiddle(g, 1); }, 100), 0);
    expectPicture(gba, Flash::Swapped);

    // IM 1 through the ROM: FRAMES (5C78h) rises by one per frame, 50 per emulated second.
    std::uint32_t frames0 = state(gba).frames;
    std::uint16_t counted0 = peek16(gba, 0x5C78);
    runSpectrumFrames(gba, 250);
    std::uint32_t frames = state(gba).frames - frames0;
    std::uint16_t counted = static_cast<std::uint16_t>(peek16(gba, 0x5C78) - counted0);
    EXPECT_NEAR(counted, frames, 1);
    EXPECT_GE(frames, 250u);
    EXPECT_EQ(gba.gameErrors(), 0); // no stray memory access (the last entry has no known size)
}

INSTANTIATE_TEST_SUITE_P(Formats, PictureProgram,
                         ::testing::Values("sna", "z80v1", "z80v2", "z80v3", "z80v3raw"));

// Key block of the port test (slot order A, B, Select, Start, Right, Left, Up, Down, R, L).
const std::array<std::string, 10> kPortKeys = {
    "Q", "SPACE", "SHIFT", "ENTER", "JOY RIGHT", "JOY LEFT", "JOY UP", "JOY DOWN", "P", "JOY FIRE"};
// Half-row (0 = port 7FFEh ... 7 = FEFEh) and bit of each Spectrum key above, -1 = joystick.
const int kPortRow[10] = {5, 0, 7, 1, -1, -1, -1, -1, 2, -1};
const int kPortBit[10] = {0, 0, 0, 0, 0, 1, 3, 2, 0, 4}; // joystick: Kempston bit

struct Ports {
    std::uint8_t rows[8], kempston, all, unattached;
};

Ports readPorts(Gba& gba) {
    Ports p{};
    for (int r = 0; r < 8; ++r)
        p.rows[r] = peek(gba, static_cast<std::uint16_t>(0x9000 + r));
    p.kempston = peek(gba, 0x9008);
    p.all = peek(gba, 0x9009);
    p.unattached = peek(gba, 0x900A);
    return p;
}

// Bits 5 and 7 read high, bit 6 (EAR) low: the program never drives the EAR output.
constexpr std::uint8_t kIdleRow = 0xBF;

class PortsProgram : public ::testing::TestWithParam<const char*> {};

TEST_P(PortsProgram, EachButtonReachesItsKeyAndIm2CountsFrames) {
    MachineImage m = programImage(SPECTRUM_PORTS_BIN);
    auto file = writeSnapshot(m, "ports", GetParam());
    Gba gba(catalogueImage({{"Ports", file, kPortKeys}}));
    ASSERT_TRUE(startEntry(gba, 0));
    runSpectrumFrames(gba, 3);
    Ports idle = readPorts(gba);
    for (int r = 0; r < 8; ++r)
        EXPECT_EQ(idle.rows[r], kIdleRow) << r;
    EXPECT_EQ(idle.kempston, 0);
    EXPECT_EQ(idle.all, kIdleRow);
    EXPECT_EQ(idle.unattached, 0xFF);

    for (int slot = 0; slot < 10; ++slot) {
        SCOPED_TRACE("button " + std::to_string(slot) + " = " + kPortKeys[slot]);
        gba.setKeys(static_cast<std::uint16_t>(1u << slot));
        runSpectrumFrames(gba, 3);
        Ports p = readPorts(gba);
        std::uint8_t expectedAll = kIdleRow;
        for (int r = 0; r < 8; ++r) {
            std::uint8_t expected = kIdleRow;
            if (kPortRow[slot] == r)
                expected = static_cast<std::uint8_t>(kIdleRow & ~(1u << kPortBit[slot]));
            EXPECT_EQ(p.rows[r], expected) << "half-row " << r;
            expectedAll &= expected;
        }
        EXPECT_EQ(p.all, expectedAll);
        EXPECT_EQ(p.kempston, kPortRow[slot] < 0 ? 1u << kPortBit[slot] : 0u);
        gba.setKeys(0);
    }
    // Two keys of different half-rows at once (Q, P), with the joystick (right, up).
    gba.setKeys(gbatest::KeyA | gbatest::KeyR | gbatest::KeyRight | gbatest::KeyUp);
    runSpectrumFrames(gba, 3);
    Ports p = readPorts(gba);
    EXPECT_EQ(p.rows[5], kIdleRow & ~1);
    EXPECT_EQ(p.rows[2], kIdleRow & ~1);
    EXPECT_EQ(p.all, kIdleRow & ~1);
    EXPECT_EQ(p.kempston, 0x09);
    gba.setKeys(0);

    // IM 2 (I = 81h, bus FFh): one interrupt per frame.
    std::uint32_t frames0 = state(gba).frames;
    std::uint16_t counted0 = peek16(gba, 0x9100);
    runSpectrumFrames(gba, 100);
    EXPECT_NEAR(static_cast<std::uint16_t>(peek16(gba, 0x9100) - counted0),
                state(gba).frames - frames0, 1);
    EXPECT_EQ(gba.gameErrors(), 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, PortsProgram, ::testing::Values("sna", "z80v1", "z80v3"));

TEST(SpectrumCartridge, TheButtonThatStartedTheGameCountsOnlyOnceLetGo) {
    auto file = writeSnapshot(programImage(SPECTRUM_PORTS_BIN), "ports", "sna");
    Gba gba(catalogueImage({{"One", file, kPortKeys}, {"Two", file, kPortKeys}}));
    ASSERT_GE(gba.runUntil([](Gba& g) { return menuListShown(g); }, 120), 0);
    gba.setKeys(gbatest::KeyA); // picks the first entry and stays held
    ASSERT_GE(gba.runUntil([](Gba& g) { return state(g).running && state(g).frames >= 5; }, 300),
              0);
    EXPECT_EQ(readPorts(gba).rows[5], kIdleRow); // A = Q, not pressed for the game
    gba.setKeys(0);
    runSpectrumFrames(gba, 3);
    gba.setKeys(gbatest::KeyA);
    runSpectrumFrames(gba, 3);
    EXPECT_EQ(readPorts(gba).rows[5], kIdleRow & ~1); // pressed again: Q
}

TEST(SpectrumCartridge, KeysOfOneHalfRowCombineAndTheSecondEntryStarts) {
    auto file = writeSnapshot(programImage(SPECTRUM_PORTS_BIN), "ports", "sna");
    Entry first{"First", file, {}};
    // "1" and "2" share half-row F7FEh; B drives "1" as well.
    Entry second{"Second", file, {"1", "1", "", "", "2", "", "", "", "", ""}};
    Gba gba(catalogueImage({first, second}));
    ASSERT_TRUE(startEntry(gba, 1));
    EXPECT_EQ(state(gba).keys[0], 25);
    gba.setKeys(gbatest::KeyA | gbatest::KeyB | gbatest::KeyRight);
    runSpectrumFrames(gba, 3);
    EXPECT_EQ(readPorts(gba).rows[4], kIdleRow & ~0x03);
}

TEST(SpectrumCartridge, PacedToFiftyFramesPerSecond) {
    // A program that idles in HALT: the machine is faster than the Spectrum and must wait.
    auto file = writeSnapshot(programImage(SPECTRUM_PICTURE_BIN), "picture", "sna");
    Gba gba(catalogueImage({{"Ports", file, {}}}));
    ASSERT_TRUE(startEntry(gba, 0));
    std::uint32_t frames0 = state(gba).frames;
    gba.runFrames(597); // ten seconds of GBA time
    double perSecond = (state(gba).frames - frames0) / (597.0 * 280896.0 / 16777216.0);
    EXPECT_NEAR(perSecond, 50.08, 0.5);
}

TEST(SpectrumCartridge, BeeperEdgesBecomeSoundAtTheSpectrumsPace) {
    auto file = writeSnapshot(programImage(SPECTRUM_BEEPER_BIN), "beeper", "sna");
    Gba gba(catalogueImage({{"Beeper", file, {}}}));
    ASSERT_TRUE(startEntry(gba, 0));
    runSpectrumFrames(gba, 10);
    auto s0 = state(gba);
    runSpectrumFrames(gba, 100);
    auto s1 = state(gba);
    // 69,888 T-states at about 2 x 1,100 per period: some 60 edges a frame.
    EXPECT_GT(s1.edges, 40u);
    EXPECT_LT(s1.edges, 80u);
    // Edges are dated at the T-state of their OUT's I/O cycle: the two halves of the loop are
    // 1,057 and 1,072 T-states (OUT, LD B,80, 80 x DJNZ, XOR A or JR and LD A,n).
    EXPECT_TRUE(s1.edge_gap == 1057u || s1.edge_gap == 1072u) << s1.edge_gap;
    // Faster than the Spectrum, the machine is paced by the sound: 654 samples per frame (32,768
    // a second), and the FIFO never runs dry. (Slower, it cannot be: then only the edges are
    // checked.)
    double spectrumSeconds = (s1.frames - s0.frames) * 69888.0 / 3500000.0;
    double busySeconds = (s1.busy_cycles - s0.busy_cycles) / 16777216.0;
    if (busySeconds < spectrumSeconds * 0.97) {
        double perFrame = double(s1.samples - s0.samples) / (s1.frames - s0.frames);
        EXPECT_NEAR(perFrame, 654.0, 8.0);
        EXPECT_EQ(s1.underruns, s0.underruns);
    }
}

TEST(SpectrumCartridge, ASingleEntryStartsAtOnceAndComesBackToItsList) {
    auto file = writeSnapshot(programImage(SPECTRUM_PICTURE_BIN), "picture", "sna");
    Gba gba(catalogueImage({{"Only", file, {}}}));
    ASSERT_GE(gba.runUntil([](Gba& g) { return state(g).running && state(g).frames >= 1; }, 120),
              0); // no button pressed
    gba.press(gbatest::KeyL | gbatest::KeyR | gbatest::KeyStart | gbatest::KeySelect, 3, 3);
    gba.press(gbatest::KeyUp, 2, 2); // "Back to menu"
    gba.press(gbatest::KeyA, 2, 10);
    EXPECT_EQ(state(gba).running, 0u);
    EXPECT_TRUE(screenShows(gba, "Only"));
}

TEST(SpectrumCartridge, OverlayResetsSwitchesViewAndGoesBackToTheMenu) {
    auto file = writeSnapshot(programImage(SPECTRUM_PICTURE_BIN), "picture", "sna");
    Gba gba(catalogueImage({{"Picture", file, {}}, {"Again", file, {}}}));
    ASSERT_TRUE(startEntry(gba, 0));
    ASSERT_GE(gba.runUntil([](Gba& g) { return peek(g, 0x9000) == 1; }, 200), 0);
    const std::uint16_t combo =
        gbatest::KeyL | gbatest::KeyR | gbatest::KeyStart | gbatest::KeySelect;

    // Open, move to "View", switch to 1:1 and resume with B.
    gba.press(combo, 3, 3);
    ASSERT_EQ(state(gba).overlay, 1u);
    EXPECT_TRUE(screenShows(gba, "Reset snapshot"));
    std::uint32_t frozen = state(gba).frames;
    gba.runFrames(10);
    EXPECT_EQ(state(gba).frames, frozen); // the machine waits while the overlay is open
    for (int i = 0; i < OverlayView; ++i)
        gba.press(gbatest::KeyDown, 2, 2);
    gba.press(gbatest::KeyA, 2, 2);
    gba.press(gbatest::KeyB, 2, 4);
    EXPECT_EQ(state(gba).overlay, 0u);
    EXPECT_EQ(state(gba).view, 1u);
    runSpectrumFrames(gba, 2);
    // 1:1, panned by (8, 16): LCD pixel (x, y) shows Spectrum pixel (x + 8, y + 16).
    for (int cx = 1; cx < 30; ++cx) {
        int paper = cx & 7, ink = 7 - paper; // cell row 2: not bright
        EXPECT_EQ(gba.pixel(cx * 8 - 8 + 1, 4), spectrumRgb(ink, false)) << cx;
        EXPECT_EQ(gba.pixel(cx * 8 - 8 + 5, 4), spectrumRgb(paper, false)) << cx;
    }

    // R + D-pad in the overlay pans the 1:1 view: to the top-left corner.
    gba.press(combo, 3, 3);
    gba.setKeys(gbatest::KeyR | gbatest::KeyLeft | gbatest::KeyUp);
    gba.runFrames(8);
    gba.setKeys(0);
    gba.runFrames(2);
    gba.press(gbatest::KeyB, 2, 4);
    runSpectrumFrames(gba, 2);
    for (int cx = 0; cx < 30; ++cx) {
        int paper = cx & 7, ink = 7 - paper; // cell row 0: not bright
        EXPECT_EQ(gba.pixel(cx * 8 + 1, 4), spectrumRgb(ink, false)) << cx;
        EXPECT_EQ(gba.pixel(cx * 8 + 5, 4), spectrumRgb(paper, false)) << cx;
    }

    // Reset: the snapshot starts again (the frame count restarts).
    gba.press(combo, 3, 3);
    ASSERT_EQ(state(gba).overlay, 1u);
    for (int i = 0; i < OverlayReset; ++i)
        gba.press(gbatest::KeyDown, 2, 2);
    gba.press(gbatest::KeyA, 2, 2);
    ASSERT_GE(gba.runUntil([](Gba& g) { return state(g).starts == 2; }, 30), 0);
    EXPECT_EQ(state(gba).load_result, 0u);
    gba.runFrames(2);
    EXPECT_LT(state(gba).frames, 10u);

    // Back to the menu: the emulator stops and the list is drawn again.
    gba.press(combo, 3, 3);
    gba.press(gbatest::KeyUp, 2, 2); // wraps to the last item
    gba.press(gbatest::KeyA, 2, 10);
    EXPECT_EQ(state(gba).running, 0u);
    EXPECT_TRUE(screenShows(gba, "Again"));
}

TEST(SpectrumCartridge, SnapshotsThatCannotRunAreReported) {
    auto dir = tempDir();
    auto bogus = dir / "bogus.sna";
    writeBytes(bogus, std::vector<std::uint8_t>(1000, 0x55));
    auto plus3 = dir / "plus3.z80"; // a +3's paging does not run here
    writeBytes(plus3, makeZ80Paged(programImage(SPECTRUM_PICTURE_BIN), 3, false, 7));
    Gba gba(catalogueImage({{"Bogus", bogus, {}}, {"Plus3", plus3, {}}}));
    startEntry(gba, 0);
    gba.runFrames(10);
    EXPECT_EQ(state(gba).running, 0u);
    EXPECT_TRUE(screenShows(gba, "not a"));
    gba.press(gbatest::KeyA, 2, 10); // back to the menu
    startEntry(gba, 1);
    gba.runFrames(10);
    EXPECT_TRUE(screenShows(gba, "+2A/+3"));
    gba.press(gbatest::KeyA, 2, 10);
    EXPECT_TRUE(screenShows(gba, "Bogus"));
}

// The last entry's size is in no record: its loader reads on past the file, into whatever follows
// in the cartridge (open bus past the image's end). However the file is damaged, the loader
// stops within the most a snapshot can hold: within a second the message is up, or, for a file
// cut short that the bytes after it happen to complete, the snapshot runs (that cannot be told
// from the cartridge; Create names such files before they are packed).
TEST(SpectrumCartridge, ADamagedLastEntryIsReportedWithinASecond) {
    const MachineImage m = programImage(SPECTRUM_PICTURE_BIN);
    const auto v3 = makeZ80Paged(m, 3, false);
    const auto v1 = makeZ80v1(m, true);
    const std::size_t v3Header = 30 + 2 + 54;
    struct Damage {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool told; // the loader can tell it is damaged
    };
    std::vector<Damage> damages = {
        {"header only", {v3.begin(), v3.begin() + v3Header}, true},
        {"cut in its first page", {v3.begin(), v3.begin() + v3Header + 1000}, false},
        {"empty pages", {v3.begin(), v3.begin() + v3Header}, true},
        {"version 1 cut short", {v1.begin(), v1.begin() + v1.size() / 3}, false},
    };
    for (int i = 0; i < 600; ++i) // blocks of length 0: a walk of three bytes a step
        damages[2].bytes.insert(damages[2].bytes.end(), {0, 0, 0});
    auto dir = tempDir();
    auto good = writeSnapshot(m, "picture", "sna");
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        auto file = dir / "damaged.z80";
        writeBytes(file, damage.bytes);
        Gba gba(catalogueImage({{"Good", good, {}}, {"Damaged", file, {}}}));
        ASSERT_GE(gba.runUntil([](Gba& g) { return menuListShown(g); }, 120), 0);
        gba.press(gbatest::KeyDown, 2, 4);
        gba.setKeys(gbatest::KeyA);
        const int frames = gba.runUntil(
            [](Gba& g) {
                return state(g).starts == 1 &&
                       (screenShows(g, "Cannot run") || state(g).frames > 0);
            },
            6000);
        gba.setKeys(0);
        const bool told = screenShows(gba, "Cannot run");
        std::printf("[ figure ] damaged last entry (%s): %s after %d frames\n", damage.what,
                    told ? "message" : "running", frames);
        EXPECT_GE(frames, 0);
        EXPECT_LE(frames, 60);
        if (damage.told) {
            EXPECT_TRUE(told);
            EXPECT_NE(state(gba).load_result, 0u);
        }
    }
}

// Every byte a display name can hold in TPL.INI, control bytes included (a TAB typed by hand):
// the packer writes what the cartridge's table check accepts, so no entry is lost from the list.
TEST(SpectrumCartridge, NamesOfAnyBytesKeepEveryEntryListed) {
    auto good = writeSnapshot(programImage(SPECTRUM_PICTURE_BIN), "picture", "sna");
    std::vector<Entry> entries;
    for (int first = 1; first < 256; first += 15) {
        std::string name;
        for (int b = first; b < first + 15 && b < 256; ++b)
            name += static_cast<char>(b);
        entries.push_back({name, good, {}});
    }
    entries.push_back({"Last", good, {}});
    Gba gba(catalogueImage(entries));
    ASSERT_GE(gba.runUntil([](Gba& g) { return menuListShown(g); }, 120), 0);
    EXPECT_EQ(gba.readStruct<MenuState>(MENU_STATE_ADDRESS).entry_count, entries.size());
}

// The plug-in form: the image, then the snapshot somewhere in the cartridge; Pogoshell's block
// in EWRAM names the file and says where it is.

const char* const kPluginSettings = "[Control_Kempston]\n"
                                    "Button A=JOY FIRE\n"
                                    "[ports]\n"
                                    "Control=Custom\n"
                                    "Button A=Q\n"
                                    "[other]\n"
                                    "Control=Custom\n"
                                    "Button A=P\n";

TEST(SpectrumPlugin, FindsTheKeyRecordByTheFileName) {
    MachineImage m = programImage(SPECTRUM_PORTS_BIN);
    auto snapshot = makeSna(m);
    auto z80 = makeZ80v1(m, true);
    struct Case {
        std::string path;
        const std::vector<std::uint8_t>* file;
        int row, bit, kempston;
    };
    const Case cases[] = {
        {"/games/PORTS.SNA", &snapshot, 5, 0, 0},       // record "ports": A = Q
        {"/other.z80", &z80, 2, 0, 0},                  // record "other": A = P
        {"/games/unknown.sna", &snapshot, -1, 0, 0x10}, // head record: A = joystick fire
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        auto image = pluginImage(kPluginSettings);
        std::size_t at = (image.size() + 0x7FFF) & ~std::size_t{0x7FFF};
        image.resize(at);
        image.insert(image.end(), c.file->begin(), c.file->end());
        Gba gba(image);
        plantPogoshellBlock(gba, c.path, 0x08000000u + static_cast<std::uint32_t>(at),
                            static_cast<std::uint32_t>(c.file->size()));
        ASSERT_GE(gba.runUntil([](Gba& g) { return state(g).frames >= 3; }, 100), 0);
        gba.setKeys(gbatest::KeyA);
        runSpectrumFrames(gba, 3);
        Ports p = readPorts(gba);
        for (int r = 0; r < 8; ++r)
            EXPECT_EQ(p.rows[r], r == c.row ? (kIdleRow & ~(1 << c.bit)) : kIdleRow) << r;
        EXPECT_EQ(p.kempston, c.kempston);
    }
}

TEST(SpectrumPlugin, WithoutPogoshellItSaysSo) {
    Gba gba(pluginImage(kPluginSettings));
    gba.runFrames(30);
    EXPECT_TRUE(screenShows(gba, "Pogoshell"));
    EXPECT_NE(state(gba).magic, static_cast<std::uint32_t>(SPECTRUM_STATE_MAGIC));
}

} // namespace
