// "Create TPL" from the window: messages, the replace question, the warning, the progress bar,
// the image, and a window that stays alive (Cancel, Exit) while a build runs.
#include "data_items.h"
#include "snapshots.h"
#include "window_fixture.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

namespace {

QStringList filesBelow(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    found.sort();
    return found;
}

// A real snapshot's bytes for a file name.
QByteArray snapshotBytes(const QString& name, unsigned seed) {
    const auto bytes = tapeloom::test::snapshotFor(toStd(name), seed);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

const std::string kKeyedPreset = "[Control_Kempston]\nButton A=JOY FIRE\n";

} // namespace

class CreateTest : public WindowTest {
  protected:
    // Adds real snapshots (not the fixture's stand-in bytes) through the Add button.
    void addSnapshots(const QStringList& relativePaths) {
        QStringList files;
        unsigned seed = 0;
        for (const QString& relative : relativePaths)
            files.append(makeFile(relative, snapshotBytes(relative, ++seed)));
        prompts_.fileChoices.push_back(files);
        find<QPushButton>("Add")->click();
    }
};

TEST_F(CreateTest, EmptyCatalogueWithoutPogoshellShowsTwoMessagesAndWritesNothing) {
    open();
    const QStringList before = filesBelow(temp_.path());
    find<QPushButton>("Create")->click();
    ASSERT_EQ(prompts_.messages.size(), 2u);
    EXPECT_EQ(prompts_.messages[0].caption, "Warning");
    EXPECT_EQ(prompts_.messages[0].text,
              "No ROMS selected!\rThis will create a PogoShell resource.");
    EXPECT_EQ(prompts_.messages[0].icon, Prompts::Icon::None);
    EXPECT_EQ(prompts_.messages[1].caption, "ERROR!");
    EXPECT_EQ(prompts_.messages[1].text, "You have not setup a path for this binary!\rPlease "
                                         "check the Options-->Settings menu option.");
    EXPECT_EQ(prompts_.messages[1].buttons, Prompts::Buttons::Ok);
    EXPECT_EQ(prompts_.messages[1].icon, Prompts::Icon::Warning);
    EXPECT_TRUE(prompts_.errors.isEmpty());
    EXPECT_EQ(filesBelow(temp_.path()), before);
}

TEST_F(CreateTest, DeclinedReplaceLeavesTheImageAndAcceptedReplaceRewritesIt) {
    const QString out = path("out");
    QDir().mkpath(out);
    writeSettings(kKeyedPreset + "[Settings]\nTPLBinary=" + toStd(out) + "\n");
    const QByteArray old("an older image, longer than nothing at all");
    makeFile("out/tpl.gba", old);
    open();
    addSnapshots({"g/game.sna"});
    find<QProgressBar>("ProgressBar1")->setValue(37);

    find<QPushButton>("Create")->click();
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_EQ(prompts_.messages[0].text, "TPL binary already exists.\rReplace?");
    EXPECT_EQ(prompts_.messages[0].buttons, Prompts::Buttons::YesNo);
    EXPECT_EQ(prompts_.messages[0].icon, Prompts::Icon::Warning);
    EXPECT_EQ(readWhole(out + "/tpl.gba"), old);
    EXPECT_EQ(find<QProgressBar>("ProgressBar1")->value(), 37);

    prompts_.answers.push_back(Prompts::Answer::Yes);
    find<QPushButton>("Create")->click();
    ASSERT_EQ(prompts_.messages.size(), 3u);
    EXPECT_EQ(prompts_.messages[2].caption, "TPL");
    EXPECT_EQ(prompts_.messages[2].text, "TPL binary created. Have fun!");
    EXPECT_EQ(find<QProgressBar>("ProgressBar1")->maximum(), 2);
    EXPECT_EQ(find<QProgressBar>("ProgressBar1")->value(), 0);
    const QByteArray image = readWhole(out + "/tpl.gba");
    const auto emulator = tapeloom::findDataItem("tpl");
    ASSERT_TRUE(emulator.has_value());
    ASSERT_GT(image.size(), static_cast<qsizetype>(emulator->size()));
    EXPECT_TRUE(image.startsWith(QByteArray(reinterpret_cast<const char*>(emulator->data()),
                                            static_cast<qsizetype>(emulator->size()))));
    EXPECT_TRUE(image.endsWith(readWhole(path("g/game.sna"))));
    EXPECT_EQ(filesBelow(out), QStringList{out + "/tpl.gba"});
}

TEST_F(CreateTest, FileErrorsGoToTheGeneralErrorReportAndTheOldImageStays) {
    writeSettings(kKeyedPreset + "[Settings]\nTPLBinary=" + toStd(path("missing/deeper")) + "\n");
    open();
    addSnapshots({"g/game.sna"});
    find<QPushButton>("Create")->click();
    ASSERT_EQ(prompts_.errors.size(), 1);
    EXPECT_EQ(prompts_.errors[0], "Cannot create file " + path("missing/deeper") + "/tpl.gba");

    // A snapshot that vanished after it was added: the image there before is kept whole.
    window_->session().settings.write("Settings", "TPLBinary", toStd(path("g")));
    makeFile("g/tpl.gba", "the old image");
    QFile::remove(path("g/game.sna"));
    prompts_.answers.push_back(Prompts::Answer::Yes);
    find<QPushButton>("Create")->click();
    ASSERT_EQ(prompts_.errors.size(), 2);
    EXPECT_EQ(prompts_.errors[1], "Cannot open file " + path("g/game.sna"));
    EXPECT_EQ(readWhole(path("g/tpl.gba")), "the old image");
    EXPECT_EQ(filesBelow(path("g")), QStringList{path("g/tpl.gba")});
    EXPECT_TRUE(find<QPushButton>("Add")->isEnabled());
}

TEST_F(CreateTest, CatalogueWithoutDestinationGoesToTheCurrentDirectory) {
    writeSettings(kKeyedPreset);
    open();
    addSnapshots({"picked/Game.SNA"});
    find<QPushButton>("Create")->click();
    // The Add dialog moved the current directory to the folder it picked from.
    EXPECT_TRUE(prompts_.errors.isEmpty()) << prompts_.errors.join(", ").toStdString();
    EXPECT_TRUE(readWhole(path("picked/tpl.gba")).endsWith(readWhole(path("picked/Game.SNA"))));
    EXPECT_FALSE(QFile::exists(startFolder_ + "/tpl.gba"));
}

// The row shows the lower-case name, but packs the very file that was picked.
TEST_F(CreateTest, TheFilePickedIsPackedEvenBesideOneDifferingInCase) {
    writeSettings(kKeyedPreset + "[Settings]\nTPLBinary=" + toStd(path("g")) + "\n");
    makeFile("g/game.sna", snapshotBytes("game.sna", 50));
    open();
    addSnapshots({"g/Game.sna"});
    ASSERT_EQ(cell(0, 2), "game.sna");
    find<QPushButton>("Create")->click();
    const QByteArray image = readWhole(path("g/tpl.gba"));
    EXPECT_TRUE(image.endsWith(readWhole(path("g/Game.sna"))));
    EXPECT_FALSE(image.endsWith(readWhole(path("g/game.sna"))));
}

// Entries that will not work (here: no keys, in a fresh folder) are named in one question
// before anything is written; No leaves everything as it was.
TEST_F(CreateTest, TheWarningBeforeWritingLetsTheUserStop) {
    open();
    addSnapshots({"g/game.sna"});
    makeFile("g/tpl.gba", "the old image");
    prompts_.answers = {Prompts::Answer::Yes, Prompts::Answer::No};
    find<QPushButton>("Create")->click();
    ASSERT_EQ(prompts_.messages.size(), 2u);
    EXPECT_EQ(prompts_.messages[1].caption, "Warning");
    EXPECT_EQ(prompts_.messages[1].buttons, Prompts::Buttons::YesNo);
    EXPECT_TRUE(prompts_.messages[1].text.contains("    game (game.sna)\r"));
    EXPECT_TRUE(prompts_.messages[1].text.endsWith("Create the image all the same?"));
    EXPECT_EQ(readWhole(path("g/tpl.gba")), "the old image");

    prompts_.answers = {Prompts::Answer::Yes, Prompts::Answer::Yes};
    find<QPushButton>("Create")->click();
    EXPECT_EQ(prompts_.messages.back().text, "TPL binary created. Have fun!");
}

// While a build runs the window answers: it repaints, "Create TPL" reads "Cancel", and nothing
// that could change the catalogue or the settings can be used. Cancel stops the build and
// leaves the old image whole.
TEST_F(CreateTest, CancelDuringABuildKeepsTheOldImage) {
    writeSettings(kKeyedPreset + "[Settings]\nTPLBinary=" + toStd(path("g")) + "\n");
    open();
    addSnapshots({"g/a.sna", "g/b.sna", "g/c.sna"});
    makeFile("g/tpl.gba", "the old image");
    prompts_.answers = {Prompts::Answer::Yes};
    QPushButton* create = find<QPushButton>("Create");
    bool seen = false;
    QTimer::singleShot(0, window_.get(), [&] {
        seen = true;
        EXPECT_EQ(create->text(), "Cancel");
        EXPECT_TRUE(create->isEnabled());
        EXPECT_FALSE(find<QPushButton>("Add")->isEnabled());
        EXPECT_FALSE(find<QTableView>("ListView1")->isEnabled());
        EXPECT_FALSE(find<QAction>("Settings1")->isEnabled());
        EXPECT_FALSE(find<QAction>("ImportTarnINI1")->isEnabled());
        EXPECT_FALSE(find<QAction>("AddROM1")->isEnabled());
        EXPECT_TRUE(find<QAction>("Exit1")->isEnabled());
        emit find<QMenu>("File1")->aboutToShow(); // opening the File menu changes nothing
        EXPECT_FALSE(find<QAction>("DeleteROM1")->isEnabled());
        EXPECT_FALSE(find<QAction>("ConfigureROM1")->isEnabled());
        create->click();
    });
    create->click();
    EXPECT_TRUE(seen);
    EXPECT_EQ(readWhole(path("g/tpl.gba")), "the old image");
    EXPECT_EQ(filesBelow(path("g")),
              (QStringList{path("g/a.sna"), path("g/b.sna"), path("g/c.sna"), path("g/tpl.gba")}));
    EXPECT_EQ(prompts_.messages.size(), 1u); // the replace question; no "Have fun!"
    EXPECT_TRUE(prompts_.errors.isEmpty());
    EXPECT_EQ(create->text(), "Create TPL");
    EXPECT_TRUE(find<QPushButton>("Add")->isEnabled());
    EXPECT_TRUE(find<QAction>("Settings1")->isEnabled());
    EXPECT_EQ(find<QProgressBar>("ProgressBar1")->value(), 0);

    // The next build runs to its end.
    prompts_.answers = {Prompts::Answer::Yes};
    create->click();
    EXPECT_EQ(prompts_.messages.back().text, "TPL binary created. Have fun!");
}

// Exit while a build runs: the build stops first (no half image), then the window closes and
// saves the settings as it always does.
TEST_F(CreateTest, ExitDuringABuildClosesWithoutAHalfImage) {
    writeSettings(kKeyedPreset + "[Settings]\nTPLBinary=" + toStd(path("g")) + "\n");
    open();
    addSnapshots({"g/a.sna", "g/b.sna"});
    makeFile("g/tpl.gba", "the old image");
    prompts_.answers = {Prompts::Answer::Yes};
    bool closing = false;
    QTimer::singleShot(0, window_.get(), [&] {
        find<QAction>("Exit1")->trigger();
        closing = window_->isVisible(); // still open: the build stops first
    });
    find<QPushButton>("Create")->click();
    EXPECT_TRUE(closing);
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(readWhole(path("g/tpl.gba")), "the old image");
    EXPECT_EQ(filesBelow(path("g")),
              (QStringList{path("g/a.sna"), path("g/b.sna"), path("g/tpl.gba")}));
    EXPECT_EQ(settingsOnDisk().read("a", "Control", ""), "Kempston"); // saved at close
}
