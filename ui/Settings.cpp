#include "Settings.h"

#include "catalogue.h"
#include "prompts.h"
#include "qt_text.h"
#include "settings_dialog.h"
#include "window_build_host.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TForm4::TForm4(tapeloom::Session& session, Prompts& prompts, QWidget* parent)
    : QDialog(parent), session_(session), prompts_(prompts) {
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
    for (std::string_view theme : tapeloom::kThemeChoices)
        Theme->addItem(toQ(theme));
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
    const tapeloom::SettingsOpening opening =
        tapeloom::openSettings(session_.settings, toPath(QDir::currentPath()));
    const tapeloom::SettingsChoices& choices = opening.choices;
    associations->setChecked(choices.associations);
    Theme->setCurrentIndex(Theme->findText(toQ(choices.theme), Qt::MatchExactly));
    compile->setChecked(choices.compile);
    TPLBinaryPath->setText(toQ(choices.imageFolder));
    POGOShellPath->setText(toQ(choices.pogoshellFolder));
    setPogoshellGroupEnabled(!choices.pogoshellFolder.empty());
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
    if (const auto problem = tapeloom::pogoshellSubfolderProblem(toStd(result))) {
        WindowBuildHost(prompts_, this, nullptr)
            .showMessage(tapeloom::kPogoshellWarning.caption, *problem,
                         tapeloom::kPogoshellWarning.buttons, tapeloom::kPogoshellWarning.icon);
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
    try {
        tapeloom::recordThemePick(session_.settings, toStd(Theme->currentText()));
    } catch (const std::exception& error) {
        reportError(error);
    }
}

void TForm4::SpeedButton4Click() {
    tapeloom::SettingsChoices choices;
    choices.imageFolder = toStd(TPLBinaryPath->text());
    choices.pogoshellFolder = toStd(POGOShellPath->text());
    choices.associations = associations->isChecked();
    choices.theme = Theme->currentIndex() >= 0 ? toStd(Theme->currentText()) : std::string();
    choices.compile = compile->isChecked();
    try {
        tapeloom::applySettings(session_.settings, choices);
    } catch (const std::exception& error) {
        reportError(error);
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

void TForm4::reportError(const std::exception& error) {
    prompts_.reportError(this, QString::fromLocal8Bit(error.what()));
}
