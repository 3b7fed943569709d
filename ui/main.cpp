#include "main.h"

#include "About.h"
#include "ImportForm.h"
#include "Settings.h"
#include "build_command.h"
#include "catalogue_list.h"
#include "catalogue_model.h"
#include "config.h"
#include "data_items.h"
#include "pictures.h"
#include "prompts.h"
#include "qt_text.h"
#include "tape_loads.h"
#include "tape_snapshots.h"
#include "version.h"
#include "window_build_host.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QUrl>
#include <algorithm>

namespace {

constexpr const char* kCloseUnsaved = "The settings could not be saved.\rClose anyway?";

constexpr int kClientWidth = 545;
constexpr int kClientHeight = 329;

// Tapes have a filter of their own after the snapshots'; its patterns take any letter case.
const QString kSnapshotFilter =
    QStringLiteral("All Snapshots (*.SNA *.sna *.Z80 *.z80);;SNA Snapshot (*.SNA *.sna);;"
                   "Z80 Snapshot (*.Z80 *.z80);;ZX Tape (*.[tT][aA][pP] *.[tT][zZ][xX])");

// Snapshot files among dropped paths (.sna and .z80, any letter case), and tapes.
bool isSnapshotFile(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    return suffix.compare(QLatin1String("sna"), Qt::CaseInsensitive) == 0 ||
           suffix.compare(QLatin1String("z80"), Qt::CaseInsensitive) == 0 ||
           tapeloom::isTapeFile(toPath(path));
}

QStringList droppedSnapshots(const QMimeData* mime) {
    QStringList files;
    if (mime == nullptr || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls()) {
        const QString file = url.toLocalFile();
        if (!file.isEmpty() && isSnapshotFile(file) && QFileInfo(file).isFile())
            files.append(file);
    }
    return files;
}

} // namespace

TForm1::TForm1(Prompts& prompts, QWidget* parent)
    : QMainWindow(parent), prompts_(prompts),
      session_(tapeloom::openSession(toPath(QDir::currentPath()))) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(toQ(tapeloom::kProductName));
    setWindowIcon(applicationIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    auto* client = new QWidget(this);
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    Image1 = new QLabel(client);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, kClientWidth, 60);
    Image1->setPixmap(
        windowPicture(QStringLiteral("banner"), QSize(kClientWidth, 60), QColor(0xe8, 0xec, 0xf4)));
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->installEventFilter(this);

    Version = new QLabel(Image1);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setText(QStringLiteral("Version ") + toQ(tapeloom::kFileVersion));
    Version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Version->setGeometry(kClientWidth - 208, 40, 200, 18);
    Version->setStyleSheet(QStringLiteral("color: #3c3c50; background: transparent;"));
    Version->setAttribute(Qt::WA_TransparentForMouseEvents);

    ListView1 = new QTableView(client);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(4, 64, kClientWidth - 8, 200);
    list_ = std::make_unique<CatalogueList>(
        session_.settings, ListView1, [this](const QString& message) { reportError(message); },
        [this](const tapeloom::Message& message) {
            WindowBuildHost(prompts_, this, nullptr).show(message);
        },
        [this] { ListView1SelectItem(); });
    tapeLoads_ = TapeLoads::below(
        ListView1, tapeloom::tapeSnapshotFolder(session_.startDirectory),
        [this](const QString& tape) {
            return prompts_.message(this, QStringLiteral("Confirm"),
                                    QStringLiteral("Stop loading %1?").arg(tape),
                                    Prompts::Buttons::YesNo,
                                    Prompts::Icon::Warning) == Prompts::Answer::Yes;
        },
        this);
    connect(tapeLoads_, &TapeLoads::loaded, this,
            [this](const QString& snapshot) { guarded([&] { addRows({toPath(snapshot)}); }); });
    connect(tapeLoads_, &TapeLoads::failed, this, &TForm1::reportError);
    ListView1->setItemDelegateForColumn(0, new DisplayNameDelegate(ListView1));
    ListView1->setShowGrid(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setEditTriggers(QAbstractItemView::SelectedClicked |
                               QAbstractItemView::EditKeyPressed);
    ListView1->setSortingEnabled(false);
    ListView1->setWordWrap(false);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView1->verticalHeader()->hide();
    ListView1->verticalHeader()->setDefaultSectionSize(ListView1->fontMetrics().height() + 4);
    ListView1->horizontalHeader()->setStretchLastSection(false);
    ListView1->horizontalHeader()->setHighlightSections(false);
    // A click on a column caption neither sorts nor selects.
    ListView1->horizontalHeader()->setSectionsClickable(false);
    ListView1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The Control column is 60 pixels wide, or as wide as the longest scheme name needs when
    // the desktop's font is wider than the one those 60 pixels were made for.
    int schemeWidth = ListView1->fontMetrics().horizontalAdvance(QStringLiteral("Kempston"));
    for (const std::string& preset : session_.presets)
        schemeWidth =
            std::max(schemeWidth, ListView1->fontMetrics().horizontalAdvance(toQ(preset)));
    const int widths[] = {100, std::clamp(schemeWidth + 10, 60, 90), 100, 250};
    for (int column = 0; column < 4; ++column)
        ListView1->horizontalHeader()->resizeSection(column, widths[column]);
    ListView1->viewport()->setAcceptDrops(true);
    ListView1->viewport()->installEventFilter(this);
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TForm1::ListView1SelectItem);
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu1Popup();
        PopupMenu1->exec(ListView1->viewport()->mapToGlobal(at));
    });

    auto makeButton = [client](const char* name, const QString& caption, int x, int width) {
        auto* button = new QPushButton(caption, client);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(x, 270, width, 25);
        button->setAutoDefault(false);
        return button;
    };
    Add = makeButton("Add", QStringLiteral("Add"), 4, 75);
    Delete = makeButton("Delete", QStringLiteral("Delete"), 83, 75);
    Configure = makeButton("Configure", QStringLiteral("Configure"), 162, 75);
    Create = makeButton("Create", QStringLiteral("Create TPL"), kClientWidth - 4 - 90, 90);
    Delete->setEnabled(false);
    Configure->setEnabled(false);
    connect(Add, &QPushButton::clicked, this, &TForm1::AddClick);
    connect(Delete, &QPushButton::clicked, this, &TForm1::DeleteClick);
    connect(Configure, &QPushButton::clicked, this, &TForm1::ConfigureClick);
    connect(Create, &QPushButton::clicked, this, &TForm1::CreateClick);

    ProgressBar1 = new QProgressBar(client);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(4, 302, kClientWidth - 8, 20);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    buildMenus();
    buildPopupMenu();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

