#pragma once
// Each test starts the main window in a fresh temporary folder, with scripted dialogs.
#include "controls.h"
#include "main.h"
#include "qt_text.h"
#include "scripted_prompts.h"
#include "settings_file.h"

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // TPL.INI in the start folder; lines are joined with CR LF.
    void writeSettings(const std::string& lines);
    // The settings file as it stands on disk.
    tapeloom::SettingsFile settingsOnDisk() const;
    // Creates a small file below the start folder and returns its full path.
    QString makeFile(const QString& relativePath, const QByteArray& content = "snapshot") const;
    QString path(const QString& relativePath) const;

    void open();
    // A control of the main window (not of its dialogs) by its name.
    template <typename T> T* find(const QString& name) const {
        return tapeloom::test::control<T>(window_.get(), name);
    }
    // One of the main window's dialogs.
    template <typename Dialog> Dialog* dialog() const {
        Dialog* found = window_->findChild<Dialog*>();
        if (found == nullptr)
            throw std::runtime_error("dialog not created");
        return found;
    }
    // Adds files through the Add button and its (scripted) dialog.
    void add(const QStringList& relativePaths);
    QString cell(int row, int column) const;
    int rows() const;
    void select(const QList<int>& rows, int focus);

    QTemporaryDir temp_;
    QString startFolder_;
    QString previousFolder_;
    tapeloom::test::ScriptedPrompts prompts_;
    std::unique_ptr<TForm1> window_;
};

QByteArray readWhole(const QString& path);

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
