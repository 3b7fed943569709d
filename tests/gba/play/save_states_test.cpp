// Save states on cartridges in mGBA with battery-backed save memory: a state survives the
// console switched off and on, loads the same RAM and registers, and the game goes on to the same
// frames as without the break; another entry's state, an empty slot and damaged save memory are
// refused with a message; a state that does not fit gets one; the menu selects the entry started
// last; a 128K game's whole machine is saved and loaded, and a full pool is reported.
#include "cartridge.h"
#include "snapshot_files.h"

#include "tpl_save.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

using namespace spectest;
using gbatest::Gba;

namespace {

std::filesystem::path freshSaveFile(const std::string& name) {
    auto path = tempDir() / (name + ".sav");
    std::filesystem::remove(path);
    return path;
}

std::vector<std::uint8_t> spectrumRam(Gba& gba) {
    std::vector<std::uint8_t> ram(0xC000);
    std::size_t size = 0;
    std::uint8_t* at = gba.memory(state(gba).ram, &size);
    EXPECT_GE(size, ram.size());
    std::memcpy(ram.data(), at, ram.size());
    return ram;
}

std::array<std::uint16_t, 14> stateRegs(Gba& gba) {
    auto s = state(gba);
    std::array<std::uint16_t, 14> regs{};
    std::copy(std::begin(s.state_regs), std::end(s.state_regs), regs.begin());
    return regs;
}

// Saves or loads through the overlay: picks the line, the slot (from 0), and holds A until the
// state was written or read, so that the machine has not run on. The overlay stays open (after a
// load it closes once A is let go). Returns the enum SaveStateResult.
std::uint32_t useSlot(Gba& gba, OverlayItem item, int slot) {
    std::uint32_t actions = state(gba).state_actions;
    chooseOverlayItem(gba, item);
    for (int i = 0; i < slot; ++i)
        gba.press(gbatest::KeyDown, 2, 2);
    gba.setKeys(gbatest::KeyA);
    EXPECT_GE(gba.runUntil([&](Gba& g) { return state(g).state_actions != actions; }, 3000), 0);
    return state(gba).state_result;
}

// Lets go of A and closes what is left of the overlay.
void resume(Gba& gba) {
    gba.setKeys(0);
    gba.runFrames(2);
    for (int i = 0; i < 3 && state(gba).overlay; ++i)
        gba.press(gbatest::KeyB, 2, 3);
    ASSERT_EQ(state(gba).overlay, 0u);
}

// Runs until the emulator has finished Spectrum frame `target` and stops there, between two
// frames (the last stretch one instruction at a time).
void runToFrame(Gba& gba, std::uint32_t target) {
    ASSERT_LT(state(gba).frames + 2, target);
    ASSERT_GE(gba.runUntil([&](Gba& g) { return state(g).frames + 2 >= target; }, 2000), 0);
    ASSERT_EQ(state(gba).frames + 2, target) << "ran two frames in one";
    for (int i = 0; i < 3000000 && state(gba).frames < target; ++i)
        gba.step(1);
    ASSERT_EQ(state(gba).frames, target);
}

void printFigures(Gba& gba, const char* what) {
    auto s = state(gba);
    bool saved = std::strcmp(what, "saved") == 0;
    std::printf("[ figures  ] a state of %u bytes %s in %.1f ms (%s %.1f ms)\n", s.state_bytes,
                what, s.state_cycles / 16777.216, saved ? "packing" : "unpacking",
                s.state_pack_cycles / 16777.216);
}

struct Moment {
    std::vector<std::uint8_t> ram;
    std::uint32_t pc = 0;
};

Moment runAt(Gba& gba, std::uint32_t frame) {
    runToFrame(gba, frame);
    return {spectrumRam(gba), state(gba).pc};
}

class SaveStates : public ::testing::Test {
  protected:
    std::filesystem::path frames =
        writeSnapshot(programImage(SPECTRUM_FRAMES_BIN), "frames", "sna");
    std::filesystem::path picture =
        writeSnapshot(programImage(SPECTRUM_PICTURE_BIN), "picture", "z80v1");
    std::vector<std::uint8_t> image =
        catalogueImage({{"Frames", frames, {}}, {"Picture", picture, {}}});
};

TEST_F(SaveStates, SurviveAPowerOffAndTheGameGoesOnAsWithoutTheBreak) {
    auto sav = freshSaveFile("power");
    std::vector<std::uint8_t> ramSaved;
    std::array<std::uint16_t, 14> regsSaved{};
    std::uint32_t framesSaved = 0;
    Moment later;
    std::uint32_t laterFrame = 0;
    {
        Gba gba(image);
        gba.attachSave(sav);
        ASSERT_TRUE(startEntry(gba, 0));
        runSpectrumFrames(gba, 120);
        ASSERT_EQ(useSlot(gba, OverlaySave, 0), static_cast<std::uint32_t>(STATE_SAVED));
        ramSaved = spectrumRam(gba);
        regsSaved = stateRegs(gba);
        framesSaved = state(gba).state_frames;
        EXPECT_EQ(state(gba).frames, framesSaved);
        EXPECT_EQ(regsSaved[11], state(gba).pc) << "PC";
        printFigures(gba, "saved");
        gba.setKeys(0);
        gba.runFrames(2);
        EXPECT_TRUE(screenShows(gba, "Saved in slot 1"));
        resume(gba);
        laterFrame = framesSaved + 150;
        later = runAt(gba, laterFrame);
        EXPECT_EQ(gba.saveData().size(), TPL_SAVE_SIZE) << "the 1 Mbit flash chip";
    } // switched off: mGBA writes the save file

    Gba gba(image);
    gba.attachSave(sav);
    ASSERT_TRUE(startEntry(gba, 0));
    runSpectrumFrames(gba, 10);
    EXPECT_NE(spectrumRam(gba), ramSaved) << "a fresh start is not the saved machine";
    ASSERT_EQ(useSlot(gba, OverlayLoad, 0), static_cast<std::uint32_t>(STATE_LOADED));
    EXPECT_TRUE(spectrumRam(gba) == ramSaved) << "the same RAM";
    EXPECT_EQ(stateRegs(gba), regsSaved) << "the same registers";
    EXPECT_EQ(state(gba).state_frames, framesSaved);
    printFigures(gba, "loaded");
    resume(gba);
    Moment again = runAt(gba, laterFrame);
    EXPECT_TRUE(again.ram == later.ram) << "the same memory (screen included) 150 frames on";
    EXPECT_EQ(again.pc, later.pc);
    EXPECT_EQ(gba.gameErrors(), 0);
}

// Character cells whose sprite tiles do not show the Spectrum screen in RAM (a FLASH cell may
// show either phase). A tile's pixel is its colour's palette index: black 8, others 1-7, +8
// BRIGHT.
int cellsNotShown(Gba& gba) {
    std::vector<std::uint8_t> ram = spectrumRam(gba);
    std::vector<std::uint32_t> tiles(24 * 32 * 8);
    gba.read(0x06010000u, tiles.data(), tiles.size() * 4);
    auto index = [](unsigned c, unsigned bright) { return c == 0 ? 8u : c + (bright ? 8u : 0u); };
    int wrong = 0;
    for (unsigned r = 0; r < 24; ++r)
        for (unsigned c = 0; c < 32; ++c) {
            unsigned attr = ram[0x1800 + r * 32 + c], bright = attr >> 6 & 1;
            bool shown[2] = {true, true};
            for (unsigned phase = 0; phase < 2; ++phase) {
                bool swap = phase && (attr & 0x80);
                unsigned ink = index(swap ? attr >> 3 & 7 : attr & 7, bright);
                unsigned paper = index(swap ? attr & 7 : attr >> 3 & 7, bright);
                for (unsigned line = 0; line < 8; ++line) {
                    unsigned byte = ram[((r & 0x18) << 8) + (line << 8) + ((r & 7) << 5) + c];
                    std::uint32_t want = 0;
                    for (unsigned i = 0; i < 8; ++i)
                        want |= (byte & (0x80u >> i) ? ink : paper) << (4 * i);
                    shown[phase] = shown[phase] && tiles[(r * 32 + c) * 8 + line] == want;
                }
            }
            wrong += !shown[0] && !shown[1];
        }
    return wrong;
}

// The picture is drawn from the cells that changed since it was last drawn: the keyboard, the
// overlay and a loaded state must not leave cells of another picture behind, nor may the
// display's bookkeeping touch the keyboard's tiles.
TEST_F(SaveStates, AfterALoadOrTheKeyboardTheLcdShowsTheWholeScreen) {
    Gba gba(image);
    gba.attachSave(freshSaveFile("whole"));
    ASSERT_TRUE(startEntry(gba, 0));
    gba.write32(SPECTRUM_STATE_ADDRESS + offsetof(SpectrumState, display_every), 1);
    runSpectrumFrames(gba, 40);
    ASSERT_EQ(useSlot(gba, OverlaySave, 0), static_cast<std::uint32_t>(STATE_SAVED));
    auto saved = spectrumRam(gba);
    resume(gba);

    chooseOverlayItem(gba, OverlayKeyboard);
    gba.runFrames(2);
    ASSERT_EQ(state(gba).keyboard, 1u);
    std::vector<std::uint8_t> keys(0x1E20), keysLater(keys.size());
    gba.read(0x06008000u, keys.data(), keys.size());
    runSpectrumFrames(gba, 200);
    gba.read(0x06008000u, keysLater.data(), keysLater.size());
    EXPECT_TRUE(keys == keysLater) << "the keyboard's tiles are left alone";
    gba.press(gbatest::KeyB, 2, 2);
    ASSERT_EQ(state(gba).keyboard, 0u);
    runToFrame(gba, state(gba).frames + 3);
    EXPECT_EQ(cellsNotShown(gba), 0) << "after the keyboard";
    auto later = spectrumRam(gba);
    EXPECT_NE(std::memcmp(saved.data(), later.data(), 0x1B00), 0) << "the screen moved on";

    ASSERT_EQ(useSlot(gba, OverlayLoad, 0), static_cast<std::uint32_t>(STATE_LOADED));
    resume(gba);
    runToFrame(gba, state(gba).frames + 3);
    EXPECT_EQ(cellsNotShown(gba), 0) << "after the load";
    EXPECT_EQ(gba.gameErrors(), 0);
}

// The state header in a save file: the sector whose first bytes are the state's mark.
std::size_t stateSector(const std::vector<std::uint8_t>& sav, int slot) {
    for (std::size_t s = TPL_SAVE_FIRST_STATE_SECTOR; s < TPL_SAVE_SECTORS; ++s) {
        TplStateHeader h;
        std::memcpy(&h, sav.data() + s * TPL_SAVE_SECTOR_SIZE, sizeof h);
        if (h.magic == TPL_STATE_MAGIC && h.slot == slot)
            return s;
    }
    return 0;
}

TEST_F(SaveStates, AnotherEntrysStateAnEmptySlotAndDamageAreRefused) {
    auto sav = freshSaveFile("refused");
    {
        Gba gba(image);
        gba.attachSave(sav);
        ASSERT_TRUE(startEntry(gba, 0));
        runSpectrumFrames(gba, 30);
        ASSERT_EQ(useSlot(gba, OverlaySave, 0), static_cast<std::uint32_t>(STATE_SAVED));
        resume(gba);
        chooseOverlayItem(gba, OverlayMenu);
        ASSERT_GE(gba.runUntil([](Gba& g) { return menuListShown(g); }, 60), 0);
        ASSERT_TRUE(startEntry(gba, 1));
        runSpectrumFrames(gba, 20);
        auto ram = spectrumRam(gba);
        EXPECT_EQ(useSlot(gba, OverlayLoad, 0), static_cast<std::uint32_t>(STATE_OTHER_ENTRY));
        EXPECT_TRUE(screenShows(gba, "holds a state of"));
        EXPECT_TRUE(screenShows(gba, "Frames."));
        EXPECT_TRUE(screenShows(gba, "Only that game can load it."));
        EXPECT_TRUE(spectrumRam(gba) == ram);
        gba.setKeys(0);
        gba.runFrames(2);
        gba.press(gbatest::KeyDown, 2, 2); // slot 2: empty
        gba.press(gbatest::KeyA, 2, 2);
        EXPECT_EQ(state(gba).state_result, static_cast<std::uint32_t>(STATE_EMPTY));
        EXPECT_TRUE(screenShows(gba, "Slot 2 is empty."));
        resume(gba);
        EXPECT_EQ(state(gba).running, 1u);
    }

    // Switched on again: the entry started last is selected.
    {
        Gba gba(image);
        gba.attachSave(sav);
        ASSERT_GE(gba.runUntil([](Gba& g) { return menuListShown(g); }, 120), 0);
        auto menu = gba.readStruct<MenuState>(MENU_STATE_ADDRESS);
        EXPECT_EQ(menu.remembered, 1);
        EXPECT_EQ(menu.cursor, 1u);
    }

    // A byte of the state damaged, then a byte of its header.
    auto bytes = readBytes(sav);
    std::size_t sector = stateSector(bytes, 0);
    ASSERT_NE(sector, 0u);
    for (std::size_t at : {sector * TPL_SAVE_SECTOR_SIZE + TPL_STATE_HEADER_SIZE + 300,
                           sector * TPL_SAVE_SECTOR_SIZE + 12}) {
        SCOPED_TRACE(at);
        auto damaged = bytes;
        damaged[at] ^= 0x10;
        auto path = freshSaveFile("damaged");
        writeBytes(path, damaged);
        Gba gba(image);
        gba.attachSave(path);
        ASSERT_GE(gba.runUntil([](Gba& g) { return menuListShown(g); }, 120), 0);
        gba.press(gbatest::KeyUp, 2, 2);
        gba.press(gbatest::KeyA, 2, 2);
        ASSERT_GE(
            gba.runUntil([](Gba& g) { return state(g).running && state(g).frames >= 5; }, 300), 0);
        auto ram = spectrumRam(gba);
        EXPECT_EQ(useSlot(gba, OverlayLoad, 0), static_cast<std::uint32_t>(STATE_DAMAGED));
        EXPECT_TRUE(screenShows(gba, "damaged"));
        EXPECT_TRUE(spectrumRam(gba) == ram) << "nothing of it loaded";
        resume(gba);
    }
}

TEST_F(SaveStates, AStateThatDoesNotFitGetsAMessageAndASlotCanBeSavedOver) {
    auto noise = writeSnapshot(programImage(SPECTRUM_NOISE_BIN), "noise", "sna");
    Gba gba(catalogueImage({{"Noise", noise, {}}}));
    gba.attachSave(freshSaveFile("full"));
    ASSERT_TRUE(startEntry(gba, 0));
    ASSERT_GE(gba.runUntil([](Gba& g) { return peek(g, 0x9000) == 1; }, 900), 0);
    // About 37 KiB each: ten of the 31 sectors.
    for (int slot = 0; slot < 3; ++slot) {
        ASSERT_EQ(useSlot(gba, OverlaySave, slot), static_cast<std::uint32_t>(STATE_SAVED));
        EXPECT_GT(state(gba).state_bytes, 37000u);
        printFigures(gba, "saved");
        resume(gba);
    }
    EXPECT_EQ(useSlot(gba, OverlaySave, 3), static_cast<std::uint32_t>(STATE_NO_ROOM));
    EXPECT_TRUE(screenShows(gba, "No room: the state needs"));
    EXPECT_TRUE(screenShows(gba, "38 KiB, 4 KiB are free."));
    resume(gba);
    EXPECT_EQ(useSlot(gba, OverlaySave, 0), static_cast<std::uint32_t>(STATE_SAVED))
        << "saving over a slot reuses its room";
    resume(gba);
    auto ram = spectrumRam(gba);
    EXPECT_EQ(useSlot(gba, OverlayLoad, 1), static_cast<std::uint32_t>(STATE_LOADED));
    printFigures(gba, "loaded");
    EXPECT_TRUE(spectrumRam(gba) == ram);
    resume(gba);
}

// A cartridge without a flash chip (an emulator told so, a cartridge that lacks one): saving
// says so after one wait for the chip, later ones at once, and the game goes on.
TEST_F(SaveStates, ACartridgeWithoutSaveMemoryIsReported) {
    Gba gba(image);
    gba.removeSaveMemory();
    ASSERT_TRUE(startEntry(gba, 0));
    runSpectrumFrames(gba, 10);
    for (int attempt = 0; attempt < 2; ++attempt) {
        ASSERT_EQ(useSlot(gba, OverlaySave, 1), static_cast<std::uint32_t>(STATE_CHIP_FAILED));
        EXPECT_TRUE(screenShows(gba, "The save memory did not"));
        EXPECT_LT(state(gba).state_cycles, 16777216u / 4) << "a quarter of a second at most";
        resume(gba);
    }
    std::uint32_t before = state(gba).frames;
    runSpectrumFrames(gba, 10);
    EXPECT_GT(state(gba).frames, before);
}

// In the plug-in form the save memory is Pogoshell's: the overlay offers no save states and the
// emulator never touches the save chip.
TEST(SaveStatesInPogoshell, AreNotOffered) {
    auto snapshot = makeSna(programImage(SPECTRUM_PICTURE_BIN));
    auto image = pluginImage("[picture]\nControl=Custom\nButton A=Q\n");
    std::size_t at = (image.size() + 0x7FFF) & ~std::size_t{0x7FFF};
    image.resize(at);
    image.insert(image.end(), snapshot.begin(), snapshot.end());
    Gba gba(image);
    gba.attachSave(freshSaveFile("pogoshell"));
    plantPogoshellBlock(gba, "/games/picture.sna", 0x08000000u + static_cast<std::uint32_t>(at),
                        static_cast<std::uint32_t>(snapshot.size()));
    ASSERT_GE(gba.runUntil([](Gba& g) { return state(g).frames >= 3; }, 100), 0);
    openOverlay(gba);
    EXPECT_TRUE(screenShows(gba, "Keyboard"));
    EXPECT_FALSE(screenShows(gba, "Save state"));
    EXPECT_FALSE(screenShows(gba, "Load state"));
    for (int i = 0; i < 8; ++i) // the cursor passes the empty lines
        gba.press(gbatest::KeyDown, 2, 2);
    gba.press(gbatest::KeyA, 2, 2);
    EXPECT_EQ(state(gba).state_actions, 0u);
    gba.press(gbatest::KeyB, 2, 2);
    EXPECT_TRUE(gba.saveData().empty()) << "the save chip was never spoken to";
}

TEST(SaveStatesOverAGame, Picture) {
    auto znake = std::string(TAPELOOM_SHARED_DIR) + "/games/znake.sna";
    auto blackstar = std::string(TAPELOOM_SHARED_DIR) + "/games/blackstar.sna";
    Gba gba(catalogueImage({{"Znake", znake, {}}, {"Blackstar", blackstar, {}}}));
    gba.attachSave(freshSaveFile("picture"));
    ASSERT_TRUE(startEntry(gba, 1));
    runSpectrumFrames(gba, 50);
    ASSERT_EQ(useSlot(gba, OverlaySave, 2), static_cast<std::uint32_t>(STATE_SAVED));
    resume(gba);
    chooseOverlayItem(gba, OverlayMenu);
    ASSERT_GE(gba.runUntil([](Gba& g) { return menuListShown(g); }, 60), 0);
    gba.press(gbatest::KeyUp, 2, 2);
    gba.press(gbatest::KeyA, 2, 2);
    ASSERT_GE(gba.runUntil([](Gba& g) { return state(g).running && state(g).frames >= 5; }, 300),
              0);
    runSpectrumFrames(gba, 100);
    ASSERT_EQ(useSlot(gba, OverlaySave, 0), static_cast<std::uint32_t>(STATE_SAVED));
    resume(gba);
    runSpectrumFrames(gba, 20);
    chooseOverlayItem(gba, OverlayLoad);
    gba.press(gbatest::KeyDown, 2, 2);
    gba.runFrames(2);
    EXPECT_TRUE(screenShows(gba, "Blackstar"));
    saveScreenshot(gba, "cartridge-save-slots");
    gba.press(gbatest::KeyB, 2, 2);
    gba.press(gbatest::KeyB, 2, 2);
}

// A 128K game: the tune program (shadow screen in bank 7, an IM 2 tune with the envelope on
// channel B) with other banks filled, packed by tapeloom-cli as a user would.
Gba tuneCartridge(const std::string& name, bool noise) {
    Machine128Image m;
    auto code = readBytes(SPECTRUM128_TUNE_BIN);
    std::copy(code.begin(), code.end(), m.banks[2].begin());
    std::uint32_t x = 12345;
    auto fill = [&](unsigned bank, std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            m.banks[bank][i] = noise ? static_cast<std::uint8_t>(x)
                                     : static_cast<std::uint8_t>(i / 64 * bank + (i & 3));
        }
    };
    for (unsigned bank : {0u, 1u, 3u, 4u, 6u})
        fill(bank, 0, 0x4000);
    if (noise) { // all but the program's own bytes, its stack and its screen
        fill(5, 0x1B00, 0x4000);
        fill(2, 0x2400, 0x3E00);
        fill(7, 0x1B00, 0x4000);
    }
    m.regs.pc = 0x8000, m.regs.sp = 0xBF00, m.regs.iy = 0x5C3A, m.regs.im = 1, m.regs.i = 0x3F;
    m.port7ffd = 0x10;
    auto folder = tempDir() / name;
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "TPL.INI") << "[Control_Kempston]\r\nButton A=JOY FIRE\r\n";
    writeBytes(folder / "tune.sna", makeSna128(m));
    std::string command = "cd '" + folder.string() + "' && '" + TAPELOOM_CLI_PATH +
                          "' create --yes tune.sna > /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return Gba(readBytes(folder / "tpl.gba"));
}

