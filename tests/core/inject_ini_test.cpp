#include "inject_ini.h"

#include "errors.h"
#include "files.h"
#include "inject_records.h"
#include "settings_file.h"

#include <gtest/gtest.h>

#include <string>

using namespace tapeloom;
using namespace tapeloom::test;

namespace {

struct ImportRun {
    ImportResult result;
    std::string report;
};

ImportRun runImport(SettingsFile& settings, const Bytes& bytes, bool update, bool add) {
    const ImportOptions options{update, add};
    const ImportResult result = importInjectRecords(parseInjectFile(bytes), settings, options);
    return {result, importReport(result, options)};
}

} // namespace

TEST(InjectKeyGroups, TranslationTables) {
    EXPECT_EQ(injectKeyName({2, 7, 2}), "SYM SHIFT");
    EXPECT_EQ(injectKeyName({2, 0, 1}), "SHIFT");
    EXPECT_EQ(injectKeyName({2, 6, 16}), "H");
    EXPECT_EQ(injectKeyName({2, 4, 1}), "0");
    EXPECT_EQ(injectKeyName({1, 31, 16}), "JOY FIRE");
    EXPECT_EQ(injectKeyName({1, 31, 32}), "JOY FIRE 2");
    EXPECT_EQ(injectKeyName({1, 31, 1}), "JOY RIGHT");
    EXPECT_EQ(injectKeyName({1, 31, 3}), "<unassigned>");
    EXPECT_EQ(injectKeyName({1, 30, 1}), "<unassigned>");
    EXPECT_EQ(injectKeyName({2, 8, 1}), "<unassigned>");
    EXPECT_EQ(injectKeyName({2, 3, 32}), "<unassigned>"); // keyboard has five columns
    EXPECT_EQ(injectKeyName({2, 3, 0}), "<unassigned>");
    EXPECT_EQ(injectKeyName({3, 3, 1}), "<unassigned>");
}

TEST(InjectSectionKey, FileNamePartLoweredWithBracesForBrackets) {
    EXPECT_EQ(injectSectionKey("C:\\Games\\Ball Game [a].Z80"), "ball game {a}");
    EXPECT_EQ(injectSectionKey("D:GAME.SNA"), "game");
    EXPECT_EQ(injectSectionKey("GAME.SNA"), "game");
    EXPECT_EQ(injectSectionKey("games/Jet.Set.Willy.z80"), "jet.set.willy");
    EXPECT_EQ(injectSectionKey("C:\\dir.v2\\NOEXT"), "noext");
    EXPECT_EQ(injectSectionKey("C:\\G\\\xC9LITE.Z80"), "\xC9lite"); // only A-Z are lowered
    EXPECT_EQ(injectSectionKey(""), "");
    EXPECT_EQ(injectSectionKey("C:\\games\\.z80"), "");
}

TEST(InjectSectionKey, BytesThatWouldBreakTheSettingsFileAreMended) {
    EXPECT_EQ(injectSectionKey("C:\\x\\a\r\n[evil]\r\nb.z80"), "a  {evil}  b");
    EXPECT_EQ(injectSectionKey("C:\\x\\ \tpadded \x01.z80"), "padded");
    EXPECT_EQ(mendIniText("Na\nme"), "Na me");
    EXPECT_EQ(mendIniText("  \x7F"), "\x7F");
}

