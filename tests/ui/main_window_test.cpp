// The main window: start-up, adding, renaming, presets, deleting, enabling rules, dropping.
#include "About.h"
#include "config.h"
#include "window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace {

QStringList actionTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

} // namespace

TEST_F(WindowTest, StartsWithoutSettingsFileAndAddsWithDefaults) {
    open();
    EXPECT_EQ(window_->windowTitle(), "Tapeloom");
    EXPECT_EQ(window_->centralWidget()->size(), QSize(545, 329));
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(actionTexts(find<QMenu>("PopupMenu1")), (QStringList{"Configure", "Delete", "-"}));
    EXPECT_FALSE(find<QPushButton>("Delete")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("Configure")->isEnabled());
    EXPECT_EQ(find<QProgressBar>("ProgressBar1")->maximum(), 100);

    add({"games/Jet Set Willy.Z80", "games/Abcdefghijklmnopqrst.sna"});
    ASSERT_EQ(prompts_.fileDialogs.size(), 1u);
    EXPECT_EQ(prompts_.fileDialogs[0].title, "Select ZX snapshot(s)");
    EXPECT_EQ(prompts_.fileDialogs[0].folder, "");
    EXPECT_TRUE(prompts_.fileDialogs[0].multiple);
    EXPECT_TRUE(
        prompts_.fileDialogs[0].filter.startsWith("All Snapshots (*.SNA *.sna *.Z80 *.z80)"));

    // Sorted by display name; the 20-character section key gives a 15-character name.
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(cell(0, 0), "abcdefghijklmno");
    EXPECT_EQ(cell(0, 2), "abcdefghijklmnopqrst.sna");
    EXPECT_EQ(cell(1, 0), "jet set willy");
    EXPECT_EQ(cell(1, 1), "Kempston");
    EXPECT_EQ(cell(1, 2), "jet set willy.z80");
    EXPECT_EQ(cell(1, 3), path("games") + "/");

    // The folder of the picked files is remembered and becomes the current directory.
    EXPECT_EQ(QDir::currentPath(), path("games"));
    add({"more/x.sna"});
    EXPECT_EQ(prompts_.fileDialogs[1].folder, path("games") + "/");

    window_->close();
    const auto saved = settingsOnDisk();
    EXPECT_EQ(saved.read("TPL", "Version", ""), "1.0.1.0");
    EXPECT_EQ(saved.read("Settings", "LastDir", ""), toStd(path("more") + "/"));
    EXPECT_EQ(saved.read("abcdefghijklmnopqrst", "Filename", ""), "abcdefghijklmno");
    EXPECT_EQ(saved.read("jet set willy", "Control", ""), "Kempston");
}

TEST_F(WindowTest, TwoFilesWithOneSectionKeyShareTheirSection) {
    writeSettings("[game]\nFilename=Great Game\nControl=Cursor\n");
    open();
    add({"a/game.sna", "b/game.z80"});
    ASSERT_EQ(rows(), 2);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(cell(row, 0), "Great Game");
        EXPECT_EQ(cell(row, 1), "Cursor");
    }
    window_->renameRow(0, "Renamed");
    window_->close();
    const auto saved = settingsOnDisk();
    int gameSections = 0;
    for (const auto& name : saved.sectionNames())
        gameSections += name == "game" ? 1 : 0;
    EXPECT_EQ(gameSections, 1);
    EXPECT_EQ(saved.read("game", "Filename", ""), "Renamed");
}

TEST_F(WindowTest, RenamingKeepsFifteenCharactersAndDoesNotResort) {
    open();
    add({"g/alpha.sna", "g/beta.sna"});
    window_->renameRow(0, "zzzzzzzzzzzzzzzzzzzz");
    EXPECT_EQ(cell(0, 0), "zzzzzzzzzzzzzzz");
    EXPECT_EQ(window_->session().settings.read("alpha", "Filename", ""), "zzzzzzzzzzzzzzz");

    // In place: the editor takes at most 15 characters, the rest is cut the same way.
    QTableView* list = find<QTableView>("ListView1");
    list->setCurrentIndex(list->model()->index(1, 0));
    list->edit(list->model()->index(1, 0));
    auto* editor = list->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "abcdefghijklmnopqrst");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the delegate commits through a queued call
    EXPECT_EQ(cell(1, 0), "abcdefghijklmno");
    EXPECT_EQ(window_->session().settings.read("beta", "Filename", ""), "abcdefghijklmno");
    EXPECT_EQ(cell(0, 2), "alpha.sna");
}

// An in-place rename to nothing would show a blank row on the cartridge: it is refused as the
// configuration dialog refuses it, and the row keeps its name.
TEST_F(WindowTest, InPlaceRenameToNothingIsRefused) {
    open();
    add({"g/alpha.sna"});
    QTableView* list = find<QTableView>("ListView1");
    list->setCurrentIndex(list->model()->index(0, 0));
    list->edit(list->model()->index(0, 0));
    auto* editor = list->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->clear();
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_EQ(prompts_.messages[0].caption, "TPL Error");
    EXPECT_EQ(prompts_.messages[0].text, "ROM Name cannot be blank. Enter a valid ROM name.");
    EXPECT_EQ(cell(0, 0), "alpha");
    EXPECT_EQ(window_->session().settings.read("alpha", "Filename", ""), "alpha");
}

