#pragma once
// Tapes on their way into the catalogue: each is a row below the catalogue's rows, with a
// progress bar, while a worker thread loads the tapes one after another on the desktop's
// Spectrum (the window stays responsive). A loaded tape's snapshot is handed on to be added;
// a click on a row's progress bar offers to stop that load.
#include <QAbstractTableModel>
#include <QStyledItemDelegate>

class QTableView;

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

class TapeLoads : public QAbstractTableModel {
    Q_OBJECT
  public:
    // Progress of a row in percent (an int), under this role of the progress column.
    static constexpr int ProgressRole = Qt::UserRole + 1;
    // The load's number (a quint64), under this role of every column.
    static constexpr int LoadRole = Qt::UserRole + 2;
    static constexpr int ProgressColumn = 3;

    // Snapshots go into snapshotFolder. confirmStop asks whether a load is to be stopped.
    TapeLoads(std::filesystem::path snapshotFolder, std::function<bool(const QString&)> confirmStop,
              QObject* parent = nullptr);
    // Loads shown below the rows of `view`'s model (their progress bars in the progress column).
    // Call before anything watches the view's selection: the view gets a new model.
    static TapeLoads* below(QTableView* view, std::filesystem::path snapshotFolder,
                            std::function<bool(const QString&)> confirmStop, QObject* parent);
    // Stops the load under way and drops the others.
    ~TapeLoads() override;

    // Queues a tape to be loaded.
    void start(const QString& tapePath);
    // Asks, then stops a load (one waiting is dropped, the one running is cancelled).
    void stopLoad(quint64 id);
    bool busy() const { return !jobs_.isEmpty(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  signals:
    // A tape loaded into this snapshot file.
    void loaded(const QString& snapshotPath);
    // A tape could not be loaded: the error report's text.
    void failed(const QString& message);

  private:
    struct Job {
        quint64 id = 0;
        QString tape;
        int percent = -1; // -1 while it waits its turn
        std::shared_ptr<std::atomic<bool>> cancel;
    };
    void runNext();
    void finish(quint64 id, const QString& snapshot, const QString& error);
    void setPercent(quint64 id, int percent);
    int rowOf(quint64 id) const;
    void join();

    std::filesystem::path folder_;
    std::function<bool(const QString&)> confirmStop_;
    QList<Job> jobs_; // the first one runs
    quint64 nextId_ = 1;
    std::thread worker_;
};

// Paints a row's progress as a bar in the progress column; a click on the bar offers to stop
// the load.
class TapeProgressDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    TapeProgressDelegate(TapeLoads& loads, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

  private:
    TapeLoads& loads_;
};
