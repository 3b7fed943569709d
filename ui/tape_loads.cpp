#include "tape_loads.h"

#include "qt_text.h"
#include "tape_snapshots.h"

#include <QApplication>
#include <QConcatenateTablesProxyModel>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <QTableView>

namespace {
enum Column { RomName, Control, Filename, Path, ColumnCount };
} // namespace

TapeLoads::TapeLoads(std::filesystem::path snapshotFolder,
                     std::function<bool(const QString&)> confirmStop, QObject* parent)
    : QAbstractTableModel(parent), folder_(std::move(snapshotFolder)),
      confirmStop_(std::move(confirmStop)) {}

TapeLoads* TapeLoads::below(QTableView* view, std::filesystem::path snapshotFolder,
                            std::function<bool(const QString&)> confirmStop, QObject* parent) {
    auto* loads = new TapeLoads(std::move(snapshotFolder), std::move(confirmStop), parent);
    auto* rows = new QConcatenateTablesProxyModel(view);
    rows->addSourceModel(view->model());
    rows->addSourceModel(loads);
    view->setModel(rows);
    view->setItemDelegateForColumn(ProgressColumn, new TapeProgressDelegate(*loads, view));
    return loads;
}

TapeLoads::~TapeLoads() {
    if (!jobs_.isEmpty())
        jobs_.first().cancel->store(true);
    join();
}

void TapeLoads::join() {
    if (worker_.joinable())
        worker_.join();
}

void TapeLoads::start(const QString& tapePath) {
    const int row = static_cast<int>(jobs_.size());
    beginInsertRows({}, row, row);
    jobs_.append({nextId_++, tapePath, -1, std::make_shared<std::atomic<bool>>(false)});
    endInsertRows();
    if (row == 0)
        runNext();
}

// The first job runs on a thread of its own; what it reports comes back through the event loop.
void TapeLoads::runNext() {
    join();
    if (jobs_.isEmpty())
        return;
    Job& job = jobs_.first();
    job.percent = 0;
    emit dataChanged(index(0, 0), index(0, ColumnCount - 1));
    const quint64 id = job.id;
    const std::filesystem::path tape = toPath(job.tape);
    worker_ = std::thread([this, id, tape, folder = folder_, cancel = job.cancel] {
        tapeloom::TapeLoadOptions options;
        int shown = 0;
        options.progress = [&](const tapeloom::TapeLoadProgress& progress) {
            int percent = progress.total == 0 ? 100
                                              : static_cast<int>(std::min<std::uint64_t>(
                                                    progress.played * 100 / progress.total, 100));
            if (percent != shown) {
                shown = percent;
                QMetaObject::invokeMethod(
                    this, [this, id, percent] { setPercent(id, percent); }, Qt::QueuedConnection);
            }
            return !cancel->load();
        };
        QString snapshot, error;
        try {
            snapshot = toQ(tapeloom::convertTape(tape, folder, options).string());
        } catch (const tapeloom::TapeLoadCancelled&) {
        } catch (const std::exception& failure) {
            error = QString::fromLocal8Bit(failure.what());
        }
        QMetaObject::invokeMethod(
            this, [this, id, snapshot, error] { finish(id, snapshot, error); },
            Qt::QueuedConnection);
    });
}

void TapeLoads::finish(quint64 id, const QString& snapshot, const QString& error) {
    const int row = rowOf(id);
    if (row >= 0) {
        beginRemoveRows({}, row, row);
        jobs_.removeAt(row);
        endRemoveRows();
    }
    if (!snapshot.isEmpty())
        emit loaded(snapshot);
    else if (!error.isEmpty())
        emit failed(error);
    runNext();
}

void TapeLoads::setPercent(quint64 id, int percent) {
    const int row = rowOf(id);
    if (row < 0)
        return;
    jobs_[row].percent = percent;
    emit dataChanged(index(row, ProgressColumn), index(row, ProgressColumn));
}

int TapeLoads::rowOf(quint64 id) const {
    for (int row = 0; row < jobs_.size(); ++row)
        if (jobs_[row].id == id)
            return row;
    return -1;
}

void TapeLoads::stopLoad(quint64 id) {
    int row = rowOf(id);
    if (row < 0 || !confirmStop_(QFileInfo(jobs_[row].tape).fileName()))
        return;
    row = rowOf(id); // the load may have ended while the question was open
    if (row == 0) {
        jobs_[0].cancel->store(true); // its row goes when the worker has stopped
    } else if (row > 0) {
        beginRemoveRows({}, row, row);
        jobs_.removeAt(row);
        endRemoveRows();
    }
}

int TapeLoads::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(jobs_.size());
}

int TapeLoads::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TapeLoads::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Job& job = jobs_[index.row()];
    if (role == LoadRole)
        return job.id;
    if (role == ProgressRole && index.column() == ProgressColumn)
        return job.percent;
    if (role != Qt::DisplayRole)
        return {};
    const QFileInfo tape(job.tape);
    switch (index.column()) {
    case RomName:
        return tape.completeBaseName();
    case Filename:
        return tape.fileName();
    case Path:
        return job.percent < 0 ? QStringLiteral("Waiting to load")
                               : QStringLiteral("Loading %1%").arg(job.percent);
    default:
        return {};
    }
}

Qt::ItemFlags TapeLoads::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

TapeProgressDelegate::TapeProgressDelegate(TapeLoads& loads, QObject* parent)
    : QStyledItemDelegate(parent), loads_(loads) {}

void TapeProgressDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const QVariant percent = index.data(TapeLoads::ProgressRole);
    if (!percent.isValid()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(1, 1, -1, -1);
    bar.state = option.state | QStyle::State_Horizontal;
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = std::max(percent.toInt(), 0);
    bar.text = index.data(Qt::DisplayRole).toString();
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
}

bool TapeProgressDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                       const QStyleOptionViewItem& option,
                                       const QModelIndex& index) {
    const QVariant load = index.data(TapeLoads::LoadRole);
    if (load.isValid() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        loads_.stopLoad(load.toULongLong());
        return true;
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}
