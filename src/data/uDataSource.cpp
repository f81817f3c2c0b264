#include "data/uDataSource.h"

#include "data/uDbQuery.h"

TDataSource::TDataSource(QObject* parent) : QAbstractTableModel(parent) {}

TDataSource::~TDataSource() = default;

void TDataSource::SetDataSet(TDbQuery* query) {
    // A reset left open by a bracket of the former query ends with this one.
    if (!FResetting)
        beginResetModel();
    for (const QMetaObject::Connection& link : std::as_const(FLinks))
        disconnect(link);
    FLinks.clear();
    FDataSet = query;
    if (query != nullptr) {
        FLinks << connect(query, &TDbQuery::AboutToChange, this, &TDataSource::QueryAboutToChange)
               << connect(query, &TDbQuery::DataSetChanged, this, &TDataSource::QueryChanged)
               << connect(query, &TDbQuery::RecordMoved, this, &TDataSource::QueryMoved)
               << connect(query, &QObject::destroyed, this, [this] { SetDataSet(nullptr); });
    }
    endResetModel();
    FResetting = false;
    emit DataChanged();
}

int TDataSource::CurrentRow() const noexcept {
    return FDataSet ? FDataSet->RecNo() : -1;
}

void TDataSource::SetCurrentRow(int row) {
    if (FDataSet && FDataSet->Active())
        FDataSet->MoveTo(row);
}

void TDataSource::QueryAboutToChange() {
    if (!FResetting) {
        FResetting = true;
        beginResetModel();
    }
}

void TDataSource::QueryChanged() {
    if (!FResetting)
        beginResetModel();
    endResetModel();
    FResetting = false;
    emit DataChanged();
    emit CurrentRowChanged(CurrentRow());
}

void TDataSource::QueryMoved(int row) {
    emit DataChanged();
    emit CurrentRowChanged(row);
}

int TDataSource::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !FDataSet ? 0 : FDataSet->RecordCount();
}

int TDataSource::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !FDataSet ? 0 : FDataSet->FieldCount();
}

QVariant TDataSource::data(const QModelIndex& index, int role) const {
    if (!FDataSet || !index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole) ||
        index.row() >= FDataSet->RecordCount() || index.column() >= FDataSet->FieldCount())
        return {};
    if (FDataSet->IsNull(index.row(), index.column()))
        return {};
    return ValueToVariant(FDataSet->Fields(index.column()).DataType(),
                          FDataSet->Value(index.row(), index.column()));
}

QVariant TDataSource::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || !FDataSet)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section < 0 || section >= FDataSet->FieldCount())
        return {};
    return FDataSet->Fields(section).FieldName();
}

Qt::ItemFlags TDataSource::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}
