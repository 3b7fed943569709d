// The settings dialog: filling, the Pogoshell folder test and check, theme picks, OK, Cancel.
#include "Settings.h"
#include "window_fixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

const char* const kPogoshellKeys[] = {"Pogoshell", "Associations", "Theme", "Compile"};

// The settings dialog's controls, found by their names.
struct SettingsControls {
    explicit SettingsControls(TForm4& form)
        : window(form), TPLBinaryPath(find<QLineEdit>("TPLBinaryPath")),
          POGOShellPath(find<QLineEdit>("POGOShellPath")),
          associations(find<QCheckBox>("associations")), Theme(find<QComboBox>("Theme")),
          compile(find<QCheckBox>("compile")), SpeedButton2(find<QPushButton>("SpeedButton2")),
          SpeedButton3(find<QPushButton>("SpeedButton3")),
          SpeedButton4(find<QPushButton>("SpeedButton4")) {}

    template <typename T> T* find(const char* name) {
        return tapeloom::test::control<T>(&window, name);
    }
    QString windowTitle() const { return window.windowTitle(); }
    QSize size() const { return window.size(); }

    TForm4& window;
    QLineEdit* TPLBinaryPath;
    QLineEdit* POGOShellPath;
    QCheckBox* associations;
    QComboBox* Theme;
    QCheckBox* compile;
    QPushButton* SpeedButton2;
    QPushButton* SpeedButton3;
    QPushButton* SpeedButton4;
};

} // namespace

class SettingsDialogTest : public WindowTest {
  protected:
    // Opens the dialog through Options > Settings and runs `whileOpen` inside it.
    void openDialog(const std::function<void(SettingsControls&)>& whileOpen) {
        TForm4& dialog = *this->dialog<TForm4>();
        bool ran = false;
        QTimer::singleShot(0, &dialog, [&] {
            ran = dialog.isVisible();
            SettingsControls controls(dialog);
            whileOpen(controls);
            if (dialog.isVisible())
                dialog.reject();
        });
        find<QAction>("Settings1")->trigger();
        EXPECT_TRUE(ran);
    }

    QString makePogoshell(const QString& name, const QStringList& parts) {
        for (const QString& part : parts)
            QDir().mkpath(path(name + "/" + part));
        QDir().mkpath(path(name));
        return path(name);
    }
};

TEST_F(SettingsDialogTest, DefaultsWithoutSettingsSectionAndOkWritesOnlyTheImageFolder) {
    open();
    openDialog([&](SettingsControls& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Settings");
        EXPECT_EQ(dialog.size(), QSize(369, 277));
        EXPECT_EQ(dialog.TPLBinaryPath->text(), "/");
        EXPECT_EQ(dialog.POGOShellPath->text(), "");
        EXPECT_FALSE(dialog.associations->isEnabled());
        EXPECT_FALSE(dialog.Theme->isEnabled());
        EXPECT_FALSE(dialog.compile->isEnabled());
        EXPECT_EQ(dialog.Theme->currentText(), "Original");
        EXPECT_FALSE(dialog.associations->isChecked());
        EXPECT_FALSE(dialog.compile->isChecked());
        dialog.SpeedButton4->click();
    });
    const auto saved = settingsOnDisk();
    EXPECT_EQ(saved.read("Settings", "TPLBinary", "-"), "/");
    for (const char* key : kPogoshellKeys)
        EXPECT_FALSE(saved.keyExists("Settings", key)) << key;
}

// The card with Pogoshell is not inserted while the dialog opens: the dialog shows no folder,
// but TPL.INI loses nothing unless OK confirms what it shows. Cancel keeps every choice, also
// through the save when the window closes.
TEST_F(SettingsDialogTest, VanishedPogoshellFolderLosesNothingUntilOk) {
    for (const bool confirm : {false, true}) {
        writeSettings("[Settings]\nTPLBinary=/somewhere\nPogoshell=" + toStd(path("gone")) +
                      "\nAssociations=Maintain\nTheme=pogoxp\nCompile=Yes\n");
        const QByteArray before = readWhole(QDir(startFolder_).filePath("TPL.INI"));
        open();
        openDialog([&](SettingsControls& dialog) {
            EXPECT_EQ(readWhole(QDir(startFolder_).filePath("TPL.INI")), before);
            EXPECT_EQ(dialog.POGOShellPath->text(), "");
            EXPECT_FALSE(dialog.compile->isEnabled());
            // The disabled boxes keep the states read from the settings.
            EXPECT_TRUE(dialog.associations->isChecked());
            EXPECT_EQ(dialog.Theme->currentText(), "PogoXP");
            EXPECT_TRUE(dialog.compile->isChecked());
            (confirm ? dialog.SpeedButton4 : dialog.SpeedButton2)->click();
        });
        if (!confirm) {
            EXPECT_EQ(readWhole(QDir(startFolder_).filePath("TPL.INI")), before);
        }
        window_->close();
        const auto saved = settingsOnDisk();
        EXPECT_EQ(saved.read("Settings", "TPLBinary", ""), "/somewhere");
        EXPECT_EQ(saved.keyExists("Settings", "Pogoshell"), !confirm);
        // OK writes the three choices back from the boxes, Cancel leaves them as they were.
        EXPECT_EQ(saved.read("Settings", "Associations", ""), "Maintain");
        EXPECT_EQ(saved.read("Settings", "Theme", ""), confirm ? "PogoXP" : "pogoxp");
        EXPECT_EQ(saved.read("Settings", "Compile", ""), "Yes");
        window_.reset();
    }
}

