// "Create TPL" from the window: messages, the replace question, the progress bar, the image.
#include "data_items.h"
#include "window_fixture.h"

#include <QDir>
#include <QDirIterator>
#include <QProgressBar>
#include <QPushButton>

namespace {

QStringList filesBelow(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    return found;
}

} // namespace

TEST_F(WindowTest, EmptyCatalogueWithoutPogoshellShowsTwoMessagesAndWritesNothing) {
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

TEST_F(WindowTest, DeclinedReplaceLeavesTheImageAndAcceptedReplaceRewritesIt) {
    const QString out = path("out");
    QDir().mkpath(out);
    writeSettings("[Settings]\nTPLBinary=" + toStd(out) + "\n");
    const QByteArray old("an older image, longer than nothing at all");
    makeFile("out/tpl.gba", old);
    open();
    add({"g/game.sna"});
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
    EXPECT_TRUE(image.endsWith("snapshot"));
}

TEST_F(WindowTest, FileErrorsGoToTheGeneralErrorReportAndTheWindowCarriesOn) {
    writeSettings("[Settings]\nTPLBinary=" + toStd(path("missing/deeper")) + "\n");
    open();
    add({"g/game.sna"});
    find<QPushButton>("Create")->click();
    ASSERT_EQ(prompts_.errors.size(), 1);
    EXPECT_EQ(prompts_.errors[0], "Cannot create file " + path("missing/deeper") + "/tpl.gba");

    // A snapshot that vanished after it was added.
    window_->session().settings.write("Settings", "TPLBinary", toStd(path("g")));
    QFile::remove(path("g/game.sna"));
    find<QPushButton>("Create")->click();
    ASSERT_EQ(prompts_.errors.size(), 2);
    EXPECT_TRUE(prompts_.errors[1].startsWith("Cannot open file "))
        << prompts_.errors[1].toStdString();
    EXPECT_TRUE(find<QPushButton>("Add")->isEnabled());
}

TEST_F(WindowTest, CatalogueWithoutDestinationGoesToTheCurrentDirectory) {
    open();
    add({"picked/Game.SNA"});
    find<QPushButton>("Create")->click();
    // The Add dialog moved the current directory to the folder it picked from; the row's
    // lower-case file name still finds Game.SNA there.
    EXPECT_TRUE(prompts_.errors.isEmpty()) << prompts_.errors.join(", ").toStdString();
    EXPECT_TRUE(readWhole(path("picked/tpl.gba")).endsWith("snapshot"));
    EXPECT_FALSE(QFile::exists(startFolder_ + "/tpl.gba"));
}
