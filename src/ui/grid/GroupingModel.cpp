#include "ui/grid/GroupingModel.h"

#include "ui/grid/GridColumns.h"

#include <algorithm>
#include <numeric>

struct TGroupingModel::TNode {
    TNode* Parent = nullptr;
    int Row = 0;    // position among the parent's groups
    int Level = -1; // -1 for the root
    QVariant Value;
    int Count = 0; // data rows beneath
    std::vector<std::unique_ptr<TNode>> Groups;
    std::vector<int> Rows; // flat rows of a group of the innermost level
};

namespace {

// NULL before any value; values of one kind by their order, others by their text.
int CompareValues(const QVariant& a, const QVariant& b) {
    if (!a.isValid() || !b.isValid())
        return int(a.isValid()) - int(b.isValid());
    const QPartialOrdering order = QVariant::compare(a, b);
    if (order == QPartialOrdering::Less)
        return -1;
    if (order == QPartialOrdering::Greater)
        return 1;
    if (order == QPartialOrdering::Equivalent)
        return 0;
    return QString::compare(a.toString(), b.toString());
}

} // namespace

TGroupingModel::TGroupingModel(QObject* parent)
    : QAbstractItemModel(parent), FRoot(std::make_unique<TNode>()) {}

TGroupingModel::~TGroupingModel() = default;

void TGroupingModel::SetFlatModel(QAbstractItemModel* flat) {
    beginResetModel();
    for (const QMetaObject::Connection& link : std::as_const(FLinks))
        disconnect(link);
    FLinks.clear();
    FFlat = flat;
    if (flat != nullptr) {
        // Filtering and sorting come as layout changes, reloads as resets: each rebuilds
        // the tree once.
        const auto begin = [this] {
            if (!FResetting) {
                FResetting = true;
                beginResetModel();
            }
        };
        const auto end = [this] {
            if (!FResetting)
                beginResetModel();
            Rebuild();
            FResetting = false;
            endResetModel();
        };
        FLinks << connect(flat, &QAbstractItemModel::modelAboutToBeReset, this, begin)
               << connect(flat, &QAbstractItemModel::modelReset, this, end)
               << connect(flat, &QAbstractItemModel::layoutAboutToBeChanged, this, begin)
               << connect(flat, &QAbstractItemModel::layoutChanged, this, end)
               << connect(flat, &QAbstractItemModel::rowsAboutToBeInserted, this, begin)
               << connect(flat, &QAbstractItemModel::rowsInserted, this, end)
               << connect(flat, &QAbstractItemModel::rowsAboutToBeRemoved, this, begin)
               << connect(flat, &QAbstractItemModel::rowsRemoved, this, end)
               << connect(flat, &QAbstractItemModel::dataChanged, this, [this] {
                      beginResetModel();
                      Rebuild();
                      endResetModel();
                  });
    }
    Rebuild();
    endResetModel();
}

void TGroupingModel::SetGroupColumns(const QList<int>& columns) {
    QList<int> kept;
    const int count = FFlat ? FFlat->columnCount() : 0;
    for (int c : columns)
        if (c >= 0 && c < count && !kept.contains(c))
            kept << c;
    if (kept == FGroupColumns)
        return;
    beginResetModel();
    FGroupColumns = kept;
    Rebuild();
    endResetModel();
}

void TGroupingModel::Rebuild() {
    FRoot = std::make_unique<TNode>();
    if (!FFlat)
        return;
    FRoot->Count = FFlat->rowCount();
    if (FGroupColumns.isEmpty())
        return;
    std::vector<int> rows(size_t(FRoot->Count));
    std::iota(rows.begin(), rows.end(), 0);
    Split(*FRoot, std::move(rows), 0);
}

void TGroupingModel::Split(TNode& node, std::vector<int> rows, int level) {
    const int column = FGroupColumns[level];
    // The values are read once per row and level, and dropped when the level is built.
    std::vector<QVariant> keys(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        keys[i] = FFlat->index(rows[i], column).data(Qt::EditRole);
    std::vector<int> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&keys](int a, int b) { return CompareValues(keys[a], keys[b]) < 0; });
    const bool innermost = level + 1 == FGroupColumns.size();
    for (size_t from = 0; from < order.size();) {
        size_t to = from + 1;
        while (to < order.size() && CompareValues(keys[order[from]], keys[order[to]]) == 0)
            ++to;
        auto group = std::make_unique<TNode>();
        group->Parent = &node;
        group->Row = int(node.Groups.size());
        group->Level = level;
        group->Value = keys[order[from]];
        group->Count = int(to - from);
        std::vector<int> members(to - from);
        for (size_t i = from; i < to; ++i)
            members[i - from] = rows[order[i]];
        if (innermost)
            group->Rows = std::move(members);
        node.Groups.push_back(std::move(group));
        if (!innermost)
            Split(*node.Groups.back(), std::move(members), level + 1);
        from = to;
    }
}

