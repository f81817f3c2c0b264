#include "ui/grid/GridColumns.h"

#include "platform/Exceptions.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

namespace {

// Zero-padded decimal digits into out; the formats below run once per shown cell and per
// row a find or a grouping reads, so they avoid QLocale.
void PutDigits(QChar*& out, int value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = QChar(u'0' + value % 10);
        value /= 10;
    }
    out += digits;
}

QString DateText(const QDate& d) {
    QString text(10, Qt::Uninitialized);
    QChar* out = text.data();
    PutDigits(out, d.day(), 2);
    *out++ = u'.';
    PutDigits(out, d.month(), 2);
    *out++ = u'.';
    PutDigits(out, qBound(0, d.year(), 9999), 4);
    return text;
}

QString TimeText(const QTime& t) {
    QString text(8, Qt::Uninitialized);
    QChar* out = text.data();
    PutDigits(out, t.hour(), 2);
    *out++ = u':';
    PutDigits(out, t.minute(), 2);
    *out++ = u':';
    PutDigits(out, t.second(), 2);
    return text;
}

} // namespace

TGridColumnsModel::TGridColumnsModel(std::vector<TGridColumn> columns, QObject* parent)
    : QAbstractProxyModel(parent), FColumns(std::move(columns)),
      FSourceColumn(FColumns.size(), -1) {}

void TGridColumnsModel::setSourceModel(QAbstractItemModel* source) {
    beginResetModel();
    for (const QMetaObject::Connection& link : std::as_const(FLinks))
        disconnect(link);
    FLinks.clear();
    QAbstractProxyModel::setSourceModel(source);
    if (source != nullptr) {
        // The data sources only reset; any finer change is passed on as a reset too.
        const auto begin = [this] { beginResetModel(); };
        const auto end = [this] {
            BindFields();
            endResetModel();
        };
        FLinks << connect(source, &QAbstractItemModel::modelAboutToBeReset, this, begin)
               << connect(source, &QAbstractItemModel::modelReset, this, end)
               << connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this, begin)
               << connect(source, &QAbstractItemModel::rowsInserted, this, end)
               << connect(source, &QAbstractItemModel::rowsAboutToBeRemoved, this, begin)
               << connect(source, &QAbstractItemModel::rowsRemoved, this, end)
               << connect(source, &QAbstractItemModel::layoutAboutToBeChanged, this, begin)
               << connect(source, &QAbstractItemModel::layoutChanged, this, end)
               << connect(source, &QAbstractItemModel::dataChanged, this,
                          [this](const QModelIndex& from, const QModelIndex& to) {
                              emit dataChanged(index(from.row(), 0),
                                               index(to.row(), columnCount() - 1));
                          });
    }
    BindFields();
    endResetModel();
}

void TGridColumnsModel::BindFields() {
    const QAbstractItemModel* source = sourceModel();
    const int sourceColumns = source ? source->columnCount() : 0;
    for (size_t c = 0; c < FColumns.size(); ++c) {
        FSourceColumn[c] = -1;
        for (int s = 0; s < sourceColumns; ++s)
            if (source->headerData(s, Qt::Horizontal)
                    .toString()
                    .compare(FColumns[c].FieldName, Qt::CaseInsensitive) == 0) {
                FSourceColumn[c] = s;
                break;
            }
    }
}

int TGridColumnsModel::ColumnOfField(const QString& fieldName) const {
    for (size_t c = 0; c < FColumns.size(); ++c)
        if (FColumns[c].FieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
            return int(c);
    return -1;
}

QVariant TGridColumnsModel::FieldValue(int row, const QString& fieldName) const {
    const int column = ColumnOfField(fieldName);
    if (column < 0)
        throw Exception(
            QStringLiteral("The grid has no column of the field \"%1\"").arg(fieldName));
    return data(index(row, column), Qt::EditRole);
}

void TGridColumnsModel::SetColumnVisible(int column, bool visible) {
    TGridColumn& c = FColumns.at(size_t(column));
    if (c.Visible == visible)
        return;
    c.Visible = visible;
    emit ColumnVisibilityChanged(column, visible);
}

QString TGridColumnsModel::DisplayText(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QDate:
        return DateText(value.toDate());
    case QMetaType::QTime:
        return TimeText(value.toTime());
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        return DateText(dt.date()) + QLatin1Char(' ') + TimeText(dt.time());
    }
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', 10);
    case QMetaType::QString: {
        QString text = value.toString();
        text.replace(QLatin1String("\r\n"), QLatin1String(" "));
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        text.replace(QLatin1Char('\r'), QLatin1Char(' '));
        return text;
    }
    default:
        return value.toString();
    }
}

QModelIndex TGridColumnsModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || column < 0 || row >= rowCount() || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex TGridColumnsModel::parent(const QModelIndex&) const {
    return {};
}

int TGridColumnsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !sourceModel() ? 0 : sourceModel()->rowCount();
}

int TGridColumnsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FColumns.size());
}

QModelIndex TGridColumnsModel::mapToSource(const QModelIndex& proxyIndex) const {
    if (!proxyIndex.isValid() || !sourceModel())
        return {};
    const int column = FSourceColumn[size_t(proxyIndex.column())];
    return column < 0 ? QModelIndex() : sourceModel()->index(proxyIndex.row(), column);
}

QModelIndex TGridColumnsModel::mapFromSource(const QModelIndex& sourceIndex) const {
    if (!sourceIndex.isValid())
        return {};
    for (size_t c = 0; c < FSourceColumn.size(); ++c)
        if (FSourceColumn[c] == sourceIndex.column())
            return index(sourceIndex.row(), int(c));
    return {};
}

QVariant TGridColumnsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::EditRole:
        return sourceModel()->data(mapToSource(index), Qt::EditRole);
    case Qt::DisplayRole: {
        const QVariant value = sourceModel()->data(mapToSource(index), Qt::EditRole);
        return value.isValid() ? QVariant(DisplayText(value)) : QVariant();
    }
    case Qt::TextAlignmentRole: {
        const QVariant value = sourceModel()->data(mapToSource(index), Qt::EditRole);
        switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Double:
            return int(Qt::AlignRight | Qt::AlignVCenter);
        default:
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        }
    }
    default:
        return {};
    }
}

QVariant TGridColumnsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    const TGridColumn& c = FColumns[size_t(section)];
    switch (role) {
    case Qt::DisplayRole:
        return c.Caption;
    case Qt::TextAlignmentRole:
        return int((c.CaptionCentred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter) |
                   Qt::TextWordWrap);
    case Qt::ToolTipRole:
        return c.Caption.isEmpty() ? c.FieldName : c.Caption;
    default:
        return {};
    }
}

Qt::ItemFlags TGridColumnsModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}
