// The on-screen keyboard on a cartridge in mGBA, with the port test program reading every
// half-row: each of the 40 keys reaches its bit of port 0xFE while A holds it, SHIFT and
// SYM SHIFT stick for the next key (alone and together), the buttons the keyboard does not use
// keep the game's mapping, and B gives the game its buttons back. Also the frame cost while the
// keyboard is open.
#include "cartridge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

using namespace spectest;
using gbatest::Gba;

namespace {

// The keyboard as printed on a Spectrum, row by row.
const char* const kLayout[4][10] = {
    {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0"},
    {"Q", "W", "E", "R", "T", "Y", "U", "I", "O", "P"},
    {"A", "S", "D", "F", "G", "H", "J", "K", "L", "ENTER"},
    {"SHIFT", "Z", "X", "C", "V", "B", "N", "M", "SYM SHIFT", "SPACE"},
};
// The matrix: half-row r is read with bit (7 - r) of the port's high byte low (r = 0: 7FFEh),
// its keys from bit 4 (inner) to bit 0 (outer).
const char* const kHalfRows[8][5] = {
    {"B", "N", "M", "SYM SHIFT", "SPACE"},
    {"H", "J", "K", "L", "ENTER"},
    {"Y", "U", "I", "O", "P"},
    {"6", "7", "8", "9", "0"},
    {"5", "4", "3", "2", "1"},
    {"T", "R", "E", "W", "Q"},
    {"G", "F", "D", "S", "A"},
    {"V", "C", "X", "Z", "SHIFT"},
};
constexpr std::uint8_t kIdleRow = 0xBF; // bits 5 and 7 high, EAR low

struct MatrixKey {
    int halfRow, bit;
};

MatrixKey matrixKey(const std::string& name) {
    for (int r = 0; r < 8; ++r)
        for (int k = 0; k < 5; ++k)
            if (name == kHalfRows[r][k])
                return {r, 4 - k};
    throw std::runtime_error("no key " + name);
}

// The eight half-rows as the program read them last (9000h-9007h).
std::array<std::uint8_t, 8> halfRows(Gba& gba) {
    std::array<std::uint8_t, 8> rows{};
    for (int r = 0; r < 8; ++r)
        rows[static_cast<std::size_t>(r)] = peek(gba, static_cast<std::uint16_t>(0x9000 + r));
    return rows;
}

// The half-rows with exactly these keys down.
std::array<std::uint8_t, 8> expectedRows(std::initializer_list<std::string> keys) {
    std::array<std::uint8_t, 8> rows;
    rows.fill(kIdleRow);
    for (const auto& key : keys) {
        MatrixKey m = matrixKey(key);
        rows[static_cast<std::size_t>(m.halfRow)] &= static_cast<std::uint8_t>(~(1u << m.bit));
    }
    return rows;
}

// The port program's key block (as in the programs' port test): A = Q, B = SPACE,
// Select = SHIFT, Start = ENTER, the D-pad the joystick, R = P, L = joystick fire.
const std::array<std::string, 10> kMapped = {"Q",        "SPACE",  "SHIFT",    "ENTER", "JOY RIGHT",
                                             "JOY LEFT", "JOY UP", "JOY DOWN", "P",     "JOY FIRE"};

class Keyboard : public ::testing::Test {
  protected:
    void SetUp() override {
        auto file = writeSnapshot(programImage(SPECTRUM_PORTS_BIN), "ports", "sna");
        gba = std::make_unique<Gba>(catalogueImage({{"Ports", file, kMapped}}));
        ASSERT_TRUE(startEntry(*gba, 0));
        runSpectrumFrames(*gba, 3);
    }
    void open() {
        chooseOverlayItem(*gba, OverlayKeyboard);
        gba->runFrames(2);
        ASSERT_EQ(state(*gba).keyboard, 1u);
    }
    // A button pressed and let go, each seen by the play loop (once per Spectrum frame).
    void tap(std::uint16_t key) {
        gba->setKeys(key);
        runSpectrumFrames(*gba, 2);
        gba->setKeys(0);
        runSpectrumFrames(*gba, 2);
    }
    // Moves the cursor onto the key with the D-pad (along the row, then the column).
    void moveTo(int row, int column) {
        for (int guard = 0; guard < 30; ++guard) {
            std::uint32_t at = state(*gba).keyboard_cursor;
            int r = static_cast<int>(at / 10), c = static_cast<int>(at % 10);
            if (r == row && c == column)
                return;
            std::uint16_t key = c < column   ? gbatest::KeyRight
                                : c > column ? gbatest::KeyLeft
                                : r < row    ? gbatest::KeyDown
                                             : gbatest::KeyUp;
            tap(key);
        }
        FAIL() << "the cursor did not reach " << row << "," << column;
    }
    // Presses A on the key and keeps it held for a few Spectrum frames.
    void hold(const char* name) {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 10; ++c)
                if (std::string(kLayout[r][c]) == name)
                    moveTo(r, c);
        gba->setKeys(gbatest::KeyA);
        runSpectrumFrames(*gba, 3);
    }
    void release() {
        gba->setKeys(0);
        runSpectrumFrames(*gba, 3);
    }
    std::unique_ptr<Gba> gba;
};

TEST_F(Keyboard, EveryKeyReachesItsBitOfThePortWhileAHoldsIt) {
    open();
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 10; ++c) {
            const char* name = kLayout[r][c];
            SCOPED_TRACE(name);
            hold(name);
            EXPECT_EQ(halfRows(*gba), expectedRows({name}));
            release();
            EXPECT_EQ(halfRows(*gba), expectedRows({})) << "let go with A";
            if (std::string(name) == "SHIFT" || std::string(name) == "SYM SHIFT") {
                hold(name); // a second press un-sticks it
                release();
            }
            EXPECT_EQ(state(*gba).keyboard_sticky, 0u);
        }
    }
    EXPECT_EQ(gba->gameErrors(), 0);
}