// A line break in a file name would break TPL.INI's lines; such files are not added, and the
// user is told which and why. The others are added as usual.
TEST_F(WindowTest, FilesWhoseNamesTplIniCannotKeepAreRefusedAtAdd) {
    open();
    add({"g/fine.sna", "g/new\nline.sna", "g/ spaced.z80"});
    EXPECT_EQ(rows(), 1);
    EXPECT_EQ(cell(0, 2), "fine.sna");
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_EQ(prompts_.messages[0].caption, "Warning");
    EXPECT_EQ(prompts_.messages[0].text,
              "These files were not added: TPL.INI cannot keep a name with a line break, or one "
              "that begins or ends with a blank. Rename them and add them again.\r" +
                  path("g/new?line.sna") + "\r" + path("g/ spaced.z80"));
    window_->close();
    EXPECT_EQ(settingsOnDisk().sectionNames(),
              (std::vector<std::string>{"TPL", "Settings", "fine"}));
}

TEST_F(WindowTest, PresetReplacesCustomKeysOfTheSelectedRows) {
    std::string settings = "[Control Defaults]\nDefault0=Kempston\nDefault1=Cursor\n"
                           "[Control_Cursor]\nButton A=0\n";
    for (const char* game : {"a", "b", "c", "d"})
        settings += std::string("[") + game + "]\nFilename=" + game +
                    "\nControl=Custom\nButton A=SPACE\nBack Left=Q\nDPad Up=JOY UP\n";
    writeSettings(settings);
    open();
    EXPECT_EQ(actionTexts(find<QMenu>("PopupMenu1")),
              (QStringList{"Configure", "Delete", "-", "Kempston", "Cursor"}));
    // Each preset's item is named after it.
    QAction* cursor = find<QAction>("Cursor");
    EXPECT_EQ(cursor->text(), "Cursor");
    EXPECT_FALSE(cursor->isEnabled());

    add({"g/a.sna", "g/b.sna", "g/c.sna", "g/d.sna"});
    select({0, 2, 3}, 2);
    ASSERT_TRUE(cursor->isEnabled());
    cursor->trigger();

    const auto& saved = window_->session().settings;
    for (int row : {0, 2, 3}) {
        EXPECT_EQ(cell(row, 1), "Cursor");
        const std::string section = toStd(cell(row, 0));
        EXPECT_EQ(saved.read(section, "Control", ""), "Cursor");
        for (const char* slot : {"Button A", "Back Left", "DPad Up"})
            EXPECT_FALSE(saved.keyExists(section, slot)) << section << " " << slot;
    }
    EXPECT_EQ(cell(1, 1), "Custom");
    EXPECT_EQ(saved.read("b", "Button A", ""), "SPACE");
}

TEST_F(WindowTest, EnablingRulesFollowSelectionAndFocus) {
    open();
    add({"g/one.sna", "g/three.sna", "g/two.sna"});
    // Click the first row, then control-click the third: two rows selected, focus on the third.
    QTableView* list = find<QTableView>("ListView1");
    auto centre = [list](int row) {
        return list->visualRect(list->model()->index(row, 1)).center();
    };
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, centre(2));
    EXPECT_EQ(window_->selectedRows(), (QList<int>{0, 2}));
    EXPECT_EQ(window_->focusedRow(), 2);

    EXPECT_FALSE(find<QPushButton>("Configure")->isEnabled());
    EXPECT_TRUE(find<QPushButton>("Delete")->isEnabled());
    window_->PopupMenu1Popup();
    EXPECT_FALSE(find<QAction>("Configure1")->isEnabled());
    EXPECT_TRUE(find<QAction>("Delete1")->isEnabled());
    window_->File1Click();
    EXPECT_TRUE(find<QAction>("ConfigureROM1")->isEnabled());
    EXPECT_TRUE(find<QAction>("DeleteROM1")->isEnabled());

    // File > Configure ROM opens the dialog on the focused entry, not the first selected one.
    int rowWhileShown = -1;
    QTimer::singleShot(0, window_.get(), [&] {
        if (dialog<TForm2>()->isVisible())
            rowWhileShown = window_->focusedRow();
        dialog<TForm2>()->reject();
    });
    find<QAction>("ConfigureROM1")->trigger();
    EXPECT_EQ(rowWhileShown, 2);

    // One row selected: Configure too; none: only Add.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre(1));
    EXPECT_TRUE(find<QPushButton>("Configure")->isEnabled());
    window_->PopupMenu1Popup();
    EXPECT_TRUE(find<QAction>("Configure1")->isEnabled());
    list->selectionModel()->clearSelection();
    EXPECT_FALSE(find<QPushButton>("Configure")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("Delete")->isEnabled());
    window_->File1Click();
    EXPECT_FALSE(find<QAction>("ConfigureROM1")->isEnabled());
}