TForm1::~TForm1() {
    // The list's rows go before the window's widgets: the view must not show them any more.
    ListView1->setModel(nullptr);
}

void TForm1::createDialogs() {
    Form2 = new TForm2(session_, *list_, prompts_, this);
    Form3 = new TForm3(toQ(session_.homepage), prompts_, this);
    Form4 = new TForm4(session_, prompts_, this);
    Import1 = new TImport(session_, prompts_, this);
}

void TForm1::buildMenus() {
    auto action = [this](QMenu* menu, const char* name, const QString& caption,
                         const QKeySequence& shortcut, void (TForm1::*handler)()) {
        QAction* item = menu->addAction(caption);
        item->setObjectName(QLatin1String(name));
        item->setShortcut(shortcut);
        if (handler != nullptr)
            connect(item, &QAction::triggered, this, handler);
        return item;
    };
    File1 = menuBar()->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    AddROM1 = action(File1, "AddROM1", QStringLiteral("Add ROM"),
                     QKeySequence(QStringLiteral("Ctrl+A")), &TForm1::AddClick);
    DeleteROM1 = action(File1, "DeleteROM1", QStringLiteral("Delete ROM"),
                        QKeySequence(QStringLiteral("Ctrl+D")), &TForm1::DeleteClick);
    ConfigureROM1 = action(File1, "ConfigureROM1", QStringLiteral("Configure ROM"),
                           QKeySequence(QStringLiteral("Ctrl+C")), &TForm1::ConfigureClick);
    File1->addSeparator();
    Exit1 = action(File1, "Exit1", QStringLiteral("Exit"), QKeySequence(QStringLiteral("Ctrl+X")),
                   nullptr);
    connect(Exit1, &QAction::triggered, this, &QWidget::close);
    connect(File1, &QMenu::aboutToShow, this, &TForm1::File1Click);
    DeleteROM1->setEnabled(false);
    ConfigureROM1->setEnabled(false);

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    options->setObjectName(QStringLiteral("Options1"));
    Settings1 = action(options, "Settings1", QStringLiteral("Settings"),
                       QKeySequence(QStringLiteral("Ctrl+S")), &TForm1::Settings1Click);

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("Tools1"));
    ImportTarnINI1 = action(tools, "ImportTarnINI1", QStringLiteral("Import Tarn INI"), {},
                            &TForm1::ImportTarnINI1Click);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help2"));
    Help1 = action(help, "Help1", QStringLiteral("Help"), QKeySequence(QStringLiteral("Ctrl+H")),
                   nullptr);
    help->addSeparator();
    About1 = action(help, "About1", QStringLiteral("About..."), {}, &TForm1::About1Click);
}

