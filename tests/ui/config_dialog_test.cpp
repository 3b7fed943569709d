// The configuration and import dialogs, driven through their widgets.
#include "ImportForm.h"
#include "catalogue.h"
#include "config.h"
#include "inject_records.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <sys/stat.h>

using tapeloom::test::control;

namespace {

// A 48K .SNA whose whole screen is ink (bitmap 0xFF) in the given attribute.
QByteArray sna(unsigned char attribute) {
    QByteArray bytes(27 + 49152, '\0');
    for (int i = 0; i < 6144; ++i)
        bytes[27 + i] = static_cast<char>(0xFF);
    for (int i = 6144; i < 6912; ++i)
        bytes[27 + i] = static_cast<char>(attribute);
    return bytes;
}

// A user's pick in a drop-down list: select the item and report it as activated.
void pick(QComboBox* box, const QString& text) {
    const int index = box->findText(text, Qt::MatchExactly);
    ASSERT_GE(index, 0) << text.toStdString();
    box->setCurrentIndex(index);
    emit box->activated(index);
}

QString value(const QComboBox* box) {
    return box->currentIndex() < 0 ? QString() : box->currentText();
}

QByteArray injectRecord(const std::string& path, const std::string& name) {
    const tapeloom::test::Bytes bytes = tapeloom::test::injectRecord(path, name);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

constexpr const char* kPresets = "[Control Defaults]\nDefault0=Kempston\nDefault1=Cursor\n"
                                 "Default3=Other\n[Control_Kempston]\nButton A=JOY FIRE\n"
                                 "DPad Up=JOY UP\nStart=ENTER\n";

} // namespace

class ConfigDialogTest : public WindowTest {
  protected:
    // Starts the main window with the given TPL.INI and adds the snapshot files, each with the
    // screen in its attribute, in the given order.
    void start(const std::string& settings,
               const std::vector<std::pair<QString, unsigned char>>& snapshots) {
        if (!settings.empty())
            writeSettings(settings);
        open();
        dialog_ = dialog<TForm2>();
        QStringList files;
        for (const auto& [name, attribute] : snapshots)
            files.append(makeFile(name, sna(attribute)));
        window_->addSnapshotFiles(files);
    }

    void focusRow(int row,
                  QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect |
                                                              QItemSelectionModel::Rows) {
        QTableView* list = find<QTableView>("ListView1");
        list->selectionModel()->setCurrentIndex(list->model()->index(row, 0), flags);
    }

    void showDialog() {
        dialog_->show();
        ASSERT_TRUE(dialog_->isVisible());
    }

    template <typename T> T* ui(const char* name) const { return control<T>(dialog_, name); }
    QComboBox* box(const char* name) const { return ui<QComboBox>(name); }
    QLineEdit* romname() const { return ui<QLineEdit>("romname"); }

    tapeloom::SettingsFile& settings() { return window_->session().settings; }
    std::string read(const char* section, const char* key) {
        return settings().read(section, key, "(none)");
    }
    QRgb previewPixel() const { return dialog_->spectrumBitmap().pixel(100, 100) & 0xFFFFFF; }