TEST_F(WindowTest, DeleteRemovesSelectedRowsAndKeepsTheOthersSelection) {
    open();
    add({"g/a.sna", "g/b.sna", "g/c.sna", "g/d.sna"});
    select({1, 3}, 0);
    find<QPushButton>("Delete")->click();
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(cell(0, 0), "a");
    EXPECT_EQ(cell(1, 0), "c");
    EXPECT_TRUE(window_->selectedRows().isEmpty());
    EXPECT_EQ(window_->focusedRow(), 0); // the focused row was not deleted
    EXPECT_TRUE(window_->session().settings.sectionExists("b"));

    // Adding keeps the selection and the focus on the rows already there.
    select({1}, 1);
    add({"g/b.sna"});
    EXPECT_EQ(cell(1, 0), "b");
    EXPECT_EQ(window_->selectedRows(), (QList<int>{2}));
    EXPECT_EQ(window_->focusedRow(), 2);
}

TEST_F(WindowTest, ShortcutsReachTheMenuFromTheList) {
    open();
    add({"g/a.sna"});
    QApplication::setActiveWindow(window_.get());
    find<QTableView>("ListView1")->setFocus();
    QTest::keyClick(find<QTableView>("ListView1"), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(prompts_.fileDialogs.size(), 2u); // Add ROM, not "select all"
    select({0}, 0);
    bool configured = false;
    QTimer::singleShot(0, window_.get(), [&] {
        configured = dialog<TForm2>()->isVisible();
        dialog<TForm2>()->reject();
    });
    QTest::keyClick(find<QTableView>("ListView1"), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(configured); // Configure ROM, not "copy"
}

TEST_F(WindowTest, DroppedSnapshotsAreAddedLikePickedOnes) {
    open();
    const QString before = QDir::currentPath();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(makeFile("drop/Manic.Z80")),
                  QUrl::fromLocalFile(makeFile("drop/readme.txt"))});
    QWidget* target = find<QTableView>("ListView1")->viewport();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
    ASSERT_EQ(rows(), 1);
    EXPECT_EQ(cell(0, 2), "manic.z80");
    EXPECT_EQ(window_->session().settings.read("Settings", "LastDir", ""),
              toStd(path("drop") + "/"));
    EXPECT_EQ(QDir::currentPath(), before);

    QMimeData other;
    other.setUrls({QUrl::fromLocalFile(makeFile("drop/notes.txt"))});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &other, Qt::LeftButton, {});
    QApplication::sendEvent(target, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST_F(WindowTest, HomepageOpensFromBannerAndAboutBoxOnlyWhenSet) {
    open();
    QTest::mouseClick(find<QLabel>("Image1"), Qt::LeftButton);
    EXPECT_TRUE(prompts_.addresses.isEmpty());
    window_.reset();

    writeSettings("[Homepage]\nURL=https://tapeloom.example/\n");
    open();
    QTest::mouseClick(find<QLabel>("Image1"), Qt::LeftButton);
    QTest::mouseClick(tapeloom::test::control<QLabel>(dialog<TForm3>(), "Label3"), Qt::LeftButton);
    EXPECT_EQ(prompts_.addresses,
              (QStringList{"https://tapeloom.example/", "https://tapeloom.example/"}));

    TForm3* about = dialog<TForm3>();
    EXPECT_EQ(about->windowTitle(), "About Tapeloom");
    EXPECT_EQ(about->size(), QSize(325, 313));
    auto label = [about](const char* name) {
        return tapeloom::test::control<QLabel>(about, name)->text();
    };
    EXPECT_EQ(label("Label4"), "Version 1.0.1.0");
    EXPECT_EQ(label("Label2"), "ARM Powered ZX Spectrum Emulator for the GBA (tm)");
    EXPECT_FALSE(label("Label1").isEmpty());
}

TEST_F(WindowTest, FailedSaveAtCloseLetsTheUserKeepTheWindowOpen) {
    open();
    add({"g/game.sna"});
    // A folder where TPL.INI should go: the save cannot replace it.
    ASSERT_TRUE(QDir(startFolder_).mkdir(QStringLiteral("TPL.INI")));

    prompts_.answers = {Prompts::Answer::No};
    EXPECT_FALSE(window_->close());
    ASSERT_EQ(prompts_.errors.size(), 1);
    EXPECT_TRUE(prompts_.errors[0].startsWith("Cannot create file "))
        << prompts_.errors[0].toStdString();
    ASSERT_EQ(prompts_.messages.size(), 1U);
    EXPECT_EQ(prompts_.messages[0].text, "The settings could not be saved.\rClose anyway?");
    EXPECT_EQ(prompts_.messages[0].buttons, Prompts::Buttons::YesNo);

    // Once the cause is gone the next close saves; a Yes closes without saving.
    ASSERT_TRUE(QDir(startFolder_).rmdir(QStringLiteral("TPL.INI")));
    EXPECT_TRUE(window_->close());
    EXPECT_EQ(settingsOnDisk().read("game", "Control", ""), "Kempston");
}
