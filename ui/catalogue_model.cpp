#include "catalogue_model.h"

#include "qt_text.h"

#include <QLineEdit>

namespace {

enum Column { RomName, Control, Filename, Path, ColumnCount };

} // namespace

CatalogueModel::CatalogueModel(const tapeloom::Catalogue& catalogue, Rename rename, QObject* parent)
    : QAbstractTableModel(parent), catalogue_(catalogue), rename_(std::move(rename)) {}

int CatalogueModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(catalogue_.size());
}

int CatalogueModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CatalogueModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const tapeloom::CatalogueEntry& entry =
        catalogue_.rows()[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
    case RomName:
        return toQ(entry.displayName);
    case Control:
        return toQ(entry.scheme);
    case Filename:
        return toQ(entry.fileName);
    case Path:
        return toQ(entry.folder);
    default:
        return {};
    }
}

QVariant CatalogueModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case RomName:
        return QStringLiteral("ROM Name");
    case Control:
        return QStringLiteral("Control");
    case Filename:
        return QStringLiteral("Filename");
    case Path:
        return QStringLiteral("Path");
    default:
        return {};
    }
}

Qt::ItemFlags CatalogueModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == RomName)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool CatalogueModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != RomName || role != Qt::EditRole)
        return false;
    rename_(index.row(), value.toString());
    return true;
}

void CatalogueModel::rowChanged(int row) {
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

QWidget* DisplayNameDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                           const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        line->setMaxLength(15);
    return editor;
}