void TForm1::buildPopupMenu() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Configure1 = PopupMenu1->addAction(QStringLiteral("Configure"));
    Configure1->setObjectName(QStringLiteral("Configure1"));
    PopupMenu1->setDefaultAction(Configure1);
    connect(Configure1, &QAction::triggered, this, &TForm1::ConfigureClick);
    Delete1 = PopupMenu1->addAction(QStringLiteral("Delete"));
    Delete1->setObjectName(QStringLiteral("Delete1"));
    connect(Delete1, &QAction::triggered, this, &TForm1::DeleteClick);
    PopupMenu1->addSeparator();
    for (const std::string& preset : session_.presets) {
        QAction* item = PopupMenu1->addAction(toQ(preset));
        item->setObjectName(toQ(preset));
        item->setEnabled(false);
        connect(item, &QAction::triggered, this, &TForm1::PresetClick);
        presetItems.append(item);
    }
}

const tapeloom::Catalogue& TForm1::catalogue() const {
    return list_->catalogue();
}

int TForm1::focusedRow() const {
    return list_->focusedRow();
}

QList<int> TForm1::selectedRows() const {
    return list_->selectedRows();
}

void TForm1::renameRow(int row, const QString& name) {
    list_->renameRow(row, name);
}

template <typename Command> void TForm1::guarded(Command command) {
    try {
        command();
    } catch (const std::exception& error) {
        reportError(QString::fromLocal8Bit(error.what()));
    }
}

void TForm1::reportError(const QString& message) {
    // Over the dialog in use, if any, so the report does not hide behind it.
    QWidget* over = QApplication::activeModalWidget();
    prompts_.reportError(over != nullptr ? over : this, message);
}

void TForm1::addSnapshotFiles(const QStringList& files) {
    if (files.isEmpty())
        return;
    guarded([&] {
        tapeloom::rememberSnapshotFolder(session_.settings,
                                         toStd(QFileInfo(files.first()).absolutePath()));
        std::vector<std::filesystem::path> paths;
        for (const QString& file : files) {
            const QString path = QFileInfo(file).absoluteFilePath();
            if (tapeloom::isTapeFile(toPath(path)))
                tapeLoads_->start(path);
            else
                paths.push_back(toPath(path));
        }
        if (!paths.empty())
            addRows(paths);
    });
}

void TForm1::addRows(const std::vector<std::filesystem::path>& files) {
    const auto refused = list_->addSnapshots(files, session_.defaultScheme);
    if (!refused.empty())
        prompts_.message(this, QStringLiteral("Warning"), toQ(tapeloom::refusedFilesText(refused)),
                         Prompts::Buttons::Ok, Prompts::Icon::Warning);
}

void TForm1::AddClick() {
    const QString lastDir = toQ(tapeloom::lastSnapshotFolder(session_.settings));
    const QStringList files = prompts_.openFiles(this, QStringLiteral("Select ZX snapshot(s)"),
                                                 lastDir, kSnapshotFilter, true);
    if (files.isEmpty())
        return;
    // The Windows file dialog leaves the current directory in the folder it picked from; the
    // build's default destination and the settings dialog follow it.
    QDir::setCurrent(QFileInfo(files.first()).absolutePath());
    addSnapshotFiles(files);
}

void TForm1::DeleteClick() {
    guarded([&] { list_->removeSelected(); });
}

void TForm1::ConfigureClick() {
    if (focusedRow() < 0 || Form2 == nullptr)
        return;
    const int row = focusedRow();
    Form2->exec();
    list_->rowChanged(row);
}

