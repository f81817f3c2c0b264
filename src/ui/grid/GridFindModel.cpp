#include "ui/grid/GridFindModel.h"

#include "ui/grid/GridColumns.h"

TGridFindModel::TGridFindModel(TGridColumnsModel& columns, QObject* parent)
    : QSortFilterProxyModel(parent), FColumns(columns) {
    setSourceModel(&columns);
    setSortRole(Qt::EditRole);
    setDynamicSortFilter(false);
    // A column shown or hidden changes which texts are searched.
    connect(&columns, &TGridColumnsModel::ColumnVisibilityChanged, this, [this] {
        if (!FFindText.isEmpty())
            invalidate();
    });
}

void TGridFindModel::SetFindText(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed == FFindText)
        return;
    FFindText = trimmed;
    // One layout change for the whole new set of rows, not one per removed range.
    invalidate();
}

bool TGridFindModel::IsMatch(const QModelIndex& index) const {
    return !FFindText.isEmpty() &&
           index.data(Qt::DisplayRole).toString().contains(FFindText, Qt::CaseInsensitive);
}

bool TGridFindModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (FFindText.isEmpty())
        return true;
    for (int c = 0; c < FColumns.columnCount(); ++c)
        if (FColumns.ColumnVisible(c) && FColumns.index(sourceRow, c, sourceParent)
                                             .data(Qt::DisplayRole)
                                             .toString()
                                             .contains(FFindText, Qt::CaseInsensitive))
            return true;
    return false;
}