TEST(InjectFileReader, RecordsNamesAndTruncation) {
    const Bytes bytes = joined({injectRecord("C:\\A\\SEVEN.Z80", std::string("Seven77\0", 8)),
                                injectRecord("C:\\A\\EIGHT.SNA", "Eight888"),
                                injectRecord("C:\\A\\ZERO.SNA", std::string("ab\0cdefg", 8))});
    InjectFile file = parseInjectFile(bytes);
    ASSERT_EQ(file.records.size(), 3u);
    EXPECT_EQ(file.recordCount, 3u);
    EXPECT_EQ(file.records[0].name, "Seven77");
    EXPECT_EQ(file.records[1].name, "Eight888");
    EXPECT_EQ(file.records[2].name, "ab");
    EXPECT_EQ(file.records[1].sectionKey, "eight");

    // A path field with a zero byte ends the path there.
    Bytes zeroInPath = injectRecord(std::string("C:\\OK.Z80\0junk", 14), "n");
    EXPECT_EQ(parseInjectFile(zeroInPath).records.at(0).sectionKey, "ok");

    // The last record cut short: counted, not read.
    for (std::size_t cut : {1u, 2u, 3u, 10u, 90u}) {
        Bytes shortFile = joined({injectRecord("C:\\A.Z80", "a"), injectRecord("C:\\B.Z80", "b")});
        shortFile.resize(shortFile.size() - injectRecord("C:\\B.Z80", "b").size() + cut);
        file = parseInjectFile(shortFile);
        EXPECT_EQ(file.records.size(), 1u) << cut;
        EXPECT_EQ(file.recordCount, 2u) << cut;
    }
    // A path length pointing far past the end.
    Bytes huge = {0, 0xFF, 0xFF, 'x'};
    EXPECT_EQ(parseInjectFile(huge).records.size(), 0u);
}

TEST(InjectImport, WritesTheTwelveKeysInOrder) {
    std::array<InjectKeyGroup, 10> groups{};
    groups[0] = {2, 0, 2};   // Back Left: Z
    groups[1] = {2, 0, 4};   // Back Right: X
    groups[2] = {1, 31, 4};  // DPad Down
    groups[3] = {1, 31, 8};  // DPad Up
    groups[4] = {1, 31, 2};  // DPad Left
    groups[5] = {1, 31, 1};  // DPad Right
    groups[6] = {2, 7, 1};   // unused: Start stays unassigned
    groups[7] = {2, 6, 1};   // Select: ENTER
    groups[8] = {2, 7, 1};   // Button B: SPACE
    groups[9] = {1, 31, 16}; // Button A
    SettingsFile settings;
    const ImportRun run =
        runImport(settings, injectRecord("C:\\G\\Ball Game [a].Z80", "Ball", groups), false, true);
    EXPECT_EQ(run.result.added, 1);
    EXPECT_EQ(settings.toText(), "[ball game {a}]\r\n"
                                 "Filename=Ball\r\n"
                                 "Control=Custom\r\n"
                                 "Back Left=Z\r\n"
                                 "Back Right=X\r\n"
                                 "DPad Left=JOY LEFT\r\n"
                                 "DPad Right=JOY RIGHT\r\n"
                                 "DPad Up=JOY UP\r\n"
                                 "DPad Down=JOY DOWN\r\n"
                                 "Select=ENTER\r\n"
                                 "Start=<unassigned>\r\n"
                                 "Button A=JOY FIRE\r\n"
                                 "Button B=SPACE\r\n"
                                 "\r\n");
}

TEST(InjectImport, ReportsAndCheckBoxes) {
    SettingsFile settings =
        SettingsFile::fromText("[one]\r\nFilename=Old\r\nControl=Kempston\r\nX=keep\r\n"
                               "[two]\r\nFilename=Two\r\n[empty]\r\n");
    const Bytes bytes =
        joined({injectRecord("C:\\ONE.Z80", "One"), injectRecord("C:\\TWO.Z80", "Two"),
                injectRecord("C:\\EMPTY.Z80", "E"), injectRecord("C:\\NEW.Z80", "N"),
                injectRecord("C:\\NEW2.SNA", "N2")});
    // Empty file with the boxes as at start.
    EXPECT_EQ(runImport(settings, {}, false, true).report, "Import complete!\r0 entries added.");

    SettingsFile onlyUpdate = settings;
    EXPECT_EQ(runImport(onlyUpdate, bytes, true, false).report,
              "Import complete!\r2 entries updated.");
    EXPECT_FALSE(onlyUpdate.sectionExists("new"));
    EXPECT_EQ(onlyUpdate.read("one", "Filename", ""), "One");
    EXPECT_EQ(onlyUpdate.read("one", "Control", ""), "Custom");
    EXPECT_EQ(onlyUpdate.read("one", "X", ""), "keep");

    SettingsFile both = settings;
    EXPECT_EQ(runImport(both, bytes, true, true).report,
              "Import complete!\r2 entries updated.\r3 entries added.");
    EXPECT_EQ(both.read("empty", "Filename", ""), "E"); // a section without keys is new

    SettingsFile onlyAdd = settings;
    EXPECT_EQ(runImport(onlyAdd, bytes, false, true).report, "Import complete!\r3 entries added.");
    EXPECT_EQ(onlyAdd.read("one", "Filename", ""), "Old");
}