void TForm1::CreateClick() {
    if (building_) {
        cancelRequested_ = true;
        return;
    }
    guarded([&] {
        const auto image = tapeloom::findDataItem("tpl");
        if (!image)
            throw std::runtime_error("The emulator image is missing from this build");
        // The build answers the window's events as it goes; it works on the catalogue and the
        // settings as they stand now.
        const std::vector<tapeloom::CatalogueEntry> rows = list_->catalogue().rows();
        const tapeloom::SettingsFile settings = session_.settings;
        WindowBuildHost host(prompts_, this, ProgressBar1, [this] { return !cancelRequested_; });
        setBuilding(true);
        try {
            tapeloom::createTpl(rows, settings, host, *image);
        } catch (...) {
            setBuilding(false);
            throw;
        }
        setBuilding(false);
    });
    if (closeAfterBuild_) {
        closeAfterBuild_ = false;
        close();
    }
}

void TForm1::setBuilding(bool building) {
    building_ = building;
    cancelRequested_ = false;
    Create->setText(building ? QStringLiteral("Cancel") : QStringLiteral("Create TPL"));
    for (QWidget* control : {static_cast<QWidget*>(ListView1), static_cast<QWidget*>(Add)})
        control->setEnabled(!building);
    QList<QAction*> actions = {AddROM1, Settings1, ImportTarnINI1, Help1, About1};
    if (building) {
        actions << DeleteROM1 << ConfigureROM1 << Configure1 << Delete1 << presetItems;
        Delete->setEnabled(false);
        Configure->setEnabled(false);
    }
    for (QAction* action : actions)
        action->setEnabled(!building);
    if (!building)
        ListView1SelectItem();
}

void TForm1::Settings1Click() {
    if (Form4 != nullptr)
        Form4->Settings1Click();
}

void TForm1::ImportTarnINI1Click() {
    if (Import1 != nullptr)
        Import1->exec();
}

void TForm1::About1Click() {
    if (Form3 != nullptr)
        Form3->exec();
}

void TForm1::Image1Click() {
    openHomepage(prompts_, toQ(session_.homepage));
}

void TForm1::File1Click() {
    if (building_)
        return; // setBuilding keeps them disabled until the build is over
    const bool any = !selectedRows().isEmpty();
    DeleteROM1->setEnabled(any);
    ConfigureROM1->setEnabled(any);
}

void TForm1::PopupMenu1Popup() {
    const auto count = selectedRows().size();
    Configure1->setEnabled(count == 1);
    Delete1->setEnabled(count >= 1);
}

void TForm1::ListView1SelectItem() {
    const auto count = selectedRows().size();
    Configure->setEnabled(count == 1);
    Delete->setEnabled(count >= 1);
    for (QAction* item : presetItems)
        item->setEnabled(count >= 1);
    // Menu shortcuts act on the File menu's items without opening it; keep them current.
    File1Click();
}

void TForm1::ListView1DblClick() {
    if (!selectedRows().isEmpty())
        ConfigureClick();
}

void TForm1::PresetClick() {
    auto* item = qobject_cast<QAction*>(sender());
    if (item == nullptr)
        return;
    const std::string preset = toStd(item->objectName());
    guarded([&] { list_->applyPresetToSelected(preset); });
}

void TForm1::closeEvent(QCloseEvent* event) {
    // The build in progress stops first (its half-written image is removed); the window closes
    // when it has.
    if (building_) {
        cancelRequested_ = true;
        closeAfterBuild_ = true;
        event->ignore();
        return;
    }
    // A failed save must not silently drop this run's changes: after the error report the user
    // may keep the window open (and fix the cause, or try again) instead of closing.
    try {
        session_.settings.save();
    } catch (const std::exception& error) {
        reportError(QString::fromLocal8Bit(error.what()));
        if (prompts_.message(this, QStringLiteral("Warning"), QString::fromLatin1(kCloseUnsaved),
                             Prompts::Buttons::YesNo,
                             Prompts::Icon::Warning) != Prompts::Answer::Yes) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Image1Click();
        return true;
    }
    if (ListView1 != nullptr && watched == ListView1->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                ListView1DblClick();
                return true;
            }
            break;
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (droppedSnapshots(drag->mimeData()).isEmpty())
                drag->ignore();
            else
                drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList files = droppedSnapshots(drop->mimeData());
            if (files.isEmpty())
                return true;
            drop->acceptProposedAction();
            addSnapshotFiles(files);
            return true;
        }
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
