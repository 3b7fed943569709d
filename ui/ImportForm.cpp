#include "ImportForm.h"

#include "catalogue.h"
#include "import_dialog.h"
#include "prompts.h"
#include "qt_text.h"
#include "window_build_host.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>

#include <algorithm>

namespace {

constexpr int kClientWidth = 281;
constexpr int kClientHeight = 141;

// The core's filter entry in Qt's "Name (pattern)" form.
QString injectFilter() {
    return toQ(tapeloom::kInjectFilterName) + QStringLiteral(" (") +
           toQ(tapeloom::kInjectFileName) + QLatin1Char(')');
}

} // namespace

TImport::TImport(tapeloom::Session& session, Prompts& prompts, QWidget* parent)
    : QDialog(parent), session_(session), prompts_(prompts) {
    setObjectName(QStringLiteral("Import"));
    setWindowTitle(QStringLiteral("Import Tarn INI"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);

    GroupBox1 = new QGroupBox(QStringLiteral("Import settings "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 4, 265, 66);
    updatecheck = new QCheckBox(QStringLiteral("Update existing entries"), GroupBox1);
    updatecheck->setObjectName(QStringLiteral("updatecheck"));
    updatecheck->setGeometry(12, 20, 240, 19);
    updatecheck->setChecked(false);
    addcheck = new QCheckBox(QStringLiteral("Add new entries"), GroupBox1);
    addcheck->setObjectName(QStringLiteral("addcheck"));
    addcheck->setGeometry(12, 42, 240, 19);
    addcheck->setChecked(true);
    connect(updatecheck, &QCheckBox::clicked, this, &TImport::updatecheckClick);
    connect(addcheck, &QCheckBox::clicked, this, &TImport::addcheckClick);

    Import = new QPushButton(QStringLiteral("Import"), this);
    Import->setObjectName(QStringLiteral("Import"));
    Import->setGeometry(8, 78, 129, 27);
    Import->setDefault(true);
    connect(Import, &QPushButton::clicked, this, &TImport::ImportClick);
    SpeedButton2 = new QPushButton(QStringLiteral("Cancel"), this);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setGeometry(144, 78, 129, 27);
    SpeedButton2->setAutoDefault(false);
    connect(SpeedButton2, &QPushButton::clicked, this, &TImport::SpeedButton2Click);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 113, 265, 20);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
}

void TImport::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous() && parentWidget() != nullptr) {
        // Centred over the main window.
        const QRect over = parentWidget()->frameGeometry();
        move(over.center() - rect().center());
    }
}

void TImport::enableImport() {
    Import->setEnabled(tapeloom::importOffered({updatecheck->isChecked(), addcheck->isChecked()}));
}

void TImport::updatecheckClick() {
    enableImport();
}
void TImport::addcheckClick() {
    enableImport();
}
void TImport::SpeedButton2Click() {
    reject();
}

void TImport::ImportClick() {
    const QStringList files =
        prompts_.openFiles(this, toQ(tapeloom::kInjectOpenTitle), QString(), injectFilter(), false);
    if (files.isEmpty())
        return;
    const tapeloom::ImportOptions options{updatecheck->isChecked(), addcheck->isChecked()};
    tapeloom::ImportProgress progress;
    progress.setMaximum = [this](int count) {
        ProgressBar1->setRange(0, std::max(count, 1)); // 0 would make a busy bar
        ProgressBar1->setValue(0);
    };
    progress.step = [this] { ProgressBar1->setValue(ProgressBar1->value() + 1); };
    tapeloom::ImportResult result;
    try {
        result =
            tapeloom::importInjectIni(toPath(files.front()), session_.settings, options, progress);
    } catch (const std::exception& error) {
        ProgressBar1->setValue(0);
        prompts_.reportError(this, QString::fromLocal8Bit(error.what()));
        return;
    }
    const std::string report = tapeloom::importReport(result, options);
    WindowBuildHost(prompts_, this, nullptr).show(tapeloom::importReportMessage(report));
    ProgressBar1->setValue(0);
    accept();
}