TEST(InjectImport, DuplicateSectionKeysInOneFile) {
    const Bytes bytes = joined(
        {injectRecord("C:\\A\\Game.z80", "First"), injectRecord("D:\\B\\GAME.SNA", "Second")});
    SettingsFile addOnly;
    EXPECT_EQ(runImport(addOnly, bytes, false, true).report, "Import complete!\r1 entries added.");
    EXPECT_EQ(addOnly.read("game", "Filename", ""), "First");
    SettingsFile both;
    EXPECT_EQ(runImport(both, bytes, true, true).report,
              "Import complete!\r1 entries updated.\r1 entries added.");
    EXPECT_EQ(both.read("game", "Filename", ""), "Second");
}

TEST(InjectImport, UnusableRecordsAreSkippedAndReported) {
    Bytes bytes = joined({injectRecord("", "NoPath"), injectRecord("C:\\dir\\.z80", "NoName"),
                          injectRecord("C:\\OK.Z80", "Ok"), injectRecord("C:\\CUT.Z80", "Cut")});
    bytes.resize(bytes.size() - 5);
    int maximum = -1, steps = 0;
    SettingsFile settings;
    const ImportOptions options{true, true};
    const ImportResult result = importInjectRecords(
        parseInjectFile(bytes), settings, options, {[&](int m) { maximum = m; }, [&] { ++steps; }});
    EXPECT_EQ(result.added, 1);
    EXPECT_EQ(result.skipped, 3);
    EXPECT_EQ(maximum, 4);
    EXPECT_EQ(steps, 4);
    EXPECT_EQ(settings.sectionNames(), std::vector<std::string>{"ok"});
    EXPECT_EQ(importReport(result, options),
              "Import complete!\r0 entries updated.\r1 entries added.\r3 entries skipped.");
}

TEST(InjectImport, HostileNamesCannotAddLinesOrSections) {
    const Bytes bytes = joined({injectRecord("C:\\x\\a]\r\n[Settings.z80", "n\r\n[X]"),
                                injectRecord("C:\\x\\b.z80", "\r\nLastDir")});
    SettingsFile settings;
    runImport(settings, bytes, true, true);
    const std::string text = settings.toText();
    const SettingsFile reread = SettingsFile::fromText(text);
    EXPECT_EQ(reread.sectionNames(), (std::vector<std::string>{"a}  {settings", "b"}));
    EXPECT_EQ(reread.read("a}  {settings", "Filename", ""), "n  [X]"); // a value may hold brackets
    EXPECT_EQ(reread.read("b", "Filename", "?"), "LastDi");
    EXPECT_FALSE(reread.sectionExists("settings"));
}

TEST(InjectImport, FileIsReadAndSettingsSavedOnce) {
    TempDir dir;
    const auto ini = dir.path() / "INJECT.INI";
    writeFile(ini, injectRecord("C:\\G.Z80", "G"));
    SettingsFile settings = SettingsFile::open(dir.path() / "TPL.INI");
    const ImportResult result = importInjectIni(ini, settings, {}, {});
    EXPECT_EQ(result.added, 1);
    EXPECT_EQ(SettingsFile::open(dir.path() / "TPL.INI").read("g", "Filename", ""), "G");

    const auto missing = dir.path() / "nope" / "INJECT.INI";
    try {
        importInjectIni(missing, settings, {}, {});
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing.string());
    }
}