TEST_F(SettingsDialogTest, ThemePickIsSavedAtOnceAndSurvivesCancel) {
    const QString pogoshell = makePogoshell("pogo", {"plugins", "theme", "root"});
    writeSettings("[Settings]\nPogoshell=" + toStd(pogoshell) + "\nTheme=Blue\n");
    open();
    openDialog([&](SettingsControls& dialog) {
        // Filling selects nothing for an unknown theme and writes nothing.
        EXPECT_EQ(dialog.Theme->currentIndex(), -1);
        EXPECT_FALSE(settingsOnDisk().keyExists("Settings", "Associations"));
        EXPECT_FALSE(dialog.associations->isChecked());
        EXPECT_TRUE(dialog.Theme->isEnabled());
        dialog.Theme->setFocus();
        QTest::keyClick(dialog.Theme, Qt::Key_Down);
        EXPECT_EQ(dialog.Theme->currentText(), "Amiga");
        const auto onDisk = settingsOnDisk();
        EXPECT_EQ(onDisk.read("Settings", "Associations", ""), "Maintain");
        EXPECT_EQ(onDisk.read("Settings", "Theme", ""), "Amiga");
        dialog.SpeedButton2->click();
    });
    const auto saved = settingsOnDisk();
    EXPECT_EQ(saved.read("Settings", "Associations", ""), "Maintain");
    EXPECT_EQ(saved.read("Settings", "Theme", ""), "Amiga");
    EXPECT_EQ(saved.read("Settings", "Pogoshell", ""), toStd(pogoshell));
}

TEST_F(SettingsDialogTest, AssociationsBoxSwitchesTheThemeList) {
    const QString pogoshell = makePogoshell("pogo", {"plugins", "theme", "root"});
    writeSettings("[Settings]\nPogoshell=" + toStd(pogoshell) + "\nAssociations=maintain\n");
    open();
    openDialog([&](SettingsControls& dialog) {
        EXPECT_FALSE(dialog.associations->isChecked()); // the value's case counts
        EXPECT_TRUE(dialog.Theme->isEnabled());
        QTest::mouseClick(dialog.associations, Qt::LeftButton, {},
                          QPoint(5, dialog.associations->height() / 2));
        EXPECT_TRUE(dialog.associations->isChecked());
        EXPECT_TRUE(dialog.Theme->isEnabled());
        QTest::mouseClick(dialog.associations, Qt::LeftButton, {},
                          QPoint(5, dialog.associations->height() / 2));
        EXPECT_FALSE(dialog.Theme->isEnabled());
        dialog.SpeedButton4->click();
    });
    EXPECT_FALSE(settingsOnDisk().keyExists("Settings", "Associations"));
    EXPECT_FALSE(settingsOnDisk().keyExists("Settings", "Theme"));
}

TEST_F(SettingsDialogTest, NewPogoshellFolderIsCheckedForItsSubfolders) {
    const QString noRoot = makePogoshell("noroot", {"plugins", "theme"});
    const QString empty = makePogoshell("empty", {});
    const QString good = makePogoshell("good", {"plugins", "theme", "root"});
    open();
    prompts_.folderChoices = {noRoot, good, empty, std::nullopt};
    openDialog([&](SettingsControls& dialog) {
        dialog.SpeedButton3->click();
        ASSERT_EQ(prompts_.messages.size(), 1u);
        EXPECT_EQ(prompts_.messages[0].caption, "Tapeloom warning");
        EXPECT_EQ(prompts_.messages[0].text,
                  "This folder does not appear to contain Pogoshell!\rCan't find folder \\root");
        EXPECT_EQ(prompts_.messages[0].icon, Prompts::Icon::None);
        EXPECT_EQ(dialog.POGOShellPath->text(), "");

        dialog.SpeedButton3->click();
        EXPECT_EQ(prompts_.messages.size(), 1u);
        EXPECT_EQ(dialog.POGOShellPath->text(), good);
        EXPECT_TRUE(dialog.compile->isEnabled());

        dialog.SpeedButton3->click(); // a failed choice empties a good field
        ASSERT_EQ(prompts_.messages.size(), 2u);
        EXPECT_TRUE(prompts_.messages[1].text.endsWith("Can't find folder \\plugins"));
        EXPECT_EQ(dialog.POGOShellPath->text(), "");
        EXPECT_FALSE(dialog.compile->isEnabled());

        dialog.SpeedButton3->click(); // cancelled: nothing changes
        EXPECT_EQ(prompts_.folderStarts.last(), "");
        EXPECT_EQ(prompts_.messages.size(), 2u);
        dialog.SpeedButton2->click();
    });
    EXPECT_FALSE(settingsOnDisk().keyExists("Settings", "Pogoshell"));
}

TEST_F(WindowTest, FolderPickerOffersToCreateAMissingFolder) {
    const QString missing = path("new/deeper/folder");
    EXPECT_FALSE(confirmPickedFolder(nullptr, missing, prompts_)); // unscripted: No
    EXPECT_FALSE(QDir(missing).exists());
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_EQ(prompts_.messages[0].text, "The specified directory does not exist. Create it?");
    EXPECT_EQ(prompts_.messages[0].buttons, Prompts::Buttons::YesNo);

    prompts_.answers.push_back(Prompts::Answer::Yes);
    EXPECT_TRUE(confirmPickedFolder(nullptr, missing, prompts_));
    EXPECT_TRUE(QDir(missing).exists());
    EXPECT_TRUE(confirmPickedFolder(nullptr, missing, prompts_)); // existing: no question
    EXPECT_EQ(prompts_.messages.size(), 2u);
}
