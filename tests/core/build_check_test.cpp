// What Create checks before writing, and the one warning that lets the user go on or stop.
#include "build_check.h"
#include "build_command.h"
#include "core_doubles.h"
#include "files.h"
#include "snapshots.h"

#include <gtest/gtest.h>

namespace tapeloom {
namespace {

using test::Bytes;
using test::fakeImage;
using test::patternBytes;
using test::readFile;
using test::ScriptedHost;
using test::shown;
using test::TempDir;
using test::writeFile;

class CreateCheck : public ::testing::Test {
  protected:
    TempDir dir;
    ScriptedHost host;
    std::vector<CatalogueEntry> rows;
    SettingsFile settings = SettingsFile::fromText("[Control_Kempston]\nStart=ENTER\n");

    void SetUp() override { host.current = dir.path(); }

    void add(const std::string& displayName, const std::string& fileName, const Bytes& bytes,
             const std::string& scheme = "Kempston") {
        writeFile(dir.path() / fileName, bytes);
        rows.push_back({displayName, scheme, fileName, dir.str() + "/"});
        settings.write(sectionKeyOf(fileName), "Control", scheme);
    }
    void addSnapshot(const std::string& displayName, const std::string& fileName,
                     const std::string& scheme = "Kempston") {
        add(displayName, fileName, test::snapshotFor(fileName, static_cast<unsigned>(rows.size())),
            scheme);
    }
    CatalogueCheck check() {
        test::CountingProgress progress;
        return checkCatalogue(rows, settings, fakeImage().size(), progress);
    }
    BuildOutcome build() { return createTpl(rows, settings, host, fakeImage()); }
};

TEST_F(CreateCheck, SnapshotsWithKeysThatFitGoStraightThrough) {
    addSnapshot("One", "one.sna");
    addSnapshot("Two", "two.z80");
    const CatalogueCheck result = check();
    EXPECT_FALSE(result.anyProblem());
    EXPECT_EQ(result.imageSize, readFile(dir.path() / "one.sna").size() +
                                    readFile(dir.path() / "two.z80").size() + 96 +
                                    fakeImage().size());
    EXPECT_EQ(build(), BuildOutcome::Created);
    EXPECT_EQ(host.messages, std::vector{shown(kCatalogueCreated)});
}

// A fresh folder's default scheme has no preset section yet: nothing on the cartridge would
// answer a button. So does a Custom entry with nothing assigned, and a misspelt preset.
TEST_F(CreateCheck, EntriesWithoutKeysAreNamedAndTheUserDecides) {
    addSnapshot("Keyed", "keyed.sna");
    addSnapshot("Fresh", "fresh.sna", "Cursor");
    addSnapshot("Bare", "bare.z80", "Custom");
    settings.write("bare", "Button A", "<unassigned>");
    const CatalogueCheck result = check();
    ASSERT_TRUE(result.anyProblem());
    EXPECT_FALSE(result.entries[0].noKeys);
    EXPECT_TRUE(result.entries[1].noKeys);
    EXPECT_TRUE(result.entries[2].noKeys);
    EXPECT_EQ(catalogueCheckText(rows, result),
              "Some entries will not work on the cartridge as they are.\r\r"
              "No keys: no button will do anything (assign keys in Configure, or add the "
              "preset's [Control_...] section to TPL.INI):\r"
              "    Fresh (fresh.sna)\r    Bare (bare.z80)\r\r"
              "Create the image all the same?");

    // No: nothing is written, no "Have fun!".
    const Bytes old = patternBytes(100, 1);
    writeFile(dir.path() / "tpl.gba", old);
    host.answers = {Answer::Yes, Answer::No};
    EXPECT_EQ(build(), BuildOutcome::Declined);
    ASSERT_EQ(host.messages.size(), 2U);
    EXPECT_EQ(host.messages[1].caption, "Warning");
    EXPECT_EQ(host.messages[1].buttons, Buttons::YesNo);
    EXPECT_EQ(host.messages[1].icon, Icon::Exclamation);
    EXPECT_EQ(readFile(dir.path() / "tpl.gba"), old);

    // Yes: written as asked.
    host.messages.clear();
    host.answers = {Answer::Yes, Answer::Yes};
    EXPECT_EQ(build(), BuildOutcome::Created);
    EXPECT_EQ(host.messages.back(), shown(kCatalogueCreated));
    EXPECT_NE(readFile(dir.path() / "tpl.gba"), old);
}

// Beyond 32 MiB the cartridge lists only what fits: the total, the limit and the entries past it
// are named before anything is written. A sparse file makes the size without the bytes.
TEST_F(CreateCheck, AnImageBeyondTheCartridgeNamesTheEntriesPastItsEnd) {
    addSnapshot("First", "first.sna");
    add("Huge", "huge.sna", {});
    std::filesystem::resize_file(dir.path() / "huge.sna", kCartridgeSize - 40000);
    addSnapshot("After", "after.z80");
    const CatalogueCheck result = check();
    EXPECT_FALSE(result.entries[0].pastCartridge);
    EXPECT_TRUE(result.entries[1].pastCartridge);
    EXPECT_TRUE(result.entries[2].pastCartridge);
    const std::string text = catalogueCheckText(rows, result);
    EXPECT_NE(text.find("Past the end of the cartridge: the image would be " +
                        [&] {
                            std::string n = std::to_string(result.imageSize);
                            return n.substr(0, 2) + "," + n.substr(2, 3) + "," + n.substr(5);
                        }() +
                        " bytes, a cartridge holds 33,554,432; these will not be listed or "
                        "cannot load:\r    Huge (huge.sna)\r    After (after.z80)\r\r"),
              std::string::npos)
        << text;
    EXPECT_EQ(build(), BuildOutcome::Declined); // an unanswered question is No
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "tpl.gba"));
}

