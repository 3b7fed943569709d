#include "keys.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tapeloom {
namespace {

// Codes 1-40 follow the keyboard's half-rows, each read from the inner key outwards; rebuilding
// them from that layout checks the table independently of how it is typed in.
TEST(KeyCodes, FollowTheKeyboardHalfRowsAndTheKempstonLines) {
    const std::array<std::string, 8> halfRowsInnerFirst = {
        "BNM\x01 ", "HJKL\n", "YUIOP", "67890", "54321", "TREWQ", "GFDSA", "VCXZ\x02"};
    for (std::size_t row = 0; row < halfRowsInnerFirst.size(); ++row) {
        for (std::size_t i = 0; i < 5; ++i) {
            char key = halfRowsInnerFirst[row][i];
            std::string name = key == '\x01'   ? "SYM SHIFT"
                               : key == ' '    ? "SPACE"
                               : key == '\n'   ? "ENTER"
                               : key == '\x02' ? "SHIFT"
                                               : std::string(1, key);
            EXPECT_EQ(keyCode(name), 5 * row + i + 1) << name;
        }
    }
    EXPECT_EQ(keyCode("JOY RIGHT"), 41);
    EXPECT_EQ(keyCode("JOY LEFT"), 42);
    EXPECT_EQ(keyCode("JOY DOWN"), 43);
    EXPECT_EQ(keyCode("JOY UP"), 44);
    EXPECT_EQ(keyCode("JOY FIRE"), 45);
}

TEST(KeyCodes, EveryListedNameHasADistinctCode) {
    std::set<int> codes;
    for (auto name : kKeyNames)
        codes.insert(keyCode(name));
    EXPECT_EQ(codes.size(), kKeyNames.size());
    EXPECT_EQ(*codes.rbegin(), 45);
}

TEST(KeyCodes, UnlistedSpellingsGiveZero) {
    for (std::string_view name : {"<unassigned>", "<UNASSIGNED>", "", " A", "A ", "SHIFT ",
                                  "SYM  SHIFT", "JOY FIRE 2", "JOY", "#", "AB", "10", "\xE1"})
        EXPECT_EQ(keyCode(name), 0) << '"' << name << '"';
}

// What the configuration dialog shows for a stored name is what the packer packs for it: a
// hand-written "joy fire" or "q" is that key in both, never "shown but packed as no key".
TEST(KeyCodes, OneRuleWithTheDialogsListIgnoringCase) {
    for (std::string_view name : {"a", "z", "q", "Q", "sym shift", "Space", "joy fire", "Joy Up",
                                  "enter", "shift", "0", " a", "sym shift ", "<unassigned>", "ä"}) {
        const int position = keyListPosition(name, true);
        const int shown = position < 0 ? 0 : keyCode(kKeyNames[static_cast<std::size_t>(position)]);
        EXPECT_EQ(keyCode(name), shown) << '"' << name << '"';
    }
    EXPECT_EQ(keyCode("joy fire"), 45);
    EXPECT_EQ(keyCode("q"), keyCode("Q"));
}

TEST(KeyCodes, WholeNamesOnlySoShiftIsNotFoundInsideSymShift) {
    EXPECT_EQ(keyCode("SHIFT"), 40);
    EXPECT_EQ(keyCode("SYM SHIFT"), 4);
}

TEST(KeyCodes, ANameIsNeverTurnedIntoItsListPosition) {
    EXPECT_EQ(keyListPosition("A", false), 1);
    EXPECT_EQ(keyCode("A"), 35);
}

TEST(KeyList, PositionsMatchExactlyOrIgnoringCase) {
    EXPECT_EQ(keyListPosition("<unassigned>", false), 0);
    EXPECT_EQ(keyListPosition("SYM SHIFT", false), 40);
    EXPECT_EQ(keyListPosition("JOY FIRE", false), 45);
    EXPECT_EQ(keyListPosition("sym shift", false), -1);
    EXPECT_EQ(keyListPosition("sym shift", true), 40);
    EXPECT_EQ(keyListPosition("JOY FIRE 2", true), -1);
}

TEST(SlotKeys, AreInTheOrderOfTheKeyBlock) {
    EXPECT_EQ(kSlotKeys.front(), "Button A");
    EXPECT_EQ(kSlotKeys[4], "DPad Right");
    EXPECT_EQ(kSlotKeys[5], "DPad Left");
    EXPECT_EQ(kSlotKeys.back(), "Back Left");
}

} // namespace
} // namespace tapeloom