std::vector<std::uint8_t> allBanks(Gba& gba) {
    std::size_t size = 0;
    std::uint8_t* ram = gba.memory(state(gba).ram, &size);
    EXPECT_GE(size, std::size_t{0x20000});
    return {ram, ram + 0x20000};
}

std::vector<std::uint8_t> ayRegisters(Gba& gba) {
    std::vector<std::uint8_t> regs;
    for (std::uint32_t r = 0; r < 16; ++r)
        regs.push_back(gba.read8(state(gba).ay + r));
    return regs;
}

// Saved from the overlay, the game run on and its memory and sound chip changed, loaded: all
// eight banks, the registers, the paging and the AY's registers are back, and the game goes on.
TEST(SaveStates128, AGameSavesAndLoadsItsWholeMachine) {
    Gba gba = tuneCartridge("state128", false);
    gba.attachSave(freshSaveFile("state128"));
    ASSERT_TRUE(startEntry(gba, 0));
    runSpectrumFrames(gba, 30);
    ASSERT_EQ(state(gba).model, 1u);
    ASSERT_EQ(useSlot(gba, OverlaySave, 0), static_cast<std::uint32_t>(STATE_SAVED));
    printFigures(gba, "saved");
    EXPECT_TRUE(screenShows(gba, "Saved in slot 1"));
    auto banks = allBanks(gba);
    auto regs = stateRegs(gba);
    auto ay = ayRegisters(gba);
    std::uint32_t paging = state(gba).paging;
    EXPECT_EQ(ay[9] & 0x10, 0x10) << "channel B on the envelope";
    resume(gba);

    runSpectrumFrames(gba, 45); // the tune moves on to other notes
    std::size_t size = 0;
    std::uint8_t* ram = gba.memory(state(gba).ram, &size);
    for (std::size_t i = 0; i < 0x20000; i += 997)
        ram[i] ^= 0x5A;
    std::uint8_t* chip = gba.memory(state(gba).ay, &size);
    chip[0] ^= 0xFF; // tone A, fine
    EXPECT_FALSE(allBanks(gba) == banks);
    EXPECT_FALSE(ayRegisters(gba) == ay);

    ASSERT_EQ(useSlot(gba, OverlayLoad, 0), static_cast<std::uint32_t>(STATE_LOADED));
    printFigures(gba, "loaded");
    EXPECT_TRUE(allBanks(gba) == banks);
    EXPECT_EQ(stateRegs(gba), regs);
    EXPECT_EQ(ayRegisters(gba), ay);
    resume(gba);
    EXPECT_EQ(state(gba).paging, paging);
    std::uint8_t tick = peek(gba, 0x9002);
    runSpectrumFrames(gba, 10);
    EXPECT_NE(peek(gba, 0x9002), tick) << "the tune's interrupts go on";
}

