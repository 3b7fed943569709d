#pragma once
// The main window: the catalogue of snapshots and the commands that lead everywhere else.
#include "catalogue.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <memory>

class CatalogueList;
class Prompts;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;
class TForm2;
class TForm3;
class TForm4;
class TImport;
class TapeLoads;

// The main window.
class TForm1 : public QMainWindow {
    Q_OBJECT
  public:
    // Opens the session of the current directory: TPL.INI, version, homepage, presets.
    explicit TForm1(Prompts& prompts, QWidget* parent = nullptr);
    ~TForm1() override;

    // Creates the dialogs, hidden, in start-up order: configuration, About, settings, import.
    // Each gets what it works on (the session, the focused entry, the homepage), not the window.
    void createDialogs();

    const tapeloom::Catalogue& catalogue() const;
    tapeloom::Session& session() { return session_; }

    // The row that holds the list's focus, -1 when none does.
    int focusedRow() const;
    QList<int> selectedRows() const;
    // Gives a row a new display name through the rename rule (cut to 15, written as Filename).
    void renameRow(int row, const QString& name);

    // Adds snapshot files as the Add command does after its dialog: remembers the folder of the
    // first file as LastDir, then appends the rows. Tapes (.tap, .tzx) among them are loaded
    // first, each a row with a progress bar meanwhile; their snapshots are added when ready.
    void addSnapshotFiles(const QStringList& files);
    TapeLoads& tapeLoads() { return *tapeLoads_; }

  public slots:
    void AddClick();
    void DeleteClick();
    void ConfigureClick();
    void CreateClick();
    void Settings1Click();
    void ImportTarnINI1Click();
    void About1Click();
    void Image1Click();
    void File1Click();
    void PopupMenu1Popup();
    void ListView1SelectItem();
    void ListView1DblClick();
    void PresetClick();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildMenus();
    void buildPopupMenu();
    // The general error report.
    void reportError(const QString& message);
    template <typename Command> void guarded(Command command);
    // Appends rows for snapshot files; the files whose names TPL.INI cannot keep are named.
    void addRows(const std::vector<std::filesystem::path>& files);
    // While a build runs, "Create TPL" reads "Cancel" and everything that could change the
    // catalogue or the settings is disabled; Exit stays, and cancels the build first.
    void setBuilding(bool building);

    Prompts& prompts_;
    tapeloom::Session session_;
    std::unique_ptr<CatalogueList> list_;
    TapeLoads* tapeLoads_ = nullptr;
    bool building_ = false;
    bool cancelRequested_ = false;
    bool closeAfterBuild_ = false;

    // Controls, named as the window is known.
    QLabel* Image1 = nullptr; // banner
    QLabel* Version = nullptr;
    QTableView* ListView1 = nullptr;
    QPushButton* Add = nullptr;
    QPushButton* Delete = nullptr;
    QPushButton* Configure = nullptr;
    QPushButton* Create = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QMenu* File1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* AddROM1 = nullptr;
    QAction* DeleteROM1 = nullptr;
    QAction* ConfigureROM1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Settings1 = nullptr;
    QAction* ImportTarnINI1 = nullptr;
    QAction* Help1 = nullptr;
    QAction* About1 = nullptr;
    QAction* Configure1 = nullptr; // pop-up
    QAction* Delete1 = nullptr;    // pop-up
    QList<QAction*> presetItems;   // pop-up, named after their presets

    TForm2* Form2 = nullptr;
    TForm3* Form3 = nullptr;
    TForm4* Form4 = nullptr;
    TImport* Import1 = nullptr;
};
