#include "prompts.h"

#include "errors.h"
#include "qt_text.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

Prompts::~Prompts() = default;

QString applicationCaption() {
    QString executable = QCoreApplication::arguments().value(0);
    if (executable.isEmpty())
        executable = QCoreApplication::applicationFilePath();
    return toQ(tapeloom::applicationTitle(toStd(QFileInfo(executable).fileName())));
}

QString messageBoxText(const QString& text) {
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void openHomepage(Prompts& prompts, const QString& address) {
    if (!address.isEmpty())
        prompts.openAddress(address);
}

bool confirmPickedFolder(QWidget* parent, const QString& folder, Prompts& prompts) {
    if (QFileInfo(folder).isDir())
        return true;
    const auto answer =
        prompts.message(parent, QStringLiteral("Confirm"),
                        QStringLiteral("The specified directory does not exist. Create it?"),
                        Prompts::Buttons::YesNo, Prompts::Icon::None);
    if (answer != Prompts::Answer::Yes)
        return false;
    if (!QDir().mkpath(folder)) {
        prompts.reportError(parent, QStringLiteral("Unable to create directory ") + folder);
        return false;
    }
    return true;
}

namespace {

// Qt's own directory chooser refuses a folder that does not exist; this one offers to create it.
class FolderChooser : public QFileDialog {
  public:
    FolderChooser(QWidget* parent, const QString& start, Prompts& prompts)
        : QFileDialog(parent, QStringLiteral("Select Directory"), start), prompts_(prompts) {
        setFileMode(QFileDialog::Directory);
        setOption(QFileDialog::ShowDirsOnly);
        setOption(QFileDialog::DontUseNativeDialog);
    }

    void accept() override {
        const QStringList picked = selectedFiles();
        if (!picked.isEmpty() && !confirmPickedFolder(this, picked.first(), prompts_))
            return;
        QFileDialog::accept();
    }

  private:
    Prompts& prompts_;
};

QMessageBox::Icon toQt(Prompts::Icon icon) {
    switch (icon) {
    case Prompts::Icon::Warning:
        return QMessageBox::Warning;
    case Prompts::Icon::Critical:
        return QMessageBox::Critical;
    case Prompts::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

Prompts::Answer QtPrompts::message(QWidget* parent, const QString& caption, const QString& text,
                                   Buttons buttons, Icon icon) {
    QMessageBox box(
        toQt(icon), caption, messageBoxText(text),
        buttons == Buttons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    const int result = box.exec();
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

QStringList QtPrompts::openFiles(QWidget* parent, const QString& title, const QString& folder,
                                 const QString& filter, bool multiple) {
    QFileDialog dialog(parent, title, folder, filter);
    dialog.setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

std::optional<QString> QtPrompts::pickFolder(QWidget* parent, const QString& start) {
    FolderChooser chooser(parent, start, *this);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::cleanPath(QFileInfo(chooser.selectedFiles().first()).absoluteFilePath());
}

void QtPrompts::reportError(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Critical, applicationCaption(),
                    messageBoxText(toQ(tapeloom::errorReportText(toStd(message)))), QMessageBox::Ok,
                    parent);
    box.exec();
}

void QtPrompts::openAddress(const QString& address) {
    QDesktopServices::openUrl(QUrl::fromUserInput(address));
}