// The cartridge's loader would refuse these only when the entry is started; Create names them all
// in one warning first.
TEST_F(CreateCheck, FilesTheCartridgeCannotRunAreNamedByWhatIsWrong) {
    using test::z80Header;
    addSnapshot("Good", "good.z80");
    add("Empty", "empty.sna", {});
    Bytes sna = test::snapshotFor("x.sna", 1);
    add("Cut", "cut.sna", Bytes(sna.begin(), sna.begin() + 1000));
    add("Text", "text.z80", Bytes{'n', 'o', 't', ' ', 'a', ' ', 's', 'n', 'a', 'p'});
    Bytes v3 = z80Header(3);
    v3[34] = 4; // 128K
    add("Big", "big.z80", v3);
    add("BigSna", "big.sna", Bytes(49179 + 4 + 5 * 16384, 0));
    v3[34] = 14; // another machine
    add("Other", "other.z80", v3);
    Bytes v1 = test::makeZ80(test::randomishMemory(3), 1);
    v1.resize(v1.size() / 2);
    add("Damaged", "damaged.z80", v1);

    const CatalogueCheck result = check();
    using Problem = SnapshotProblem;
    std::vector<Problem> problems;
    for (const auto& entry : result.entries)
        problems.push_back(entry.problem);
    EXPECT_EQ(problems,
              (std::vector<Problem>{Problem::None, Problem::NotASnapshot, Problem::NotASnapshot,
                                    Problem::NotASnapshot, Problem::Needs128K, Problem::Needs128K,
                                    Problem::OtherMachine, Problem::Damaged}));
    EXPECT_EQ(catalogueCheckText(rows, result),
              "Some entries will not work on the cartridge as they are.\r\r"
              "Not a ZX Spectrum snapshot (empty, cut short or another kind of file):\r"
              "    Empty (empty.sna)\r    Cut (cut.sna)\r    Text (text.z80)\r\r"
              "128K snapshots (the cartridge runs 48K ones):\r"
              "    Big (big.z80)\r    BigSna (big.sna)\r\r"
              "Snapshots of another machine (the cartridge runs a 48K Spectrum):\r"
              "    Other (other.z80)\r\r"
              "Damaged snapshots (their data does not unpack to the memory they claim):\r"
              "    Damaged (damaged.z80)\r\r"
              "Create the image all the same?");

    // Going on packs them all as they are.
    host.answers = {Answer::Yes};
    EXPECT_EQ(build(), BuildOutcome::Created);
    EXPECT_EQ(host.messages.back(), shown(kCatalogueCreated));
}

TEST_F(CreateCheck, LongGroupsNameSixEntriesAndCountTheRest) {
    for (int i = 0; i < 9; ++i)
        addSnapshot("G" + std::to_string(i), "g" + std::to_string(i) + ".sna", "None");
    const std::string text = catalogueCheckText(rows, check());
    EXPECT_NE(text.find("    G5 (g5.sna)\r    and 3 more\r\r"), std::string::npos) << text;
    EXPECT_EQ(text.find("G6"), std::string::npos);
}

} // namespace
} // namespace tapeloom
