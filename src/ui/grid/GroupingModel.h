// The grid's grouping: a tree over a flat model whose rows are grouped by the values of
// one or more of its columns (outermost first). A group row carries its level, its value
// and the number of data rows beneath it; a data row is the flat model's row, read in
// place: the tree keeps row numbers only, never values. Without group columns the tree
// is the flat model itself. Groups are ordered by value (NULL first); data rows keep the
// flat model's order within their group. Any change of the flat model rebuilds the tree.
#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <memory>
#include <vector>

class TGroupingModel : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Role {
        GroupTextRole = Qt::UserRole + 1, // "Caption: value (count)" on a group row
        GroupLevelRole,                   // 0 for the outermost groups
        GroupCountRole,                   // data rows beneath the group
        GroupValueRole,                   // the held value the group stands for
    };

    explicit TGroupingModel(QObject* parent = nullptr);
    ~TGroupingModel() override;

    void SetFlatModel(QAbstractItemModel* flat);
    QAbstractItemModel* FlatModel() const noexcept { return FFlat; }

    const QList<int>& GroupColumns() const noexcept { return FGroupColumns; }
    // Columns of the flat model; repeated or unknown columns are dropped.
    void SetGroupColumns(const QList<int>& columns);

    bool IsGroupRow(const QModelIndex& index) const;
    // The flat model's row of a data row; -1 for a group row or an invalid index.
    int FlatRow(const QModelIndex& index) const;
    // The data row of a flat row (column 0); invalid when there is none.
    QModelIndex IndexOfFlatRow(int flatRow) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct TNode;
    TNode* NodeOf(const QModelIndex& parent) const;
    TNode* ChildGroup(const QModelIndex& index) const;
    void Rebuild();
    void Split(TNode& node, std::vector<int> rows, int level);
    QString GroupText(const TNode& node) const;

    QAbstractItemModel* FFlat = nullptr;
    QList<QMetaObject::Connection> FLinks;
    QList<int> FGroupColumns;
    std::unique_ptr<TNode> FRoot;
    bool FResetting = false;
};
