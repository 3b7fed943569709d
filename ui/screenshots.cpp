#include "screenshots.h"

#include "About.h"
#include "Settings.h"
#include "main.h"
#include "tape_loads.h"

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

// The list while tapes load: taken the moment the first load passes 40 %, before the window
// hears that it has finished.
bool saveTapeLoading(TForm1& main, const QStringList& tapes, const QString& file) {
    TapeLoads& loads = main.tapeLoads();
    bool saved = false, taken = false;
    QObject::connect(&loads, &QAbstractItemModel::dataChanged, &main, [&](const QModelIndex& at) {
        if (!taken && at.data(TapeLoads::ProgressRole).toInt() >= 40) {
            taken = true;
            saved = main.grab().save(file);
        }
    });
    main.addSnapshotFiles(tapes);
    while (loads.busy())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return saved;
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
    const QString tapes = qEnvironmentVariable("TAPELOOM_SCREENSHOT_TAPES");
    if (!tapes.isEmpty())
        saved = saveTapeLoading(main, tapes.split(QLatin1Char(':'), Qt::SkipEmptyParts),
                                QDir(folder).filePath(QStringLiteral("tape-loading.png"))) &&
                saved;

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