TGroupingModel::TNode* TGroupingModel::NodeOf(const QModelIndex& parent) const {
    if (!parent.isValid())
        return FRoot.get();
    return ChildGroup(parent);
}

// The group an index stands for; nullptr for a data row.
TGroupingModel::TNode* TGroupingModel::ChildGroup(const QModelIndex& index) const {
    if (!index.isValid())
        return nullptr;
    const auto* holder = static_cast<const TNode*>(index.internalPointer());
    if (holder->Groups.empty())
        return nullptr;
    return holder->Groups[size_t(index.row())].get();
}

bool TGroupingModel::IsGroupRow(const QModelIndex& index) const {
    return ChildGroup(index) != nullptr;
}

int TGroupingModel::FlatRow(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || IsGroupRow(index))
        return -1;
    const auto* holder = static_cast<const TNode*>(index.internalPointer());
    return holder == FRoot.get() && FGroupColumns.isEmpty() ? index.row()
                                                            : holder->Rows[size_t(index.row())];
}

QModelIndex TGroupingModel::IndexOfFlatRow(int flatRow) const {
    if (!FFlat || flatRow < 0 || flatRow >= FFlat->rowCount())
        return {};
    if (FGroupColumns.isEmpty())
        return index(flatRow, 0);
    // Depth-first over the innermost groups; used when the focus is placed, not per row.
    std::vector<const TNode*> stack{FRoot.get()};
    while (!stack.empty()) {
        const TNode* node = stack.back();
        stack.pop_back();
        for (const auto& group : node->Groups)
            stack.push_back(group.get());
        const auto found = std::find(node->Rows.begin(), node->Rows.end(), flatRow);
        if (found != node->Rows.end())
            return createIndex(int(found - node->Rows.begin()), 0, const_cast<TNode*>(node));
    }
    return {};
}

QModelIndex TGroupingModel::index(int row, int column, const QModelIndex& parent) const {
    const TNode* node = NodeOf(parent);
    if (node == nullptr || row < 0 || column < 0 || column >= columnCount() ||
        row >= rowCount(parent))
        return {};
    return createIndex(row, column, const_cast<TNode*>(node));
}

QModelIndex TGroupingModel::parent(const QModelIndex& child) const {
    if (!child.isValid())
        return {};
    const auto* holder = static_cast<const TNode*>(child.internalPointer());
    if (holder == FRoot.get())
        return {};
    return createIndex(holder->Row, 0, holder->Parent);
}

int TGroupingModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0)
        return 0;
    const TNode* node = NodeOf(parent);
    if (node == nullptr)
        return 0;
    if (node == FRoot.get() && FGroupColumns.isEmpty())
        return FFlat ? FFlat->rowCount() : 0;
    return int(node->Groups.empty() ? node->Rows.size() : node->Groups.size());
}

int TGroupingModel::columnCount(const QModelIndex&) const {
    return FFlat ? FFlat->columnCount() : 0;
}

bool TGroupingModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QString TGroupingModel::GroupText(const TNode& node) const {
    const int column = FGroupColumns[node.Level];
    QString caption = FFlat->headerData(column, Qt::Horizontal).toString();
    if (caption.isEmpty())
        caption = FFlat->headerData(column, Qt::Horizontal, Qt::ToolTipRole).toString();
    const QString value = node.Value.isValid() ? TGridColumnsModel::DisplayText(node.Value)
                                               : QStringLiteral("(порожньо)");
    return QStringLiteral("%1: %2 (%3)").arg(caption, value).arg(node.Count);
}

QVariant TGroupingModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (const TNode* group = ChildGroup(index)) {
        switch (role) {
        case Qt::DisplayRole:
            return index.column() == 0 ? QVariant(GroupText(*group)) : QVariant();
        case GroupTextRole:
            return GroupText(*group);
        case GroupLevelRole:
            return group->Level;
        case GroupCountRole:
            return group->Count;
        case GroupValueRole:
            return group->Value;
        default:
            return {};
        }
    }
    if (role >= GroupTextRole)
        return {};
    return FFlat->index(FlatRow(index), index.column()).data(role);
}

QVariant TGroupingModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return FFlat ? FFlat->headerData(section, orientation, role) : QVariant();
}

Qt::ItemFlags TGroupingModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return IsGroupRow(index) ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
