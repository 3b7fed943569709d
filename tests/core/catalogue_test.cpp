#include "catalogue.h"
#include "files.h"

#include <gtest/gtest.h>

#include <clocale>

namespace tapeloom {
namespace {

using test::TempDir;
using test::writeText;

std::vector<std::string> displayNames(const Catalogue& catalogue) {
    std::vector<std::string> names;
    for (const auto& row : catalogue.rows())
        names.push_back(row.displayName);
    return names;
}

TEST(SectionKey, IsTheFileNameWithoutItsLastExtension) {
    EXPECT_EQ(sectionKeyOf("manic.z80"), "manic");
    EXPECT_EQ(sectionKeyOf("jet set willy.z80"), "jet set willy");
    EXPECT_EQ(sectionKeyOf("noext"), "noext");
    EXPECT_EQ(sectionKeyOf("game.sna.bak"), "game.sna");
    EXPECT_EQ(sectionKeyOf(".hidden"), "");
}

TEST(AddSnapshots, NewFileGetsItsSectionKeyAndTheDefaultScheme) {
    SettingsFile settings;
    Catalogue catalogue;
    catalogue.addSnapshots({"/games/Jet Set Willy.Z80"}, settings, "Kempston");
    ASSERT_EQ(catalogue.size(), 1U);
    const auto& row = catalogue.rows()[0];
    EXPECT_EQ(row.displayName, "jet set willy");
    EXPECT_EQ(row.scheme, "Kempston");
    EXPECT_EQ(row.fileName, "jet set willy.z80");
    EXPECT_EQ(row.folder, "/games/");
    EXPECT_EQ(row.diskName, "Jet Set Willy.Z80");
    EXPECT_EQ(row.snapshotPath(), "/games/Jet Set Willy.Z80");
    EXPECT_EQ(settings.toText(),
              "[jet set willy]\r\nFilename=jet set willy\r\nControl=Kempston\r\n\r\n");
}

TEST(AddSnapshots, FolderAlwaysEndsWithOneSeparator) {
    SettingsFile settings;
    Catalogue catalogue;
    catalogue.addSnapshots({"/root.sna", "here.sna"}, settings, "Kempston");
    EXPECT_EQ(catalogue.rows()[0].folder, "./");
    EXPECT_EQ(catalogue.rows()[1].folder, "/");
}

TEST(AddSnapshots, LongSectionKeyIsCutForTheNameOnly) {
    SettingsFile settings;
    Catalogue catalogue;
    catalogue.addSnapshots({"/a/twenty characters.sna"}, settings, "Kempston");
    EXPECT_EQ(catalogue.rows()[0].displayName, "twenty characte");
    EXPECT_EQ(settings.read("twenty characters", "Filename", ""), "twenty characte");
}

TEST(AddSnapshots, StoredNameAndSchemeComeBackAndSharedSectionsAreShared) {
    auto settings = SettingsFile::fromText("[game]\nFilename=My Game\nControl=Custom\n");
    Catalogue catalogue;
    catalogue.addSnapshots({"/a/GAME.sna", "/b/game.z80"}, settings, "Kempston");
    ASSERT_EQ(catalogue.size(), 2U);
    for (const auto& row : catalogue.rows()) {
        EXPECT_EQ(row.displayName, "My Game");
        EXPECT_EQ(row.scheme, "Custom");
    }
    EXPECT_EQ(catalogue.rows()[0].fileName, "game.sna"); // equal names keep their order
    EXPECT_EQ(catalogue.rows()[1].fileName, "game.z80");
    EXPECT_EQ(settings.sectionNames(), std::vector<std::string>{"game"});
}

TEST(AddSnapshots, ListIsSortedStablyAcrossBatches) {
    std::setlocale(LC_ALL, "C");
    SettingsFile settings;
    Catalogue catalogue;
    catalogue.addSnapshots({"/a/zeta.sna", "/a/alpha.sna"}, settings, "Kempston");
    catalogue.rename(0, "omega", settings); // no re-sort on rename
    EXPECT_EQ(displayNames(catalogue), (std::vector<std::string>{"omega", "zeta"}));
    catalogue.addSnapshots({"/b/beta.z80", "/b/zeta.z80"}, settings, "Kempston");
    EXPECT_EQ(displayNames(catalogue), (std::vector<std::string>{"beta", "omega", "zeta", "zeta"}));
    EXPECT_EQ(catalogue.rows()[2].folder, "/a/");
    EXPECT_EQ(catalogue.rows()[3].folder, "/b/");
}

TEST(CatalogueEdits, RenameCutsAndWritesFilename) {
    SettingsFile settings;
    Catalogue catalogue;
    catalogue.addSnapshots({"/a/game.sna"}, settings, "Kempston");
    catalogue.rename(0, "A Much Longer Game Name", settings);
    EXPECT_EQ(catalogue.rows()[0].displayName, "A Much Longer G");
    EXPECT_EQ(settings.read("game", "Filename", ""), "A Much Longer G");
    catalogue.rename(0, "Caf\xC3\xA9 de la Gar\xC3\xA9", settings); // cut inside the last "é"
    EXPECT_EQ(catalogue.rows()[0].displayName, "Caf\xC3\xA9 de la Gar");
}

TEST(CatalogueEdits, PresetReplacesCustomKeysOfTheSelectedRowsOnly) {
    std::string custom = "Control=Custom\n";
    for (auto slot : kSlotDeleteOrder)
        custom += std::string(slot) + "=A\n";
    auto settings = SettingsFile::fromText("[a]\n" + custom + "[b]\n" + custom + "[c]\n" + custom);
    Catalogue catalogue;
    catalogue.addSnapshots({"/x/a.sna", "/x/b.sna", "/x/c.sna"}, settings, "Kempston");
    catalogue.applyPreset({2, 0, 2}, "Cursor", settings);
    EXPECT_EQ(catalogue.rows()[0].scheme, "Cursor");
    EXPECT_EQ(catalogue.rows()[1].scheme, "Custom");
    EXPECT_EQ(catalogue.rows()[2].scheme, "Cursor");
    for (auto slot : kSlotDeleteOrder) {
        EXPECT_FALSE(settings.keyExists("a", slot)) << slot;
        EXPECT_TRUE(settings.keyExists("b", slot)) << slot;
        EXPECT_FALSE(settings.keyExists("c", slot)) << slot;
    }
    EXPECT_EQ(settings.read("a", "Control", ""), "Cursor");
    EXPECT_EQ(settings.read("c", "Filename", ""), "c");
}

TEST(CatalogueEdits, ABlankNameIsRefusedAndTheOldOneStays) {
    SettingsFile settings;
    Catalogue catalogue;
    catalogue.addSnapshots({"/x/game.sna"}, settings, "K");
    EXPECT_FALSE(catalogue.rename(0, "", settings));
    EXPECT_EQ(catalogue.rows()[0].displayName, "game");
    EXPECT_EQ(settings.read("game", "Filename", ""), "game");
    EXPECT_TRUE(catalogue.rename(0, " ", settings)); // spaces are a name, as in Configure
    EXPECT_EQ(catalogue.rows()[0].displayName, " ");
}

TEST(CatalogueEdits, RemoveTakesEverySelectedRow) {
    SettingsFile settings;
    Catalogue catalogue;
    catalogue.addSnapshots({"/x/a.sna", "/x/b.sna", "/x/c.sna", "/x/d.sna"}, settings, "K");
    catalogue.removeRows({3, 1, 1, 9});
    EXPECT_EQ(displayNames(catalogue), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(settings.sectionNames().size(), 4U);
}

// Names are held in lower case, but the row keeps the very file that was picked: Game.sna added
// beside game.sna packs Game.sna.
TEST(SnapshotPath, IsTheFilePickedEvenBesideOneThatDiffersInCase) {
    TempDir dir;
    writeText(dir.path() / "game.sna", "lower");
    writeText(dir.path() / "Game.sna", "picked");
    SettingsFile settings;
    Catalogue catalogue;
    catalogue.addSnapshots({dir.path() / "Game.sna", dir.path() / "game.sna"}, settings, "K");
    ASSERT_EQ(catalogue.size(), 2U);
    EXPECT_EQ(catalogue.rows()[0].fileName, "game.sna");
    EXPECT_EQ(catalogue.rows()[0].snapshotPath(), dir.path() / "Game.sna");
    EXPECT_EQ(catalogue.rows()[1].snapshotPath(), dir.path() / "game.sna");
    SnapshotLocator locator;
    EXPECT_EQ(locator.pathOf(catalogue.rows()[0]), dir.path() / "Game.sna");
    // Gone since it was added: the picked name stays, so the build says which file is missing.
    std::filesystem::remove(dir.path() / "Game.sna");
    EXPECT_EQ(catalogue.rows()[0].snapshotPath(), dir.path() / "Game.sna");
}

// Rows known by their lower-case name alone are looked up in one listing per folder; it finds
// what findSnapshotFile finds, the first in name order among names equal but for case.
TEST(SnapshotPath, TheLocatorFindsWhatTheSingleLookupFinds) {
    TempDir dir;
    for (const char* name : {"b.SNA", "B.sna", "c.Z80", "exact.sna", "Exact.sna"})
        writeText(dir.path() / name, name);
    SnapshotLocator locator;
    for (const char* lower : {"b.sna", "c.z80", "exact.sna", "gone.sna"}) {
        const CatalogueEntry entry{"x", "K", lower, dir.str() + "/"};
        EXPECT_EQ(locator.pathOf(entry), findSnapshotFile(dir.path(), lower)) << lower;
    }
    EXPECT_EQ(locator.pathOf({"x", "K", "b.sna", dir.str() + "/"}), dir.path() / "B.sna");
    EXPECT_EQ(locator.pathOf({"x", "K", "a.sna", dir.str() + "/none/"}),
              dir.path() / "none" / "a.sna");
}

// A line break in a name would start a line of its own in TPL.INI (a section header at the next
// load, renaming a neighbour's entry); blanks around a section key are trimmed away when read.
TEST(AddSnapshots, NamesTplIniCannotKeepAreRefusedAndReturned) {
    SettingsFile settings;
    settings.write("neighbour", "Filename", "Neighbour");
    Catalogue catalogue;
    const std::vector<std::filesystem::path> bad = {
        "/a/evil\n[neighbour].sna", "/a/cr\r.sna", "/a/ lead.sna", "/a/trail .z80", "/a/tab\t.sna",
        "/line\nbreak/ok.sna"};
    std::vector<std::filesystem::path> files = bad;
    files.insert(files.begin() + 2, "/a/fine name.sna");
    files.push_back("/a/in side.sna");
    EXPECT_EQ(catalogue.addSnapshots(files, settings, "K"), bad);
    EXPECT_EQ(displayNames(catalogue), (std::vector<std::string>{"fine name", "in side"}));
    EXPECT_EQ(settings.sectionNames(),
              (std::vector<std::string>{"neighbour", "fine name", "in side"}));
    EXPECT_EQ(SettingsFile::fromText(settings.toText()).read("neighbour", "Filename", ""),
              "Neighbour");
    const std::string text = refusedFilesText({"/a/evil\n[neighbour].sna"});
    EXPECT_EQ(text.substr(text.find('\r')), "\r/a/evil?[neighbour].sna");
}

TEST(SnapshotPath, FindsAFileWhoseNameHasCapitals) {
    TempDir dir;
    writeText(dir.path() / "Manic Miner.Z80", "z");
    auto found = findSnapshotFile(dir.path(), "manic miner.z80");
    EXPECT_EQ(found, dir.path() / "Manic Miner.Z80");
    writeText(dir.path() / "manic miner.z80", "exact");
    EXPECT_EQ(findSnapshotFile(dir.path(), "manic miner.z80"), dir.path() / "manic miner.z80");
    EXPECT_EQ(findSnapshotFile(dir.path(), "gone.sna"), dir.path() / "gone.sna");
    EXPECT_EQ(findSnapshotFile(dir.path() / "no folder", "a.sna"),
              dir.path() / "no folder" / "a.sna");
}

TEST(OpenSession, StartsFromAMissingFileWithDefaults) {
    TempDir dir;
    Session session = openSession(dir.path());
    EXPECT_EQ(session.settings.path(), dir.path() / "TPL.INI");
    EXPECT_EQ(session.defaultScheme, "Kempston");
    EXPECT_TRUE(session.presets.empty());
    EXPECT_EQ(session.homepage, "");
    EXPECT_EQ(session.settings.toText(), "[TPL]\r\nVersion=1.0.1.0\r\n\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "TPL.INI")); // written at close only
}

TEST(OpenSession, PresetListStopsAtTheFirstMissingOrEmptyName) {
    TempDir dir;
    writeText(dir.path() / "TPL.INI", "[Control Defaults]\nDefault0n=Cursor\nDefault0=Kempston\n"
                                      "Default1=Cursor\nDefault2=\nDefault3=Sinclair\n"
                                      "[Homepage]\nURL=https://example.org\n[TPL]\nVersion=0.9\n");
    Session session = openSession(dir.path());
    EXPECT_EQ(session.defaultScheme, "Cursor");
    EXPECT_EQ(session.presets, (std::vector<std::string>{"Kempston", "Cursor"}));
    EXPECT_EQ(session.homepage, "https://example.org");
    EXPECT_EQ(session.settings.read("TPL", "Version", ""), "1.0.1.0");
}

} // namespace
} // namespace tapeloom
