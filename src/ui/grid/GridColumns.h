// The columns a grid shows over a data source: each bound to a field by name, in the
// grid's own order, with caption, visibility and widths (pixels). A flat, read-only
// proxy: row r is the source's row r, column c the source column of the c-th field.
// Nothing is copied; values are read from the source on each call.
//
// Roles: EditRole gives the held value (NULL as an invalid QVariant), DisplayRole the
// text the grid shows (dates "dd.MM.yyyy", times "HH:mm:ss", line breaks as blanks).
#pragma once

#include <QAbstractProxyModel>
#include <QList>
#include <QString>
#include <vector>

struct TGridColumn {
    QString FieldName;
    QString Caption; // empty: the header shows nothing
    bool Visible = true;
    int MinWidth = 20; // pixels
    int Width = 0;     // pixels; 0: the grid's default
    bool CaptionCentred = false;
};

class TGridColumnsModel : public QAbstractProxyModel {
    Q_OBJECT

public:
    explicit TGridColumnsModel(std::vector<TGridColumn> columns, QObject* parent = nullptr);

    // The source's horizontal header (DisplayRole) names its fields.
    void setSourceModel(QAbstractItemModel* source) override;

    const TGridColumn& Column(int column) const { return FColumns.at(size_t(column)); }
    // The column bound to the field (case-insensitive), -1 when there is none.
    int ColumnOfField(const QString& fieldName) const;
    // The field's value in a row; raises Exception when no column is bound to it.
    QVariant FieldValue(int row, const QString& fieldName) const;

    bool ColumnVisible(int column) const { return Column(column).Visible; }
    void SetColumnVisible(int column, bool visible);

    // Display text of a held value.
    static QString DisplayText(const QVariant& value);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    void ColumnVisibilityChanged(int column, bool visible);

private:
    void BindFields();

    std::vector<TGridColumn> FColumns;
    std::vector<int> FSourceColumn; // per grid column; -1 while the source lacks the field
    QList<QMetaObject::Connection> FLinks;
};
