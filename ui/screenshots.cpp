#include "screenshots.h"

#include "About.h"
#include "Settings.h"
#include "main.h"

#include <QApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <QTableView>
#include <QThread>

namespace {

bool save(QWidget* window, const QString& file) {
    window->raise();
    window->activateWindow();
    for (int round = 0; round < 10; ++round) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
    return window->grab().save(file);
}

} // namespace

int takeScreenshotsIfAsked(TForm1& main) {
    const QString folder = qEnvironmentVariable("TAPELOOM_SCREENSHOTS");
    if (folder.isEmpty())
        return -1;
    const QString files = qEnvironmentVariable("TAPELOOM_SCREENSHOT_SNAPSHOTS");
    if (!files.isEmpty())
        main.addSnapshotFiles(files.split(QLatin1Char(':'), Qt::SkipEmptyParts));
    auto* list = main.findChild<QTableView*>(QStringLiteral("ListView1"));
    if (list->model()->rowCount() > 1) {
        list->selectionModel()->setCurrentIndex(list->model()->index(1, 0),
                                                QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
    }
    list->setFocus();
    bool saved = save(&main, QDir(folder).filePath(QStringLiteral("main-window.png")));

    auto* settings = main.findChild<TForm4*>();
    settings->fillFromSettings();
    settings->show();
    saved = save(settings, QDir(folder).filePath(QStringLiteral("settings.png"))) && saved;
    settings->hide();

    auto* about = main.findChild<TForm3*>();
    about->show();
    saved = save(about, QDir(folder).filePath(QStringLiteral("about.png"))) && saved;
    about->hide();
    main.close(); // as the user would: the settings are saved
    return saved ? 0 : 1;
}