// A 128K's state the size of most of the pool: saved and loaded (the figures for the largest
// states that fit); a second one has no room, is told so, and changes nothing.
TEST(SaveStates128, ALargeStateAndAFullPool) {
    Gba gba = tuneCartridge("state128noise", true);
    auto sav = freshSaveFile("state128noise");
    gba.attachSave(sav);
    ASSERT_TRUE(startEntry(gba, 0));
    runSpectrumFrames(gba, 20);
    ASSERT_EQ(useSlot(gba, OverlaySave, 0), static_cast<std::uint32_t>(STATE_SAVED));
    EXPECT_GT(state(gba).state_bytes, 100000u);
    printFigures(gba, "saved");
    auto banks = allBanks(gba);
    resume(gba);
    runSpectrumFrames(gba, 5);
    EXPECT_EQ(useSlot(gba, OverlaySave, 1), static_cast<std::uint32_t>(STATE_NO_ROOM));
    EXPECT_TRUE(screenShows(gba, "No room: the state needs"));
    EXPECT_TRUE(screenShows(gba, "Save over another slot."));
    resume(gba);
    ASSERT_EQ(useSlot(gba, OverlayLoad, 0), static_cast<std::uint32_t>(STATE_LOADED));
    printFigures(gba, "loaded");
    EXPECT_TRUE(allBanks(gba) == banks);
    resume(gba);
}

} // namespace
