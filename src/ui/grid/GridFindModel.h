// The find panel's filter and the grid's sorting over the grid's columns: keeps the rows
// whose shown text contains the find text (case-insensitive) in any visible column, and
// sorts by a column's held value. Index mapping only; the rows stay in the source.
#pragma once

#include <QSortFilterProxyModel>

class TGridColumnsModel;

class TGridFindModel : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit TGridFindModel(TGridColumnsModel& columns, QObject* parent = nullptr);

    const QString& SearchText() const noexcept { return FFindText; }
    // An empty (or blank) text keeps every row.
    void SetFindText(const QString& text);
    // Whether the shown text of the cell holds the find text.
    bool IsMatch(const QModelIndex& index) const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    TGridColumnsModel& FColumns;
    QString FFindText;
};
