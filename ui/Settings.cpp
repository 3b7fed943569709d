#include "Settings.h"

#include "main.h"
#include "prompts.h"
#include "qt_text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr const char* kSection = "Settings";

bool isFolder(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

} // namespace

QString driveOfCurrentDirectory() {
    return QStringLiteral("/");
}

QString testPogoshellFolder(const QString& folder) {
    for (const QString& part : {QString(), QStringLiteral("/plugins"), QStringLiteral("/theme"),
                                QStringLiteral("/root")}) {
        if (!isFolder(folder + part))
            return {};
    }
    return folder;
}

QString missingPogoshellFolder(const QString& folder) {
    for (const QString& name :
         {QStringLiteral("plugins"), QStringLiteral("root"), QStringLiteral("theme")}) {
        if (!isFolder(folder + QLatin1Char('/') + name))
            return name;
    }
    return {};
}

TForm4::TForm4(TForm1& main, Prompts& prompts, QWidget* parent)
    : QDialog(parent), main_(main), prompts_(prompts) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Settings"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(369, 277);

    GroupBox2 = new QGroupBox(QStringLiteral("Tapeloom "), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(8, 6, 353, 70);
    Label1 = new QLabel(QStringLiteral("Create Tapeloom in this folder:"), GroupBox2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(12, 20, 320, 16);
    TPLBinaryPath = new QLineEdit(GroupBox2);
    TPLBinaryPath->setObjectName(QStringLiteral("TPLBinaryPath"));
    TPLBinaryPath->setReadOnly(true);
    TPLBinaryPath->setGeometry(12, 38, 299, 23);
    SpeedButton1 = new QPushButton(QStringLiteral("..."), GroupBox2);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setGeometry(315, 38, 26, 23);

    GroupBox1 = new QGroupBox(QStringLiteral("TPL4Pogo "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 82, 353, 150);
    Label2 = new QLabel(QStringLiteral("Location of Pogoshell:"), GroupBox1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(12, 20, 320, 16);
    POGOShellPath = new QLineEdit(GroupBox1);
    POGOShellPath->setObjectName(QStringLiteral("POGOShellPath"));
    POGOShellPath->setReadOnly(true);
    POGOShellPath->setGeometry(12, 38, 299, 23);
    SpeedButton3 = new QPushButton(QStringLiteral("..."), GroupBox1);
    SpeedButton3->setObjectName(QStringLiteral("SpeedButton3"));
    SpeedButton3->setGeometry(315, 38, 26, 23);
    associations = new QCheckBox(
        QStringLiteral("Create Pogoshell file associations, for this theme:"), GroupBox1);
    associations->setObjectName(QStringLiteral("associations"));
    associations->setGeometry(12, 68, 330, 20);
    Theme = new QComboBox(GroupBox1);
    Theme->setObjectName(QStringLiteral("Theme"));
    Theme->addItems({QStringLiteral("Amiga"), QStringLiteral("Original"), QStringLiteral("PogoXP"),
                     QStringLiteral("XPSmall")});
    Theme->setGeometry(32, 92, 145, 23);
    compile = new QCheckBox(QStringLiteral("Automatically compile Pogoshell?"), GroupBox1);
    compile->setObjectName(QStringLiteral("compile"));
    compile->setGeometry(12, 122, 330, 20);

    SpeedButton4 = new QPushButton(QStringLiteral("OK"), this);
    SpeedButton4->setObjectName(QStringLiteral("SpeedButton4"));
    SpeedButton4->setGeometry(8, 242, 75, 27);
    SpeedButton2 = new QPushButton(QStringLiteral("Cancel"), this);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setGeometry(89, 242, 75, 27);
    for (QPushButton* button : {SpeedButton1, SpeedButton3, SpeedButton4, SpeedButton2})
        button->setAutoDefault(false);

    connect(SpeedButton1, &QPushButton::clicked, this, &TForm4::SpeedButton1Click);
    connect(SpeedButton3, &QPushButton::clicked, this, &TForm4::SpeedButton3Click);
    connect(associations, &QCheckBox::clicked, this, &TForm4::associationsClick);
    // Only a pick by the user counts as a theme change, not a selection made while filling.
    connect(Theme, &QComboBox::activated, this, &TForm4::ThemeChange);
    connect(SpeedButton4, &QPushButton::clicked, this, &TForm4::SpeedButton4Click);
    connect(SpeedButton2, &QPushButton::clicked, this, &TForm4::SpeedButton2Click);
}

void TForm4::Settings1Click() {
    fillFromSettings();
    SpeedButton4->setFocus();
    exec();
}

void TForm4::fillFromSettings() {
    tapeloom::SettingsFile& settings = main_.session().settings;
    const std::string drive = toStd(driveOfCurrentDirectory());
    const QString imageFolder = toQ(settings.read(kSection, "TPLBinary", drive));
    const QString pogoshellFolder =
        testPogoshellFolder(toQ(settings.read(kSection, "Pogoshell", drive)));

    associations->setChecked(settings.read(kSection, "Associations", "") == "Maintain");
    Theme->setCurrentIndex(
        Theme->findText(toQ(settings.read(kSection, "Theme", "Original")), Qt::MatchFixedString));
    compile->setChecked(settings.read(kSection, "Compile", "") == "Yes");

    TPLBinaryPath->setText(imageFolder);
    POGOShellPath->setText(pogoshellFolder);

    if (pogoshellFolder.isEmpty()) {
        for (const char* key : {"Pogoshell", "Associations", "Theme", "Compile"})
            settings.remove(kSection, key);
        save();
        setPogoshellGroupEnabled(false);
    } else {
        setPogoshellGroupEnabled(true);
    }
}

void TForm4::SpeedButton1Click() {
    if (const auto folder = prompts_.pickFolder(this, TPLBinaryPath->text()))
        TPLBinaryPath->setText(*folder);
}

void TForm4::SpeedButton3Click() {
    const auto folder = prompts_.pickFolder(this, POGOShellPath->text());
    if (!folder)
        return;
    QString result = *folder;
    const QString missing = missingPogoshellFolder(result);
    if (!missing.isEmpty()) {
        prompts_.message(this, QStringLiteral("Tapeloom warning"),
                         QStringLiteral("This folder does not appear to contain Pogoshell!\r"
                                        "Can't find folder \\") +
                             missing,
                         Prompts::Buttons::Ok, Prompts::Icon::None);
        result.clear();
    }
    POGOShellPath->setText(result);
    setPogoshellGroupEnabled(!result.isEmpty());
}

void TForm4::associationsClick() {
    Theme->setEnabled(associations->isChecked());
    Theme->update();
}

void TForm4::ThemeChange() {
    tapeloom::SettingsFile& settings = main_.session().settings;
    settings.write(kSection, "Associations", "Maintain");
    settings.write(kSection, "Theme", toStd(Theme->currentText()));
    save();
}

void TForm4::SpeedButton4Click() {
    tapeloom::SettingsFile& settings = main_.session().settings;
    settings.write(kSection, "TPLBinary", toStd(TPLBinaryPath->text()));
    if (!POGOShellPath->text().isEmpty())
        settings.write(kSection, "Pogoshell", toStd(POGOShellPath->text()));
    else
        settings.remove(kSection, "Pogoshell");
    if (associations->isChecked()) {
        settings.write(kSection, "Associations", "Maintain");
        settings.write(kSection, "Theme",
                       Theme->currentIndex() >= 0 ? toStd(Theme->currentText()) : std::string());
    } else {
        settings.remove(kSection, "Associations");
        settings.remove(kSection, "Theme");
    }
    if (compile->isChecked())
        settings.write(kSection, "Compile", "Yes");
    else
        settings.remove(kSection, "Compile");
    try {
        settings.save();
    } catch (const std::exception& error) {
        prompts_.reportError(this, QString::fromLocal8Bit(error.what()));
        return;
    }
    accept();
}

void TForm4::SpeedButton2Click() {
    reject();
}

void TForm4::setPogoshellGroupEnabled(bool enabled) {
    associations->setEnabled(enabled);
    Theme->setEnabled(enabled);
    compile->setEnabled(enabled);
}

void TForm4::save() {
    try {
        main_.session().settings.save();
    } catch (const std::exception& error) {
        prompts_.reportError(this, QString::fromLocal8Bit(error.what()));
    }
}