TEST_F(Keyboard, ShiftsStickForTheNextKeyAloneOrTogether) {
    open();
    hold("SHIFT");
    EXPECT_EQ(halfRows(*gba), expectedRows({"SHIFT"})) << "held like any key";
    release();
    EXPECT_EQ(state(*gba).keyboard_sticky, 1u);
    EXPECT_EQ(halfRows(*gba), expectedRows({})) << "sticky, not held";
    hold("A");
    EXPECT_EQ(halfRows(*gba), expectedRows({"SHIFT", "A"}));
    release();
    EXPECT_EQ(halfRows(*gba), expectedRows({}));
    EXPECT_EQ(state(*gba).keyboard_sticky, 0u) << "used up by A";
    hold("0");
    EXPECT_EQ(halfRows(*gba), expectedRows({"0"}));
    release();

    hold("SYM SHIFT");
    release();
    EXPECT_EQ(state(*gba).keyboard_sticky, 2u);
    hold("P");
    EXPECT_EQ(halfRows(*gba), expectedRows({"SYM SHIFT", "P"})); // the quote mark
    release();

    // SHIFT, then SYM SHIFT: both at once (extended mode), then neither sticks.
    hold("SHIFT");
    release();
    hold("SYM SHIFT");
    EXPECT_EQ(halfRows(*gba), expectedRows({"SHIFT", "SYM SHIFT"}));
    release();
    EXPECT_EQ(state(*gba).keyboard_sticky, 0u);
    hold("E");
    EXPECT_EQ(halfRows(*gba), expectedRows({"E"}));
    release();
}

TEST_F(Keyboard, OtherButtonsKeepTheirMappingAndBGivesTheGameItsButtonsBack) {
    open();
    gba->setKeys(gbatest::KeyStart); // mapped to ENTER
    runSpectrumFrames(*gba, 3);
    EXPECT_EQ(halfRows(*gba), expectedRows({"ENTER"}));
    gba->setKeys(gbatest::KeyStart | gbatest::KeyA); // A types the key under the cursor: 1
    runSpectrumFrames(*gba, 3);
    EXPECT_EQ(halfRows(*gba), expectedRows({"ENTER", "1"})) << "not Q, A's own key";
    gba->setKeys(gbatest::KeyRight); // moves the cursor; not the joystick
    runSpectrumFrames(*gba, 3);
    EXPECT_EQ(peek(*gba, 0x9008), 0u);
    gba->setKeys(0);
    runSpectrumFrames(*gba, 2);

    gba->setKeys(gbatest::KeyB);
    runSpectrumFrames(*gba, 3);
    EXPECT_EQ(halfRows(*gba), expectedRows({})) << "B closes; SPACE is not pressed";
    gba->setKeys(0);
    runSpectrumFrames(*gba, 3);
    EXPECT_EQ(state(*gba).keyboard, 0u);
    gba->setKeys(gbatest::KeyA | gbatest::KeyB | gbatest::KeyRight);
    runSpectrumFrames(*gba, 3);
    EXPECT_EQ(halfRows(*gba), expectedRows({"Q", "SPACE"}));
    EXPECT_EQ(peek(*gba, 0x9008), 0x01);
    gba->setKeys(0);

    // The overlay closes the keyboard; the keys it held are let go.
    open();
    gba->setKeys(gbatest::KeyA);
    runSpectrumFrames(*gba, 2);
    openOverlay(*gba);
    EXPECT_EQ(state(*gba).keyboard, 0u);
    gba->press(gbatest::KeyB, 2, 4); // resume
    runSpectrumFrames(*gba, 3);
    EXPECT_EQ(halfRows(*gba), expectedRows({}));
}