    TForm2* dialog_ = nullptr;
};

TEST_F(ConfigDialogTest, OpensInCustomModeWithStoredKeys) {
    start(std::string(kPresets) + "[game]\nFilename=My Game\nControl=custom\n"
                                  "Button A=space\nBack Left=JOY FIRE 2\n",
          {{"game.sna", 0x47}});
    focusRow(0);
    const std::string before = settings().toText();
    showDialog();
    QComboBox* quickconfig = box("quickconfig");
    EXPECT_EQ(quickconfig->count(), 3);
    EXPECT_EQ(quickconfig->itemText(0), "Kempston");
    EXPECT_EQ(quickconfig->itemText(1), "Cursor");
    EXPECT_EQ(value(quickconfig), "Custom");
    EXPECT_EQ(romname()->text(), "My Game");
    EXPECT_EQ(value(box("a")), "SPACE");
    EXPECT_EQ(value(box("down")), "<unassigned>");
    EXPECT_EQ(value(box("lback")), QString()); // a name outside the list
    EXPECT_TRUE(box("a")->isEnabled());
    EXPECT_EQ(settings().toText(), before); // opening writes nothing
    EXPECT_EQ(previewPixel(), 0xFFFFFFu);
    EXPECT_TRUE(prompts_.errors.isEmpty());
}

TEST_F(ConfigDialogTest, CustomAndPresetSwitchingWrites) {
    start(std::string(kPresets) + "[game]\nFilename=Game\nControl=Custom\n"
                                  "Button A=SPACE\nBack Left=Q\n",
          {{"game.z80", 0}});
    focusRow(0);
    showDialog();

    pick(box("a"), "JOY FIRE");
    EXPECT_EQ(read("game", "Button A"), "JOY FIRE");
    EXPECT_EQ(read("game", "Control"), "Custom");

    pick(box("quickconfig"), "Kempston");
    EXPECT_FALSE(box("a")->isEnabled());
    EXPECT_EQ(value(box("a")), "JOY FIRE");
    EXPECT_EQ(value(box("up")), "JOY UP");
    EXPECT_EQ(value(box("lback")), "<unassigned>");
    EXPECT_EQ(read("game", "Button A"), "(none)");
    EXPECT_EQ(read("game", "Back Left"), "(none)");
    EXPECT_EQ(read("game", "Control"), "Kempston");
    EXPECT_EQ(window_->catalogue().rows()[0].scheme, "Kempston");
    EXPECT_EQ(cell(0, 1), "Kempston");

    pick(box("quickconfig"), "Custom");
    EXPECT_TRUE(box("a")->isEnabled());
    EXPECT_EQ(read("game", "Start"), "ENTER");
    EXPECT_EQ(read("game", "Control"), "Custom");
    const std::string text = settings().toText();
    const auto section = text.find("[game]");
    ASSERT_NE(section, std::string::npos);
    const std::string expected = "[game]\r\nFilename=Game\r\nControl=Custom\r\n"
                                 "Back Left=<unassigned>\r\nBack Right=<unassigned>\r\n"
                                 "DPad Left=<unassigned>\r\nDPad Right=<unassigned>\r\n"
                                 "DPad Up=JOY UP\r\nDPad Down=<unassigned>\r\n"
                                 "Select=<unassigned>\r\nStart=ENTER\r\n"
                                 "Button A=JOY FIRE\r\nButton B=<unassigned>\r\n";
    EXPECT_EQ(text.substr(section, expected.size()), expected);
    EXPECT_EQ(window_->catalogue().rows()[0].scheme, "Custom");
}

TEST_F(ConfigDialogTest, SchemeOutsideTheListOpensEmptyInPresetMode) {
    start("[game]\nControl=Kempston\n", {{"game.sna", 0}});
    focusRow(0);
    showDialog();
    EXPECT_EQ(box("quickconfig")->count(), 1);
    EXPECT_EQ(box("quickconfig")->currentIndex(), -1);
    EXPECT_FALSE(box("b")->isEnabled());
    EXPECT_EQ(value(box("b")), "<unassigned>");
}

TEST_F(ConfigDialogTest, BlankNameIsRefusedAndCloseWritesTheName) {
    start({}, {{"game.sna", 0}});
    focusRow(0);
    showDialog();
    QPushButton* done = ui<QPushButton>("Done");
    romname()->clear();
    QTest::mouseClick(done, Qt::LeftButton);
    EXPECT_TRUE(dialog_->isVisible());
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_EQ(prompts_.messages[0].caption, "TPL Error");
    EXPECT_EQ(prompts_.messages[0].text, "ROM Name cannot be blank. Enter a valid ROM name.");
    EXPECT_EQ(prompts_.messages[0].buttons, Prompts::Buttons::Ok);
    EXPECT_EQ(prompts_.messages[0].icon, Prompts::Icon::None);
    EXPECT_EQ(read("game", "Filename"), "game");

    dialog_->close(); // the close box is refused the same way
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_EQ(prompts_.messages.size(), 2u);

    QTest::keyClicks(romname(), "Fifteen chars!!xyz");
    EXPECT_EQ(romname()->text(), "Fifteen chars!!");
    QTest::mouseClick(done, Qt::LeftButton);
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(read("game", "Filename"), "Fifteen chars!!");
    EXPECT_EQ(window_->catalogue().rows()[0].displayName, "Fifteen chars!!");

    showDialog();
    romname()->setText("   ");
    dialog_->close();
    EXPECT_FALSE(dialog_->isVisible()); // spaces are not blank
}

TEST_F(ConfigDialogTest, EditsTheFocusedOfTwoSelectedRows) {
    start("[alpha]\nFilename=Alpha\n[beta]\nFilename=Beta\n",
          {{"alpha.sna", 0x47}, {"beta.sna", 0x4A}}); // beta: bright red on blue
    focusRow(0);
    focusRow(1, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(window_->selectedRows().size(), 2);
    showDialog();
    EXPECT_EQ(romname()->text(), "Beta");
    EXPECT_EQ(previewPixel(), 0xFF0000u);
    romname()->setText("Second");
    dialog_->close();
    EXPECT_EQ(read("beta", "Filename"), "Second");
    EXPECT_EQ(read("alpha", "Filename"), "Alpha");
}

TEST_F(ConfigDialogTest, MissingSnapshotReportsAndKeepsThePreviousPreview) {
    start("[gone]\nFilename=Gone\nControl=Custom\nButton B=K\n",
          {{"gone.sna", 0x47}, {"here.sna", 0x4A}});
    ASSERT_TRUE(QFile::remove(path("gone.sna")));

    focusRow(0);
    showDialog();
    EXPECT_EQ(prompts_.errors, QStringList{"Cannot open file " + path("gone.sna")});
    EXPECT_EQ(previewPixel(), 0x000000u); // nothing drawn yet in this run
    EXPECT_EQ(romname()->text(), "Gone");
    EXPECT_EQ(value(box("b")), "K");
    pick(box("b"), "L"); // still usable
    EXPECT_EQ(read("gone", "Button B"), "L");
    dialog_->close();
    EXPECT_FALSE(dialog_->isVisible());

    focusRow(1);
    showDialog();
    EXPECT_EQ(previewPixel(), 0xFF0000u);
    dialog_->close();
    focusRow(0);
    showDialog();
    EXPECT_EQ(prompts_.errors.size(), 2);
    EXPECT_EQ(previewPixel(), 0xFF0000u); // the previous entry's screen stays
    dialog_->close();
}

// A snapshot replaced by a named pipe or a device after it was added: Configure reports it at
// once (opening a pipe never waits for a writer, a device is never read without end), and a
// huge file shows its screen from its first bytes.
TEST_F(ConfigDialogTest, APipeOrDeviceNeverHoldsTheDialog) {
    start("", {{"pipe.sna", 0x47}, {"zero.sna", 0x47}, {"huge.sna", 0x4A}});
    ASSERT_TRUE(QFile::remove(path("pipe.sna")));
    ASSERT_EQ(::mkfifo(path("pipe.sna").toLocal8Bit().constData(), 0600), 0);
    ASSERT_TRUE(QFile::remove(path("zero.sna")));
    ASSERT_TRUE(QFile::link("/dev/zero", path("zero.sna")));
    ASSERT_TRUE(QFile::resize(path("huge.sna"), qint64{64} << 30));
    for (int row = 0; row < 3; ++row) {
        focusRow(row);
        showDialog();
        dialog_->close();
    }
    EXPECT_EQ(prompts_.errors, (QStringList{"Cannot open file " + path("pipe.sna"),
                                            "Cannot open file " + path("zero.sna")}));
    EXPECT_EQ(previewPixel(), 0xFF0000u); // the huge file's screen
}

TEST_F(ConfigDialogTest, ImportDialogReportsAndChecks) {
    start("[one]\nFilename=Old\n[two]\nX=1\n", {});
    makeFile("INJECT.INI",
             injectRecord("C:\\A\\ONE.Z80", "One") + injectRecord("C:\\A\\TWO.Z80", "Two") +
                 injectRecord("C:\\A\\NEW.SNA", "New") + injectRecord("C:\\B\\new.z80", "Dup"));
    TImport* import = dialog<TImport>();
    auto* updatecheck = control<QCheckBox>(import, "updatecheck");
    auto* addcheck = control<QCheckBox>(import, "addcheck");
    auto* importButton = control<QPushButton>(import, "Import");
    EXPECT_EQ(import->windowTitle(), "Import Tarn INI");
    EXPECT_FALSE(updatecheck->isChecked());
    EXPECT_TRUE(addcheck->isChecked());
    import->show();

    // Both boxes cleared: Import is disabled; either box enables it again.
    QTest::mouseClick(addcheck, Qt::LeftButton);
    EXPECT_FALSE(importButton->isEnabled());
    QTest::mouseClick(updatecheck, Qt::LeftButton);
    EXPECT_TRUE(importButton->isEnabled());

    // Only update: two existing entries.
    prompts_.fileChoices.push_back({path("INJECT.INI")});
    QTest::mouseClick(importButton, Qt::LeftButton);
    EXPECT_EQ(prompts_.fileDialogs.back().title, "Select Tarn INJECT.INI");
    EXPECT_TRUE(prompts_.fileDialogs.back().filter.contains("(INJECT.INI)"));
    EXPECT_FALSE(prompts_.fileDialogs.back().multiple);
    EXPECT_EQ(prompts_.messages.back().caption, "Tarn INI Import");
    EXPECT_EQ(prompts_.messages.back().text, "Import complete!\r2 entries updated.");
    EXPECT_EQ(prompts_.messages.back().icon, Prompts::Icon::None);
    EXPECT_FALSE(import->isVisible());
    EXPECT_EQ(control<QProgressBar>(import, "ProgressBar1")->value(), 0);
    EXPECT_EQ(settingsOnDisk().read("one", "Filename", ""), "One");

    // Both boxes, the boxes kept from last time: the duplicate key counts as an update.
    import->show();
    EXPECT_TRUE(updatecheck->isChecked());
    QTest::mouseClick(addcheck, Qt::LeftButton);
    prompts_.fileChoices.push_back({path("INJECT.INI")});
    QTest::mouseClick(importButton, Qt::LeftButton);
    EXPECT_EQ(prompts_.messages.back().text,
              "Import complete!\r3 entries updated.\r1 entries added.");
    EXPECT_EQ(read("new", "Filename"), "Dup");

    // No file picked, then a file that cannot be opened: the dialog stays open.
    import->show();
    const std::size_t shown = prompts_.messages.size();
    QTest::mouseClick(importButton, Qt::LeftButton);
    EXPECT_TRUE(import->isVisible());
    prompts_.fileChoices.push_back({path("nothing/INJECT.INI")});
    QTest::mouseClick(importButton, Qt::LeftButton);
    EXPECT_TRUE(import->isVisible());
    EXPECT_EQ(prompts_.errors.back(), "Cannot open file " + path("nothing/INJECT.INI"));
    EXPECT_EQ(prompts_.messages.size(), shown);
    QTest::mouseClick(control<QPushButton>(import, "SpeedButton2"), Qt::LeftButton);
    EXPECT_FALSE(import->isVisible());
}

TEST_F(ConfigDialogTest, ImportAddOnlySkipsTheDuplicate) {
    start({}, {});
    makeFile("INJECT.INI",
             injectRecord("C:\\A\\GAME.Z80", "First") + injectRecord("D:GAME.SNA", "Second"));
    TImport* import = dialog<TImport>();
    import->show();
    prompts_.fileChoices.push_back({path("INJECT.INI")});
    QTest::mouseClick(control<QPushButton>(import, "Import"), Qt::LeftButton);
    EXPECT_EQ(prompts_.messages.back().text, "Import complete!\r1 entries added.");
    EXPECT_EQ(read("game", "Filename"), "First");
}

// With TAPELOOM_SCREENSHOT_DIR set (run under Xvfb), saves config.png and import.png there.
TEST_F(ConfigDialogTest, Screenshots) {
    const QString folder = qEnvironmentVariable("TAPELOOM_SCREENSHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "TAPELOOM_SCREENSHOT_DIR not set";
    start(std::string(kPresets) + "[znake]\nFilename=Znake\nControl=Custom\n"
                                  "Back Left=Z\nBack Right=X\nDPad Left=O\nDPad Right=P\n"
                                  "DPad Up=Q\nDPad Down=A\nSelect=K\nStart=ENTER\n"
                                  "Button A=SPACE\nButton B=M\n",
          {});
    window_->addSnapshotFiles({QStringLiteral(TAPELOOM_SHARED_DIR "/games/znake.sna")});
    focusRow(0);
    showDialog();
    auto settle = [] {
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
            QTest::qWait(20);
        }
    };
    settle();
    EXPECT_TRUE(dialog_->grab().save(QDir(folder).filePath("config.png")));
    dialog_->close();
    TImport* import = dialog<TImport>();
    import->show();
    settle();
    EXPECT_TRUE(import->grab().save(QDir(folder).filePath("import.png")));
    import->hide();
}
