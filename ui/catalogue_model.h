#pragma once
// The catalogue rows as the main window's list shows them: four columns, the display name
// editable in place.
#include "catalogue.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <functional>

class CatalogueModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using Rename = std::function<void(int row, const QString& name)>;

    CatalogueModel(const tapeloom::Catalogue& catalogue, Rename rename, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // The rows were replaced as a whole (added, removed, re-sorted).
    void beginChange() { beginResetModel(); }
    void endChange() { endResetModel(); }
    // The fields of one row changed.
    void rowChanged(int row);

  private:
    const tapeloom::Catalogue& catalogue_;
    Rename rename_;
};

// In-place editor of a display name: at most 15 characters can be typed.
class DisplayNameDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
};
