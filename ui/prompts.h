#pragma once
// What the windows ask of the desktop: message boxes, file and folder choosers, the general
// error report and opening an address. Windows talk to this interface only, so tests can answer
// every dialog from a script.
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

class Prompts {
  public:
    enum class Buttons { Ok, YesNo };
    enum class Icon { None, Warning, Critical };
    enum class Answer { Ok, Yes, No };

    virtual ~Prompts();

    // A modal message box. A '\r' in the text is a line break.
    virtual Answer message(QWidget* parent, const QString& caption, const QString& text,
                           Buttons buttons, Icon icon) = 0;

    // File-open dialog for existing files; `filter` in Qt's "Name (*.a *.b);;Other (*.c)" form.
    // Returns the picked files in the dialog's order, empty when cancelled.
    virtual QStringList openFiles(QWidget* parent, const QString& title, const QString& folder,
                                  const QString& filter, bool multiple) = 0;

    // Directory chooser titled "Select Directory", opened at `start`. Confirming a folder that
    // does not exist asks whether to create it (No returns to the chooser, Yes creates it with
    // its parents). Returns the full path without a trailing separator, or nothing when cancelled.
    virtual std::optional<QString> pickFolder(QWidget* parent, const QString& start) = 0;

    // The general error report: an error that ended a command, shown with the stop icon and the
    // application title as caption; the text gets the usual full stop.
    virtual void reportError(QWidget* parent, const QString& message) = 0;

    // Asks the desktop to open an address with its default handler; the outcome is not reported.
    virtual void openAddress(const QString& address) = 0;
};

// The real dialogs.
class QtPrompts : public Prompts {
  public:
    Answer message(QWidget* parent, const QString& caption, const QString& text, Buttons buttons,
                   Icon icon) override;
    QStringList openFiles(QWidget* parent, const QString& title, const QString& folder,
                          const QString& filter, bool multiple) override;
    std::optional<QString> pickFolder(QWidget* parent, const QString& start) override;
    void reportError(QWidget* parent, const QString& message) override;
    void openAddress(const QString& address) override;
};

// Caption of the general error report: the executable's name as the application title.
QString applicationCaption();

// The text of a message as a message box shows it ('\r' becomes a line break).
QString messageBoxText(const QString& text);

// Opens the homepage from the settings; without one (an empty address) nothing happens.
void openHomepage(Prompts& prompts, const QString& address);

// Confirms a folder picked in the directory chooser: an existing folder is taken; for a missing
// one the user is asked whether to create it. Returns false when the chooser should stay open.
bool confirmPickedFolder(QWidget* parent, const QString& folder, Prompts& prompts);
