#include "control_config.h"

#include <gtest/gtest.h>

namespace tapeloom {
namespace {

constexpr std::string_view kPresets = "[Control Defaults]\r\nDefault0=Kempston\r\n"
                                      "Default1=Cursor\r\nDefault3=Other\r\n"
                                      "[Control_Kempston]\r\nButton A=JOY FIRE\r\n"
                                      "DPad Up=JOY UP\r\nStart=ENTER\r\n";

int pos(std::string_view keyName) {
    return keyListPosition(keyName, false);
}

CatalogueEntry entry(std::string scheme) {
    return {"My Game", std::move(scheme), "game.sna", "/games/"};
}

// The lines of one section as saved, without the blank line that ends it.
std::string sectionText(const SettingsFile& settings, std::string_view name) {
    const std::string text = settings.toText();
    const auto start = text.find("[" + std::string(name) + "]");
    if (start == std::string::npos)
        return {};
    const auto end = text.find("\r\n\r\n", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end + 2 - start);
}

TEST(ConfigurationRules, SchemeListEndsAtTheFirstEmptyOrMissingPresetThenCustom) {
    EXPECT_EQ(schemeChoices(SettingsFile::fromText(kPresets)),
              (std::vector<std::string>{"Kempston", "Cursor", "Custom"}));
    EXPECT_EQ(schemeChoices(SettingsFile::fromText("[Control Defaults]\nDefault0=\nDefault1=A\n")),
              std::vector<std::string>{"Custom"});
    EXPECT_EQ(schemeChoices(SettingsFile()), std::vector<std::string>{"Custom"});
}

TEST(ConfigurationRules, MatchingTakesTheFirstItemIgnoringAsciiCaseOnly) {
    const std::vector<std::string> items{"Kempston", "KEMPSTON", "Caf\xC3\xA9", "Custom"};
    EXPECT_EQ(matchingItem(items, "kempston"), 0);
    EXPECT_EQ(matchingItem(items, "CUSTOM"), 3);
    EXPECT_EQ(matchingItem(items, "CAF\xC3\xA9"), 2);
    EXPECT_EQ(matchingItem(items, "CAF\xC3\x89"), -1); // only A to Z change case
    EXPECT_EQ(matchingItem(items, "Kempston "), -1);
    EXPECT_EQ(matchingItem(items, ""), -1);
}

TEST(ConfigurationRules, KeyBoxValuesOutsideTheListAreEmpty) {
    EXPECT_EQ(keyBoxValue(0), "<unassigned>");
    EXPECT_EQ(keyBoxValue(pos("SYM SHIFT")), "SYM SHIFT");
    EXPECT_EQ(keyBoxValue(-1), "");
    EXPECT_EQ(keyBoxValue(46), "");
}

TEST(ConfigurationRules, OpeningACustomEntryShowsItsOwnKeysAndWritesNothing) {
    SettingsFile settings = SettingsFile::fromText(
        std::string(kPresets) + "[game]\r\nControl=custom\r\nButton A=space\r\n"
                                "Back Left=JOY FIRE 2\r\nDPad Right=p\r\nSelect=\r\n");
    const std::string before = settings.toText();
    const ConfigurationView view = openConfiguration(settings, entry("custom"));
    EXPECT_EQ(view.schemes.size(), 3u);
    EXPECT_EQ(view.scheme, 2); // the item "Custom"
    EXPECT_EQ(view.displayName, "My Game");
    EXPECT_TRUE(view.keys.custom);
    // Back Left, Back Right, DPad Left, DPad Right, DPad Up, DPad Down, Start, Select, A, B.
    const KeyBoxPicks expected{-1, 0, 0, pos("P"), 0, 0, 0, -1, pos("SPACE"), 0};
    EXPECT_EQ(view.keys.picks, expected);
    EXPECT_EQ(settings.toText(), before);
}

TEST(ConfigurationRules, OpeningAPresetEntryShowsThePresetsKeys) {
    const SettingsFile settings = SettingsFile::fromText(
        std::string(kPresets) + "[game]\r\nControl=Custom\r\nButton A=Q\r\n");
    const ConfigurationView view = openConfiguration(settings, entry("KEMPSTON"));
    EXPECT_EQ(view.scheme, 0);
    EXPECT_FALSE(view.keys.custom);
    const KeyBoxPicks expected{0, 0, 0, 0, pos("JOY UP"), 0, pos("ENTER"), 0, pos("JOY FIRE"), 0};
    EXPECT_EQ(view.keys.picks, expected);
}

TEST(ConfigurationRules, UnknownSchemeOpensEmptyInPresetModeOnTheBareControlSection) {
    const SettingsFile settings =
        SettingsFile::fromText("[Control_]\r\nButton B=K\r\n[game]\r\nButton B=L\r\n");
    const ConfigurationView view = openConfiguration(settings, entry("Kempston"));
    EXPECT_EQ(view.schemes, std::vector<std::string>{"Custom"});
    EXPECT_EQ(view.scheme, -1);
    EXPECT_FALSE(view.keys.custom);
    EXPECT_EQ(view.keys.picks[9], pos("K"));
    EXPECT_EQ(view.keys.picks[0], 0);
}

TEST(ConfigurationRules, OnlyTheExactWordCustomMeansCustomMode) {
    // A preset spelt CUSTOM comes first in the list, so it is the one "custom" selects.
    const SettingsFile settings =
        SettingsFile::fromText("[Control Defaults]\r\nDefault0=CUSTOM\r\n"
                               "[Control_CUSTOM]\r\nStart=S\r\n[game]\r\nStart=G\r\n");
    const ConfigurationView view = openConfiguration(settings, entry("Custom"));
    EXPECT_EQ(view.scheme, 0);
    EXPECT_FALSE(view.keys.custom);
    EXPECT_EQ(view.keys.picks[6], pos("S"));
    EXPECT_FALSE(isCustomScheme("custom"));
    EXPECT_TRUE(isCustomScheme("Custom"));
}

TEST(ConfigurationRules, PresetThenCustomDeletesThenCopiesTheShownKeysInWriteOrder) {
    SettingsFile settings = SettingsFile::fromText(
        std::string(kPresets) + "[game]\r\nFilename=Game\r\nButton A=SPACE\r\nControl=Custom\r\n"
                                "Back Left=Q\r\nZ=kept\r\n");
    KeyBoxPicks shown = openConfiguration(settings, entry("Custom")).keys.picks;

    const KeyBoxes preset = chooseScheme(settings, "game", "Kempston", shown);
    EXPECT_FALSE(preset.custom);
    EXPECT_EQ(preset.picks[8], pos("JOY FIRE"));
    EXPECT_EQ(sectionText(settings, "game"),
              "[game]\r\nFilename=Game\r\nControl=Kempston\r\nZ=kept\r\n");

    shown = preset.picks;
    shown[0] = -1; // a box with no selection writes the empty text
    const KeyBoxes custom = chooseScheme(settings, "game", "Custom", shown);
    EXPECT_TRUE(custom.custom);
    EXPECT_EQ(custom.picks, shown);
    EXPECT_EQ(sectionText(settings, "game"),
              "[game]\r\nFilename=Game\r\nControl=Custom\r\nZ=kept\r\n"
              "Back Left=\r\nBack Right=<unassigned>\r\nDPad Left=<unassigned>\r\n"
              "DPad Right=<unassigned>\r\nDPad Up=JOY UP\r\nDPad Down=<unassigned>\r\n"
              "Select=<unassigned>\r\nStart=ENTER\r\nButton A=JOY FIRE\r\n"
              "Button B=<unassigned>\r\n");
}

TEST(ConfigurationRules, ControlIsWrittenAfterTheSlotKeys) {
    SettingsFile settings;
    KeyBoxPicks shown{};
    chooseScheme(settings, "fresh", "Custom", shown);
    const std::string text = sectionText(settings, "fresh");
    EXPECT_LT(text.find("Button B="), text.find("Control=Custom")) << text;
    chooseScheme(settings, "bare", "Cursor", shown); // a preset without a section
    EXPECT_EQ(sectionText(settings, "bare"), "[bare]\r\nControl=Cursor\r\n");
}

TEST(ConfigurationRules, PickingAKeyWritesOnlyItsSlot) {
    SettingsFile settings = SettingsFile::fromText("[game]\r\nControl=Custom\r\n");
    chooseKey(settings, "game", 8, pos("JOY FIRE"));
    chooseKey(settings, "game", 3, pos("P"));
    chooseKey(settings, "game", 6, -1);
    chooseKey(settings, "game", 10, pos("A")); // no such box
    EXPECT_EQ(sectionText(settings, "game"),
              "[game]\r\nControl=Custom\r\nButton A=JOY FIRE\r\nDPad Right=P\r\nStart=\r\n");
}

TEST(ConfigurationRules, OnlyAnEmptyNameRefusesTheCloseAndTheNameIsWrittenAsTyped) {
    const auto refusal = closeRefusal("");
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->caption, "TPL Error");
    EXPECT_EQ(refusal->text, "ROM Name cannot be blank. Enter a valid ROM name.");
    EXPECT_EQ(refusal->buttons, Buttons::Ok);
    EXPECT_EQ(refusal->icon, Icon::None);
    EXPECT_FALSE(closeRefusal(" "));

    SettingsFile settings;
    closeConfiguration(settings, "game", "A name longer than fifteen");
    EXPECT_EQ(settings.read("game", "Filename", ""), "A name longer than fifteen");
}

} // namespace
} // namespace tapeloom
