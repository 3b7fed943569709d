// Tapes in the window: a dropped tape is a row with a progress bar until its snapshot joins the
// catalogue; a tape that cannot load is reported; a load can be stopped, waiting or running, and
// closing the window stops it.
#include "tape_loads.h"
#include "window_fixture.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTableView>
#include <QUrl>

namespace {

const QString kSharedTapes = QStringLiteral(TAPELOOM_SHARED_DIR "/games/tapes/");

bool waitUntilIdle(TapeLoads& loads, int milliseconds = 60000) {
    QDeadlineTimer deadline(milliseconds);
    while (loads.busy() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return !loads.busy();
}

// A tape that plays a leader tone for hours: the ROM waits in its loader until stopped.
QByteArray endlessTape() {
    QByteArray tzx("ZXTape!\x1A\x01\x14", 10);
    tzx += QByteArray("\x24\x60\xEA", 3);         // loop 60000 times
    tzx += QByteArray("\x12\x78\x08\x60\xEA", 5); // 60000 pulses of 2168 T-states
    tzx += QByteArray("\x25", 1);
    return tzx;
}

quint64 loadOfRow(QTableView* list, int row) {
    return list->model()
        ->index(row, TapeLoads::ProgressColumn)
        .data(TapeLoads::LoadRole)
        .toULongLong();
}

} // namespace

TEST_F(WindowTest, DroppedTapesLoadIntoSnapshotsOfTheCatalogue) {
    open();
    QDir().mkpath(path("drop"));
    QFile::copy(kSharedTapes + "blackstar.tap", path("drop/BLACKSTAR.TAP"));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path("drop/BLACKSTAR.TAP")),
                  QUrl::fromLocalFile(makeFile("drop/broken.tzx", "not a tape")),
                  QUrl::fromLocalFile(makeFile("drop/Manic.Z80"))});
    QWidget* target = find<QTableView>("ListView1")->viewport();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
    // The snapshot at once; each tape a row of its own below, with its progress.
    ASSERT_EQ(rows(), 3);
    EXPECT_EQ(cell(0, 2), "manic.z80");
    EXPECT_EQ(cell(1, 0), "BLACKSTAR");
    EXPECT_EQ(cell(1, 2), "BLACKSTAR.TAP");
    EXPECT_TRUE(cell(1, 3).startsWith("Loading")) << cell(1, 3).toStdString();
    EXPECT_EQ(cell(2, 3), "Waiting to load");
    EXPECT_EQ(window_->catalogue().size(), 1u);

    ASSERT_TRUE(waitUntilIdle(window_->tapeLoads()));
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(cell(0, 2), "blackstar.z80");
    // Kept beside TPL.INI, in the start folder.
    EXPECT_EQ(cell(0, 3), startFolder_ + "/tape-snapshots/");
    EXPECT_TRUE(QFile::exists(startFolder_ + "/tape-snapshots/blackstar.z80"));
    EXPECT_EQ(window_->session().settings.read("blackstar", "Filename", ""), "blackstar");
    ASSERT_EQ(prompts_.errors.size(), 1);
    EXPECT_TRUE(prompts_.errors[0].startsWith("broken.tzx: not a TZX file"))
        << prompts_.errors[0].toStdString();
}

TEST_F(WindowTest, LoadsStopWhenTheUserSaysSo) {
    open();
    const QString endless = makeFile("endless.tzx", endlessTape());
    window_->addSnapshotFiles({endless, endless});
    QTableView* list = find<QTableView>("ListView1");
    ASSERT_EQ(rows(), 2);
    // Asked and declined: nothing happens.
    prompts_.answers = {Prompts::Answer::No, Prompts::Answer::Yes, Prompts::Answer::Yes};
    window_->tapeLoads().stopLoad(loadOfRow(list, 1));
    EXPECT_EQ(rows(), 2);
    ASSERT_FALSE(prompts_.messages.empty());
    EXPECT_EQ(prompts_.messages.back().text, "Stop loading endless.tzx?");
    // The waiting one goes at once, the running one when its worker has stopped.
    window_->tapeLoads().stopLoad(loadOfRow(list, 1));
    EXPECT_EQ(rows(), 1);
    window_->tapeLoads().stopLoad(loadOfRow(list, 0));
    ASSERT_TRUE(waitUntilIdle(window_->tapeLoads(), 20000));
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(prompts_.errors.isEmpty());
    EXPECT_FALSE(QFile::exists(startFolder_ + "/tape-snapshots/endless.z80"));

    // Closing the window while a tape loads stops the load.
    window_->addSnapshotFiles({endless});
    ASSERT_EQ(rows(), 1);
    QDeadlineTimer closing(20000);
    window_.reset();
    EXPECT_FALSE(closing.hasExpired());
}
