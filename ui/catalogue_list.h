#pragma once
// The catalogue as the main window's list holds it: the rows, which of them are selected, which
// one holds the focus, and the edits of rows that keep the settings, the list and the selection
// in step.
#include "build_messages.h"
#include "catalogue.h"
#include "catalogue_editor.h"

#include <QList>
#include <QString>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CatalogueModel;
class QTableView;

class CatalogueList final : public CatalogueEditor {
  public:
    using ErrorReport = std::function<void(const QString& message)>;
    using MessageShow = std::function<void(const tapeloom::Message& message)>;

    // Shows the rows in `view` (its model is set here). Edits write to `settings`; a rename's
    // error goes to reportError and its refusal to showMessage; afterChange runs whenever rows
    // were added, removed or sorted.
    CatalogueList(tapeloom::SettingsFile& settings, QTableView* view, ErrorReport reportError,
                  MessageShow showMessage, std::function<void()> afterChange);

    const tapeloom::Catalogue& catalogue() const { return catalogue_; }

    // The row that holds the list's focus, -1 when none does.
    int focusedRow() const;
    // The selected rows in list order.
    QList<int> selectedRows() const;

    // The rename rule (cut to 15, written as Filename); an error goes to the error report, and
    // a blank name is refused with the configuration dialog's message, keeping the old name.
    void renameRow(int row, const QString& name);
    // The scheme column of a row only.
    void setRowScheme(int row, const QString& scheme);
    // Redraws a row after its fields changed elsewhere (the configuration dialog).
    void rowChanged(int row);

    // These throw file errors; selection and focus stay on the rows that remain either way.
    // Returns the files left out because TPL.INI cannot keep their names.
    std::vector<std::filesystem::path> addSnapshots(const std::vector<std::filesystem::path>& files,
                                                    std::string_view defaultScheme);
    void removeSelected();
    void applyPresetToSelected(std::string_view preset);

    const tapeloom::CatalogueEntry* focusedEntry() const override;
    void setFocusedScheme(const QString& scheme) override;
    void renameFocused(const QString& name) override;

  private:
    template <typename Change> void changeRows(Change change, const QList<int>& removed = {});

    tapeloom::SettingsFile& settings_;
    tapeloom::Catalogue catalogue_;
    QTableView* view_;
    CatalogueModel* model_;
    ErrorReport reportError_;
    MessageShow showMessage_;
    std::function<void()> afterChange_;
};
