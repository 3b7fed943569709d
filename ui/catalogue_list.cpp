#include "catalogue_list.h"

#include "catalogue_model.h"
#include "control_config.h"
#include "qt_text.h"

#include <QItemSelectionModel>
#include <QTableView>

#include <algorithm>
#include <exception>

namespace {

bool sameEntry(const tapeloom::CatalogueEntry& a, const tapeloom::CatalogueEntry& b) {
    return a.displayName == b.displayName && a.scheme == b.scheme && a.fileName == b.fileName &&
           a.folder == b.folder;
}

std::vector<std::size_t> toIndices(const QList<int>& rows) {
    return {rows.begin(), rows.end()};
}

} // namespace

CatalogueList::CatalogueList(tapeloom::SettingsFile& settings, QTableView* view,
                             ErrorReport reportError, MessageShow showMessage,
                             std::function<void()> afterChange)
    : settings_(settings), view_(view),
      model_(new CatalogueModel(
          catalogue_, [this](int row, const QString& name) { renameRow(row, name); }, view)),
      reportError_(std::move(reportError)), showMessage_(std::move(showMessage)),
      afterChange_(std::move(afterChange)) {
    view_->setModel(model_);
}

int CatalogueList::focusedRow() const {
    const QModelIndex current = view_->selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

QList<int> CatalogueList::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CatalogueList::renameRow(int row, const QString& name) {
    if (row < 0 || row >= static_cast<int>(catalogue_.size()))
        return;
    try {
        if (!catalogue_.rename(static_cast<std::size_t>(row), toStd(name), settings_))
            showMessage_(tapeloom::kBlankNameMessage);
    } catch (const std::exception& error) {
        reportError_(QString::fromLocal8Bit(error.what()));
    }
    model_->rowChanged(row);
}

void CatalogueList::setRowScheme(int row, const QString& scheme) {
    if (row < 0 || row >= static_cast<int>(catalogue_.size()))
        return;
    catalogue_.setScheme(static_cast<std::size_t>(row), toStd(scheme));
    model_->rowChanged(row);
}

void CatalogueList::rowChanged(int row) {
    model_->rowChanged(row);
}

std::vector<std::filesystem::path>
CatalogueList::addSnapshots(const std::vector<std::filesystem::path>& files,
                            std::string_view defaultScheme) {
    std::vector<std::filesystem::path> refused;
    changeRows([&] { refused = catalogue_.addSnapshots(files, settings_, defaultScheme); });
    return refused;
}

void CatalogueList::removeSelected() {
    const QList<int> rows = selectedRows();
    if (!rows.isEmpty())
        changeRows([&] { catalogue_.removeRows(toIndices(rows)); }, rows);
}

void CatalogueList::applyPresetToSelected(std::string_view preset) {
    std::exception_ptr failed;
    try {
        catalogue_.applyPreset(toIndices(selectedRows()), preset, settings_);
    } catch (...) {
        failed = std::current_exception(); // the rows done so far are shown all the same
    }
    for (int row = 0; row < model_->rowCount(); ++row)
        model_->rowChanged(row);
    if (failed)
        std::rethrow_exception(failed);
}

const tapeloom::CatalogueEntry* CatalogueList::focusedEntry() const {
    const int row = focusedRow();
    if (row < 0 || row >= static_cast<int>(catalogue_.size()))
        return nullptr;
    return &catalogue_.rows()[static_cast<std::size_t>(row)];
}

void CatalogueList::setFocusedScheme(const QString& scheme) {
    setRowScheme(focusedRow(), scheme);
}

void CatalogueList::renameFocused(const QString& name) {
    renameRow(focusedRow(), name);
}

template <typename Change>
void CatalogueList::changeRows(Change change, const QList<int>& removed) {
    const std::vector<tapeloom::CatalogueEntry> before = catalogue_.rows();
    const QList<int> selected = selectedRows();
    const int focus = focusedRow();

    model_->beginChange();
    try {
        change();
    } catch (...) {
        model_->endChange();
        afterChange_();
        throw;
    }
    model_->endChange();

    // Where each earlier row now stands: removed rows leave the others in order; added rows
    // are sorted in among them without changing the order of the earlier ones.
    std::vector<int> moved(before.size(), -1);
    const auto& after = catalogue_.rows();
    if (!removed.isEmpty()) {
        int gone = 0;
        for (std::size_t row = 0; row < before.size(); ++row) {
            if (removed.contains(static_cast<int>(row)))
                ++gone;
            else
                moved[row] = static_cast<int>(row) - gone;
        }
    } else {
        std::size_t next = 0;
        for (std::size_t row = 0; row < before.size(); ++row) {
            while (next < after.size() && !sameEntry(after[next], before[row]))
                ++next;
            if (next == after.size())
                break;
            moved[row] = static_cast<int>(next++);
        }
    }

    // The view may show more rows after ours (tapes being loaded): select through its model.
    const QAbstractItemModel* rows = view_->model();
    QItemSelection selection;
    for (int row : selected) {
        if (row < static_cast<int>(moved.size()) && moved[static_cast<std::size_t>(row)] >= 0) {
            const int now = moved[static_cast<std::size_t>(row)];
            selection.select(rows->index(now, 0), rows->index(now, rows->columnCount() - 1));
        }
    }
    QItemSelectionModel* selectionModel = view_->selectionModel();
    selectionModel->select(selection, QItemSelectionModel::ClearAndSelect);
    if (focus >= 0 && focus < static_cast<int>(moved.size()) &&
        moved[static_cast<std::size_t>(focus)] >= 0)
        selectionModel->setCurrentIndex(rows->index(moved[static_cast<std::size_t>(focus)], 0),
                                        QItemSelectionModel::NoUpdate);
    afterChange_();
}