// The keyboard covers the LCD's lowest 64 lines; above it the game is untouched, between the keys
// it shows as it is, and through the keys' caps it is blended in (12/16 of the cap's colour,
// 6/16 of the game's, per 5-bit channel).
TEST(KeyboardOverAGame, TheGameShowsAboveBetweenAndThroughTheKeys) {
    auto file = writeSnapshot(programImage(SPECTRUM_PICTURE_BIN), "picture", "sna");
    Gba gba(catalogueImage({{"Picture", file, {}}}));
    ASSERT_TRUE(startEntry(gba, 0));
    ASSERT_GE(gba.runUntil([](Gba& g) { return peek(g, 0x9000) == 1; }, 200), 0);
    ASSERT_GE(gba.runUntil([](Gba& g) { return state(g).frames % 32 == 8; }, 100), 0);
    auto before = gba.frameRgb(); // FLASH: this phase lasts 16 frames
    chooseOverlayItem(gba, OverlayKeyboard);
    gba.runFrames(2);
    ASSERT_EQ(state(gba).keyboard, 1u);
    ASSERT_LT(state(gba).frames % 32, 16u) << "the same FLASH phase";
    auto after = gba.frameRgb();
    auto at = [](int x, int y) { return static_cast<std::size_t>(y * 240 + x); };
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 240; ++x)
            ASSERT_EQ(after[at(x, y)], before[at(x, y)]) << x << "," << y;
    auto channel = [](std::uint32_t rgb, int shift) {
        return static_cast<int>(rgb >> shift & 0xFF);
    };
    const int cap[3] = {5, 7, 13}; // the keys' colour (red, green, blue of 31), the cursor's aside
    int blended = 0;
    for (int key = 1; key < 40; ++key) {
        int kx = (key % 10) * 24, ky = 96 + (key / 10) * 16;
        EXPECT_EQ(after[at(kx, ky + 8)], before[at(kx, ky + 8)]) << "between the keys";
        for (int y = ky + 1; y <= ky + 2; ++y) // above the label
            for (int x = kx + 2; x <= kx + 21; ++x) {
                // The weights apply to each channel; mGBA mixes its 8-bit colours, the hardware
                // the 5-bit ones: one step of five bits apart at most.
                for (int c = 0; c < 3; ++c) {
                    int shift = 16 - 8 * c;
                    int top = cap[c] << 3 | cap[c] >> 2, bottom = channel(before[at(x, y)], shift);
                    int mixed = std::min(255, (top * 12 + bottom * 6) >> 4);
                    ASSERT_NEAR(channel(after[at(x, y)], shift), mixed, 8) << x << "," << y;
                }
                ++blended;
            }
    }
    EXPECT_EQ(blended, 39 * 2 * 20);
}

// The picture in the README: Znake asks for K (keyboard) or J (joystick); the cursor is on K.
TEST(KeyboardOverAGame, Picture) {
    auto file = std::string(TAPELOOM_SHARED_DIR) + "/games/znake.sna";
    Gba gba(catalogueImage({{"Znake", file, {}}}));
    ASSERT_TRUE(startEntry(gba, 0));
    runSpectrumFrames(gba, 100);
    chooseOverlayItem(gba, OverlayKeyboard);
    for (std::uint16_t key : {gbatest::KeyDown, gbatest::KeyDown, gbatest::KeyLeft,
                              gbatest::KeyLeft, gbatest::KeyLeft}) {
        gba.setKeys(key);
        runSpectrumFrames(gba, 2);
        gba.setKeys(0);
        runSpectrumFrames(gba, 2);
    }
    EXPECT_EQ(state(gba).keyboard_cursor, 27u) << "K";
    saveScreenshot(gba, "cartridge-keyboard");
}

// GBA cycles per Spectrum frame spent outside the Z80 (input, sound, display, the rest), as the
// play loop records them, over `frames` frames.
double outsideCyclesPerFrame(Gba& gba, std::uint32_t frames) {
    auto s = state(gba);
    double total = 0;
    std::uint32_t counted = 0;
    std::uint32_t last = s.frames;
    for (int guard = 0; counted < frames && guard < 4000; ++guard) {
        gba.runFrames(1);
        std::uint32_t now = state(gba).frames;
        for (std::uint32_t f = last + 1; f <= now; ++f) {
            auto cost = gba.readStruct<SpectrumFrameCost>(
                s.frame_costs +
                (f % SPECTRUM_COST_FRAMES) * static_cast<std::uint32_t>(sizeof(SpectrumFrameCost)));
            if (cost.frame != f)
                continue;
            total += cost.input + cost.sound + cost.display + cost.other;
            ++counted;
        }
        last = now;
    }
    return counted ? total / counted : 0;
}

TEST_F(Keyboard, FrameCostWhileOpen) {
    double closed = outsideCyclesPerFrame(*gba, 100);
    open();
    double idle = outsideCyclesPerFrame(*gba, 100);
    gba->setKeys(gbatest::KeyRight); // moving all the time: a redraw every fourth frame
    double moving = outsideCyclesPerFrame(*gba, 100);
    gba->setKeys(0);
    std::printf("[ figures  ] GBA cycles per frame outside the Z80: keyboard closed %.0f, open "
                "%.0f, open and moving %.0f\n",
                closed, idle, moving);
    RecordProperty("closed", static_cast<int>(closed));
    RecordProperty("open", static_cast<int>(idle));
    RecordProperty("moving", static_cast<int>(moving));
    EXPECT_GT(closed, 0);
}

} // namespace
