// The desktop's key vocabulary and the cartridge's come from the one table of tpl_format.h, and
// the packer's records are what the cartridge lays its structs over.
#include "image_writer.h"
#include "keys.h"
#include "tpl_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using tapeloom::keyCode;
using tapeloom::kKeyNames;

TEST(KeyVocabulary, EveryCodeHasTheNameBothSidesUse) {
    for (unsigned code = 1; code <= TPL_KEY_MAX; ++code) {
        const char* name = tpl_key_name(code); // what the cartridge shows
        ASSERT_NE(name, nullptr) << code;
        EXPECT_EQ(keyCode(name), code) << name; // what the packer writes for it
        EXPECT_EQ(std::count(kKeyNames.begin(), kKeyNames.end(), name), 1) << name;
    }
    for (unsigned code : {0u, unsigned(TPL_KEY_MAX) + 1, 255u})
        EXPECT_EQ(tpl_key_name(code), nullptr) << code;
}

TEST(KeyVocabulary, TheDesktopListIsTheTableAndNoAssignment) {
    EXPECT_EQ(kKeyNames[0], "<unassigned>");
    EXPECT_EQ(keyCode(kKeyNames[0]), 0);
    std::set<std::string> listed(kKeyNames.begin() + 1, kKeyNames.end()), table;
    for (unsigned code = 1; code <= TPL_KEY_MAX; ++code)
        table.insert(tpl_key_name(code));
    EXPECT_EQ(listed, table);
    EXPECT_EQ(listed.size(), kKeyNames.size() - 1) << "no name listed twice";
    // Whole names only, matched ignoring case as the configuration dialog shows them; no prefix
    // of a longer name.
    for (const char* unknown : {"SYM", "JOY", "SHIFT ", "", "sym  shift"})
        EXPECT_EQ(keyCode(unknown), 0) << unknown;
    EXPECT_EQ(keyCode("sym shift"), keyCode("SYM SHIFT"));
    // The codes walk the keyboard by half-rows from the inner key outwards.
    EXPECT_EQ(keyCode("B"), TPL_KEY_B);
    EXPECT_EQ(keyCode("SPACE"), 5);
    EXPECT_EQ(keyCode("1"), 25);
    EXPECT_EQ(keyCode("SHIFT"), TPL_KEY_LAST_MATRIX);
    EXPECT_EQ(keyCode("JOY RIGHT"), TPL_KEY_LAST_MATRIX + 1);
}

class NoProgress : public tapeloom::WriteProgress {
  public:
    void setMaximum(int) override {}
    void step() override {}
};

std::vector<std::uint8_t> readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(CartridgeRecords, ThePackersRecordsReadThroughTheCartridgesStructs) {
    auto dir =
        std::filesystem::temp_directory_path() /
        ("tapeloom-format-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "game.sna", std::ios::binary) << std::string(27, 'x');
    std::ofstream(dir / "other.z80", std::ios::binary) << std::string(5, 'y');
    auto settings = tapeloom::SettingsFile::fromText(
        "[game]\nControl=Custom\nButton A=JOY FIRE\nBack Left=SYM SHIFT\n"
        "[other]\nControl=Custom\nStart=ENTER\n");
    std::vector<tapeloom::CatalogueEntry> rows = {{"Game", "", "game.sna", dir.string() + "/"},
                                                  {"Other", "", "other.z80", dir.string() + "/"}};
    const std::vector<std::uint8_t> emulator(64, 0xEE); // word aligned, as the real image
    NoProgress progress;
    tapeloom::writeCatalogueImage(dir / "tpl.gba", rows, settings, emulator, progress);
    auto image = readAll(dir / "tpl.gba");
    std::filesystem::remove_all(dir);

    ASSERT_EQ(image.size(), emulator.size() + 3 * TPL_ENTRY_SIZE + 27 + 5);
    TplEntry entries[3];
    std::memcpy(entries, image.data() + emulator.size(), sizeof entries);
    EXPECT_EQ(std::string(entries[0].name, TPL_ENTRY_NAME_LENGTH), "Game           ");
    EXPECT_EQ(entries[0].name_end, 0);
    EXPECT_EQ(entries[0].data_offset, 3u * TPL_ENTRY_SIZE);
    EXPECT_EQ(entries[0].kind, TPL_KIND_SNA);
    EXPECT_EQ(entries[0].keys[0], TPL_KEY_JOY_FIRE);
    EXPECT_EQ(entries[0].keys[9], TPL_KEY_SYM_SHIFT);
    EXPECT_EQ(entries[1].data_offset, 3u * TPL_ENTRY_SIZE + 27);
    EXPECT_EQ(entries[1].kind, TPL_KIND_Z80);
    EXPECT_EQ(entries[1].keys[3], TPL_KEY_ENTER);
    const TplEntry end{};
    EXPECT_EQ(std::memcmp(&entries[2], &end, sizeof end), 0) << "the end record is all zero";
}

} // namespace
