// Where the snapshots of loaded tapes go: named after the tape in lower case, the same file
// when it is the same snapshot, never over a different file (a user's, or an older load).
#include "tape_snapshots.h"

#include "errors.h"
#include "files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace tapeloom;
using tapeloom::test::Bytes;

TEST(TapeSnapshots, TapesAreKnownByTheirExtensionInAnyCase) {
    for (const char* name : {"a.tap", "B.TZX", "c.Tap", "/x/y.tZx"})
        EXPECT_TRUE(isTapeFile(name)) << name;
    for (const char* name : {"a.z80", "tap", "a.tap.z80", ".tap", "a.taps"})
        EXPECT_FALSE(isTapeFile(name)) << name;
}

TEST(TapeSnapshots, NeverReplaceAFileAndReuseAnEqualOne) {
    test::TempDir dir;
    const auto folder = tapeSnapshotFolder(dir.path());
    const Bytes first{1, 2, 3}, second{4, 5};
    // The folder is made; the name is the tape's, in lower case.
    auto stored = storeTapeSnapshot(folder, "/tapes/Jet Set.TZX", first);
    EXPECT_EQ(stored, folder / "jet set.z80");
    EXPECT_EQ(test::readFile(stored), first);
    // The same snapshot again is the same file.
    EXPECT_EQ(storeTapeSnapshot(folder, "jet set.tap", first), stored);
    // Another one goes beside it; a file of the user's in the way is skipped too.
    test::writeFile(folder / "jet set-2.z80", Bytes{9});
    ::mkdir((folder / "jet set-3.z80").c_str(), 0755);
    auto other = storeTapeSnapshot(folder, "Jet Set.tap", second);
    EXPECT_EQ(other, folder / "jet set-4.z80");
    EXPECT_EQ(test::readFile(stored), first);
    EXPECT_EQ(test::readFile(folder / "jet set-2.z80"), Bytes{9});
    EXPECT_EQ(test::readFile(other), second);
    // No scratch files are left behind.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++files;
    EXPECT_EQ(files, 4u);
}

TEST(TapeSnapshots, NewFilesKeepWhatIsThereUnlessToldToReplaceIt) {
    test::TempDir dir;
    const auto path = dir.path() / "out.z80";
    writeNewFile(path, Bytes{1}, false);
    EXPECT_EQ(test::readFile(path), Bytes{1});
    EXPECT_THROW(writeNewFile(path, Bytes{2}, false), FileError);
    EXPECT_EQ(test::readFile(path), Bytes{1});
    writeNewFile(path, Bytes{3}, true);
    EXPECT_EQ(test::readFile(path), Bytes{3});
    EXPECT_THROW(writeNewFile(dir.path() / "missing" / "out.z80", Bytes{1}, true), FileError);
    EXPECT_THROW(storeTapeSnapshot(path / "below-a-file", "a.tap", Bytes{1}), FileError);
}
