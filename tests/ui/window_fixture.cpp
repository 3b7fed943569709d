#include "window_fixture.h"

#include "qt_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>

void WindowTest::SetUp() {
    ASSERT_TRUE(temp_.isValid());
    startFolder_ = QDir(temp_.path()).filePath(QStringLiteral("start"));
    ASSERT_TRUE(QDir().mkpath(startFolder_));
    previousFolder_ = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(startFolder_));
}

void WindowTest::TearDown() {
    window_.reset();
    QDir::setCurrent(previousFolder_);
}

void WindowTest::writeSettings(const std::string& lines) {
    std::string text;
    for (char c : lines) {
        if (c == '\n')
            text += '\r';
        text += c;
    }
    QFile file(QDir(startFolder_).filePath(QStringLiteral("TPL.INI")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

tapeloom::SettingsFile WindowTest::settingsOnDisk() const {
    return tapeloom::SettingsFile::open(
        toPath(QDir(startFolder_).filePath(QStringLiteral("TPL.INI"))));
}

QString WindowTest::path(const QString& relativePath) const {
    return QDir(temp_.path()).filePath(relativePath);
}

QString WindowTest::makeFile(const QString& relativePath, const QByteArray& content) const {
    const QString full = path(relativePath);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return full;
}

void WindowTest::open() {
    window_ = std::make_unique<TForm1>(prompts_);
    window_->createDialogs();
    window_->show();
}

void WindowTest::add(const QStringList& relativePaths) {
    QStringList files;
    for (const QString& relative : relativePaths)
        files.append(makeFile(relative));
    prompts_.fileChoices.push_back(files);
    find<QPushButton>("Add")->click();
}

QString WindowTest::cell(int row, int column) const {
    return find<QTableView>("ListView1")->model()->index(row, column).data().toString();
}

int WindowTest::rows() const {
    return find<QTableView>("ListView1")->model()->rowCount();
}

void WindowTest::select(const QList<int>& selected, int focus) {
    QTableView* list = find<QTableView>("ListView1");
    QItemSelectionModel* selection = list->selectionModel();
    selection->clearSelection();
    for (int row : selected)
        selection->select(list->model()->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->setCurrentIndex(list->model()->index(focus, 0), QItemSelectionModel::NoUpdate);
}

QByteArray readWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
