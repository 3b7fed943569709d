#include "errors.h"
#include "text.h"

#include <gtest/gtest.h>

namespace tapeloom {
namespace {

TEST(NameField, CutsAtTheByteLimitAndFillsWithSpaces) {
    EXPECT_EQ(nameField("MANIC", 15), "MANIC          ");
    EXPECT_EQ(nameField("exactly15chars!", 15), "exactly15chars!");
    EXPECT_EQ(nameField("sixteen chars!!!", 15), "sixteen chars!!");
    EXPECT_EQ(nameField("", 3), "   ");
}

// "é" is two bytes in UTF-8: a cut through it moves back to its first byte.
TEST(NameField, NeverSplitsAUtf8Character) {
    EXPECT_EQ(cutName("abcdefghijklmn\xC3\xA9", 15), "abcdefghijklmn");
    EXPECT_EQ(nameField("abcdefghijklmn\xC3\xA9", 15), "abcdefghijklmn ");
    EXPECT_EQ(cutName("abcdefghijklm\xC3\xA9x", 15), "abcdefghijklm\xC3\xA9");
    EXPECT_EQ(cutName("abcdefghijklm\xE2\x82\xAC", 15), "abcdefghijklm"); // euro sign
    EXPECT_EQ(cutName("abcdefghijk\xF0\x9F\x98\x80xx", 15), "abcdefghijk\xF0\x9F\x98\x80");
}

// Bytes of a single-byte code page are not UTF-8; they are cut exactly.
TEST(NameField, CutsOtherBytesExactly) {
    EXPECT_EQ(cutName("abcdefghijklmn\xE9\xE9", 15), "abcdefghijklmn\xE9");
    EXPECT_EQ(cutName(std::string(20, '\x80'), 15), std::string(15, '\x80'));
    EXPECT_EQ(cutName("abcdefghijklmn\xC3z\xA9", 15), "abcdefghijklmn\xC3");
}

TEST(AsciiCase, ChangesOnlyTheLettersAToZ) {
    EXPECT_EQ(asciiLower("Jet SET \xC9t\xC9.Z80"), "jet set \xC9t\xC9.z80");
    EXPECT_EQ(asciiUpper(".sNa"), ".SNA");
    EXPECT_TRUE(equalsIgnoringCase("Control Defaults", "control defaults"));
    EXPECT_FALSE(equalsIgnoringCase("\xC9", "\xE9"));
}

TEST(ErrorReport, AddsAFullStopOnlyAfterCharactersAboveIt) {
    EXPECT_EQ(errorReportText("Cannot open file /a/b.sna"), "Cannot open file /a/b.sna.");
    EXPECT_EQ(errorReportText("Stream write error"), "Stream write error.");
    EXPECT_EQ(errorReportText("Done."), "Done.");
    EXPECT_EQ(errorReportText("Oops!"), "Oops!");  // '!' is below '.'
    EXPECT_EQ(errorReportText("path/"), "path/."); // '/' is above '.'
    EXPECT_EQ(errorReportText(""), "");
}

TEST(ErrorReport, TitleIsTheExecutableNameUpToItsFirstDot) {
    EXPECT_EQ(applicationTitle("/usr/bin/tapeloom"), "Tapeloom");
    EXPECT_EQ(applicationTitle("TPL.EXE"), "Tpl");
    EXPECT_EQ(applicationTitle("./tapeloom-cli.old.bin"), "Tapeloom-cli");
}

TEST(FileErrors, CarryTheExactTexts) {
    EXPECT_STREQ(FileError::cannotCreate("/x/tpl.gba").what(), "Cannot create file /x/tpl.gba");
    EXPECT_STREQ(FileError::cannotOpen("/x/a.sna").what(), "Cannot open file /x/a.sna");
    EXPECT_STREQ(FileError::streamWrite().what(), "Stream write error");
    EXPECT_STREQ(FileError::streamRead().what(), "Stream read error");
}

} // namespace
} // namespace tapeloom
