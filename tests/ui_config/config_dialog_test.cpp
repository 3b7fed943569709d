// The configuration and import dialogs, driven through their widgets (offscreen).
#include "ImportForm.h"
#include "config.h"
#include "main.h"
#include "scripted_prompts.h"

#include "catalogue.h"
#include "settings_file.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// A 48K .SNA whose whole screen is ink (bitmap 0xFF) in the given attribute.
void writeSna(const QString& path, unsigned char attribute) {
    QByteArray bytes(27 + 49152, '\0');
    for (int i = 0; i < 6144; ++i)
        bytes[27 + i] = static_cast<char>(0xFF);
    for (int i = 6144; i < 6912; ++i)
        bytes[27 + i] = static_cast<char>(attribute);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void writeText(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// A user's pick in a drop-down list: select the item and report it as activated.
void pick(QComboBox* box, const QString& text) {
    const int index = box->findText(text, Qt::MatchExactly);
    QVERIFY2(index >= 0, qPrintable(text));
    box->setCurrentIndex(index);
    emit box->activated(index);
}

QString value(const QComboBox* box) {
    return box->currentIndex() < 0 ? QString() : box->currentText();
}

QByteArray injectRecord(const QByteArray& path, const QByteArray& name) {
    QByteArray r;
    r.append('\0');
    r.append(static_cast<char>(path.size()));
    r.append('\0');
    r.append(path);
    r.append(8, '\0');
    QByteArray field = name.left(8);
    field.append(8 - field.size(), '\0');
    r.append(field);
    r.append(32 + 40, '\0');
    return r;
}

} // namespace

class ConfigDialogTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ScriptedPrompts> prompts_;
    std::unique_ptr<TForm1> main_;
    TForm2* dialog_ = nullptr;

    QString path(const QString& name) const { return dir_->filePath(name); }
    tapeloom::SettingsFile& settings() { return main_->session().settings; }
    std::string read(const char* section, const char* key) {
        return settings().read(section, key, "(none)");
    }

    // Starts the main window in a fresh folder with the given TPL.INI and snapshot files.
    void start(const QByteArray& ini, const QStringList& snapshots) {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(QDir::setCurrent(dir_->path()));
        if (!ini.isEmpty())
            writeText(path(QStringLiteral("TPL.INI")), ini);
        prompts_ = std::make_unique<ScriptedPrompts>();
        main_ = std::make_unique<TForm1>(*prompts_);
        main_->createDialogs();
        dialog_ = main_->configDialog();
        QStringList files;
        for (const QString& name : snapshots)
            files.append(path(name));
        main_->addSnapshotFiles(files);
    }

    void focusRow(int row,
                  QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect |
                                                              QItemSelectionModel::Rows) {
        main_->ListView1->selectionModel()->setCurrentIndex(
            main_->ListView1->model()->index(row, 0), flags);
    }

    void open() {
        dialog_->show();
        QVERIFY(dialog_->isVisible());
    }

    QRgb previewPixel() const { return dialog_->spectrumBitmap().pixel(100, 100) & 0xFFFFFF; }

    static constexpr const char* kPresets = "[Control Defaults]\r\nDefault0=Kempston\r\n"
                                            "Default1=Cursor\r\nDefault3=Other\r\n"
                                            "[Control_Kempston]\r\nButton A=JOY FIRE\r\n"
                                            "DPad Up=JOY UP\r\nStart=ENTER\r\n";

  private slots:
    void cleanup() {
        main_.reset();
        prompts_.reset();
        dir_.reset();
    }

    void opensInCustomModeWithStoredKeys() {
        start(QByteArray(kPresets) + "[game]\r\nFilename=My Game\r\nControl=custom\r\n"
                                     "Button A=space\r\nBack Left=JOY FIRE 2\r\n",
              {});
        writeSna(path(QStringLiteral("game.sna")), 0x47);
        main_->addSnapshotFiles({path(QStringLiteral("game.sna"))});
        focusRow(0);
        const std::string before = settings().toText();
        open();
        QCOMPARE(dialog_->quickconfig->count(), 3);
        QCOMPARE(dialog_->quickconfig->itemText(0), QStringLiteral("Kempston"));
        QCOMPARE(dialog_->quickconfig->itemText(1), QStringLiteral("Cursor"));
        QCOMPARE(value(dialog_->quickconfig), QStringLiteral("Custom"));
        QCOMPARE(dialog_->romname->text(), QStringLiteral("My Game"));
        QCOMPARE(value(dialog_->a), QStringLiteral("SPACE"));
        QCOMPARE(value(dialog_->down), QStringLiteral("<unassigned>"));
        QCOMPARE(value(dialog_->lback), QString()); // a name outside the list
        QVERIFY(dialog_->a->isEnabled());
        QCOMPARE(settings().toText(), before); // opening writes nothing
        QCOMPARE(previewPixel(), 0xFFFFFFu);
        QVERIFY(prompts_->errors.isEmpty());
    }

    void customAndPresetSwitchingWrites() {
        start(QByteArray(kPresets) + "[game]\r\nFilename=Game\r\nControl=Custom\r\n"
                                     "Button A=SPACE\r\nBack Left=Q\r\n",
              {});
        writeSna(path(QStringLiteral("game.z80")), 0);
        main_->addSnapshotFiles({path(QStringLiteral("game.z80"))});
        focusRow(0);
        open();

        pick(dialog_->a, QStringLiteral("JOY FIRE"));
        QCOMPARE(read("game", "Button A"), std::string("JOY FIRE"));
        QCOMPARE(read("game", "Control"), std::string("Custom"));

        pick(dialog_->quickconfig, QStringLiteral("Kempston"));
        QVERIFY(!dialog_->a->isEnabled());
        QCOMPARE(value(dialog_->a), QStringLiteral("JOY FIRE"));
        QCOMPARE(value(dialog_->up), QStringLiteral("JOY UP"));
        QCOMPARE(value(dialog_->lback), QStringLiteral("<unassigned>"));
        QCOMPARE(read("game", "Button A"), std::string("(none)"));
        QCOMPARE(read("game", "Back Left"), std::string("(none)"));
        QCOMPARE(read("game", "Control"), std::string("Kempston"));
        QCOMPARE(main_->catalogue().rows()[0].scheme, std::string("Kempston"));

        pick(dialog_->quickconfig, QStringLiteral("Custom"));
        QVERIFY(dialog_->a->isEnabled());
        QCOMPARE(read("game", "Start"), std::string("ENTER"));
        QCOMPARE(read("game", "Control"), std::string("Custom"));
        const std::string text = settings().toText();
        const auto section = text.find("[game]");
        QVERIFY(section != std::string::npos);
        const std::string expected = "[game]\r\nFilename=Game\r\nControl=Custom\r\n"
                                     "Back Left=<unassigned>\r\nBack Right=<unassigned>\r\n"
                                     "DPad Left=<unassigned>\r\nDPad Right=<unassigned>\r\n"
                                     "DPad Up=JOY UP\r\nDPad Down=<unassigned>\r\n"
                                     "Select=<unassigned>\r\nStart=ENTER\r\n"
                                     "Button A=JOY FIRE\r\nButton B=<unassigned>\r\n";
        QCOMPARE(QString::fromStdString(text.substr(section, expected.size())),
                 QString::fromStdString(expected));
        QCOMPARE(main_->catalogue().rows()[0].scheme, std::string("Custom"));
    }

    void schemeOutsideTheListOpensEmptyInPresetMode() {
        start("[game]\r\nControl=Kempston\r\n", {});
        writeSna(path(QStringLiteral("game.sna")), 0);
        main_->addSnapshotFiles({path(QStringLiteral("game.sna"))});
        focusRow(0);
        open();
        QCOMPARE(dialog_->quickconfig->count(), 1);
        QCOMPARE(dialog_->quickconfig->currentIndex(), -1);
        QVERIFY(!dialog_->b->isEnabled());
        QCOMPARE(value(dialog_->b), QStringLiteral("<unassigned>"));
    }

    void blankNameIsRefusedAndCloseWritesTheName() {
        start({}, {});
        writeSna(path(QStringLiteral("game.sna")), 0);
        main_->addSnapshotFiles({path(QStringLiteral("game.sna"))});
        focusRow(0);
        open();
        dialog_->romname->clear();
        QTest::mouseClick(dialog_->Done, Qt::LeftButton);
        QVERIFY(dialog_->isVisible());
        QCOMPARE(prompts_->messages.size(), std::size_t{1});
        QCOMPARE(prompts_->messages[0].caption, QStringLiteral("TPL Error"));
        QCOMPARE(prompts_->messages[0].text,
                 QStringLiteral("ROM Name cannot be blank. Enter a valid ROM name."));
        QCOMPARE(prompts_->messages[0].buttons, Prompts::Buttons::Ok);
        QCOMPARE(prompts_->messages[0].icon, Prompts::Icon::None);
        QCOMPARE(read("game", "Filename"), std::string("game"));

        dialog_->close(); // the close box is refused the same way
        QVERIFY(dialog_->isVisible());
        QCOMPARE(prompts_->messages.size(), std::size_t{2});

        QTest::keyClicks(dialog_->romname, QStringLiteral("Fifteen chars!!xyz"));
        QCOMPARE(dialog_->romname->text(), QStringLiteral("Fifteen chars!!"));
        QTest::mouseClick(dialog_->Done, Qt::LeftButton);
        QVERIFY(!dialog_->isVisible());
        QCOMPARE(read("game", "Filename"), std::string("Fifteen chars!!"));
        QCOMPARE(main_->catalogue().rows()[0].displayName, std::string("Fifteen chars!!"));

        open();
        dialog_->romname->setText(QStringLiteral("   "));
        dialog_->close();
        QVERIFY(!dialog_->isVisible()); // spaces are not blank
    }

    void editsTheFocusedOfTwoSelectedRows() {
        start("[alpha]\r\nFilename=Alpha\r\n[beta]\r\nFilename=Beta\r\n", {});
        writeSna(path(QStringLiteral("alpha.sna")), 0x47);
        writeSna(path(QStringLiteral("beta.sna")), 0x4A); // bright red on blue
        main_->addSnapshotFiles(
            {path(QStringLiteral("alpha.sna")), path(QStringLiteral("beta.sna"))});
        focusRow(0);
        focusRow(1, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(main_->selectedRows().size(), 2);
        open();
        QCOMPARE(dialog_->romname->text(), QStringLiteral("Beta"));
        QCOMPARE(previewPixel(), 0xFF0000u);
        dialog_->romname->setText(QStringLiteral("Second"));
        dialog_->close();
        QCOMPARE(read("beta", "Filename"), std::string("Second"));
        QCOMPARE(read("alpha", "Filename"), std::string("Alpha"));
    }

    void missingSnapshotReportsAndKeepsThePreviousPreview() {
        start("[gone]\r\nFilename=Gone\r\nControl=Custom\r\nButton B=K\r\n", {});
        writeSna(path(QStringLiteral("gone.sna")), 0x47);
        writeSna(path(QStringLiteral("here.sna")), 0x4A);
        main_->addSnapshotFiles(
            {path(QStringLiteral("gone.sna")), path(QStringLiteral("here.sna"))});
        QVERIFY(QFile::remove(path(QStringLiteral("gone.sna"))));

        focusRow(0);
        open();
        QCOMPARE(prompts_->errors, QStringList{QStringLiteral("Cannot open file ") +
                                               path(QStringLiteral("gone.sna"))});
        QCOMPARE(previewPixel(), 0x000000u); // nothing drawn yet in this run
        QCOMPARE(dialog_->romname->text(), QStringLiteral("Gone"));
        QCOMPARE(value(dialog_->b), QStringLiteral("K"));
        pick(dialog_->b, QStringLiteral("L")); // still usable
        QCOMPARE(read("gone", "Button B"), std::string("L"));
        dialog_->close();
        QVERIFY(!dialog_->isVisible());

        focusRow(1);
        open();
        QCOMPARE(previewPixel(), 0xFF0000u);
        dialog_->close();
        focusRow(0);
        open();
        QCOMPARE(prompts_->errors.size(), 2);
        QCOMPARE(previewPixel(), 0xFF0000u); // the previous entry's screen stays
        dialog_->close();
    }

    void importDialogReportsAndChecks() {
        start("[one]\r\nFilename=Old\r\n[two]\r\nX=1\r\n", {});
        writeText(path(QStringLiteral("INJECT.INI")), injectRecord("C:\\A\\ONE.Z80", "One") +
                                                          injectRecord("C:\\A\\TWO.Z80", "Two") +
                                                          injectRecord("C:\\A\\NEW.SNA", "New") +
                                                          injectRecord("C:\\B\\new.z80", "Dup"));
        TImport* import = main_->importDialog();
        QCOMPARE(import->windowTitle(), QStringLiteral("Import Tarn INI"));
        QVERIFY(!import->updatecheck->isChecked());
        QVERIFY(import->addcheck->isChecked());
        import->show();

        // Both boxes cleared: Import is disabled; either box enables it again.
        QTest::mouseClick(import->addcheck, Qt::LeftButton);
        QVERIFY(!import->Import->isEnabled());
        QTest::mouseClick(import->updatecheck, Qt::LeftButton);
        QVERIFY(import->Import->isEnabled());

        // Only update: two existing entries.
        prompts_->fileChoices.push_back({path(QStringLiteral("INJECT.INI"))});
        QTest::mouseClick(import->Import, Qt::LeftButton);
        QCOMPARE(prompts_->fileDialogs.back().title, QStringLiteral("Select Tarn INJECT.INI"));
        QVERIFY(prompts_->fileDialogs.back().filter.contains(QStringLiteral("(INJECT.INI)")));
        QVERIFY(!prompts_->fileDialogs.back().multiple);
        QCOMPARE(prompts_->messages.back().caption, QStringLiteral("Tarn INI Import"));
        QCOMPARE(prompts_->messages.back().text,
                 QStringLiteral("Import complete!\r2 entries updated."));
        QCOMPARE(prompts_->messages.back().icon, Prompts::Icon::None);
        QVERIFY(!import->isVisible());
        QCOMPARE(import->ProgressBar1->value(), 0);
        QCOMPARE(tapeloom::SettingsFile::open(path(QStringLiteral("TPL.INI")).toStdString())
                     .read("one", "Filename", ""),
                 std::string("One"));

        // Both boxes, the boxes kept from last time: the duplicate key counts as an update.
        import->show();
        QVERIFY(import->updatecheck->isChecked());
        QTest::mouseClick(import->addcheck, Qt::LeftButton);
        prompts_->fileChoices.push_back({path(QStringLiteral("INJECT.INI"))});
        QTest::mouseClick(import->Import, Qt::LeftButton);
        QCOMPARE(prompts_->messages.back().text,
                 QStringLiteral("Import complete!\r3 entries updated.\r1 entries added."));
        QCOMPARE(read("new", "Filename"), std::string("Dup"));

        // No file picked, then a file that cannot be opened: the dialog stays open.
        import->show();
        const std::size_t shown = prompts_->messages.size();
        QTest::mouseClick(import->Import, Qt::LeftButton);
        QVERIFY(import->isVisible());
        prompts_->fileChoices.push_back({path(QStringLiteral("nothing/INJECT.INI"))});
        QTest::mouseClick(import->Import, Qt::LeftButton);
        QVERIFY(import->isVisible());
        QCOMPARE(prompts_->errors.back(),
                 QStringLiteral("Cannot open file ") + path(QStringLiteral("nothing/INJECT.INI")));
        QCOMPARE(prompts_->messages.size(), shown);
        QTest::mouseClick(import->SpeedButton2, Qt::LeftButton);
        QVERIFY(!import->isVisible());
    }

    void importAddOnlySkipsTheDuplicate() {
        start({}, {});
        writeText(path(QStringLiteral("INJECT.INI")),
                  injectRecord("C:\\A\\GAME.Z80", "First") + injectRecord("D:GAME.SNA", "Second"));
        TImport* import = main_->importDialog();
        import->show();
        prompts_->fileChoices.push_back({path(QStringLiteral("INJECT.INI"))});
        QTest::mouseClick(import->Import, Qt::LeftButton);
        QCOMPARE(prompts_->messages.back().text,
                 QStringLiteral("Import complete!\r1 entries added."));
        QCOMPARE(read("game", "Filename"), std::string("First"));
    }

    // With TAPELOOM_SCREENSHOT_DIR set (run under Xvfb), saves config.png and import.png there.
    void screenshots() {
        const QString folder = qEnvironmentVariable("TAPELOOM_SCREENSHOT_DIR");
        if (folder.isEmpty())
            QSKIP("TAPELOOM_SCREENSHOT_DIR not set");
        start(QByteArray(kPresets) + "[znake]\r\nFilename=Znake\r\nControl=Custom\r\n"
                                     "Back Left=Z\r\nBack Right=X\r\nDPad Left=O\r\n"
                                     "DPad Right=P\r\nDPad Up=Q\r\nDPad Down=A\r\n"
                                     "Select=K\r\nStart=ENTER\r\nButton A=SPACE\r\n"
                                     "Button B=M\r\n",
              {});
        main_->addSnapshotFiles({QStringLiteral(TAPELOOM_SHARED_DIR "/games/znake.sna")});
        focusRow(0);
        main_->show();
        open();
        auto settle = [] {
            for (int i = 0; i < 10; ++i) {
                QCoreApplication::processEvents();
                QTest::qWait(20);
            }
        };
        settle();
        QVERIFY(dialog_->grab().save(QDir(folder).filePath(QStringLiteral("config.png"))));
        dialog_->close();
        TImport* import = main_->importDialog();
        import->show();
        settle();
        QVERIFY(import->grab().save(QDir(folder).filePath(QStringLiteral("import.png"))));
        import->hide();
    }
};

QTEST_MAIN(ConfigDialogTest)
#include "config_dialog_test.moc"
