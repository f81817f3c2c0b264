// Binds a query to views: a read-only Qt table model over the query's rows (read in
// place, never copied) that also carries the query's current row.
//
// - Columns are the query's fields in their order; the horizontal header gives the field
//   names. A NULL value is an invalid QVariant; other values come in their held form
//   (int, qlonglong, double, QDate, QTime, QDateTime, QString; uuids as braced text).
// - The model resets when the query opens, closes or is filtered by its master; inside a
//   DisableControls bracket the reset starts at the first change and ends at the outermost
//   EnableControls, so views hear of it once.
// - SetCurrentRow moves the query's current row (a view's focused row); CurrentRowChanged
//   tells a view where the query's current row went.
// - DataChanged is sent after every notified change of the data or of the current row;
//   detail queries (MasterSource) listen to it.
#pragma once

#include <QAbstractTableModel>
#include <QPointer>

class TDbQuery;

class TDataSource : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit TDataSource(QObject* parent = nullptr);
    ~TDataSource() override;

    TDbQuery* DataSet() const noexcept { return FDataSet; }
    void SetDataSet(TDbQuery* query);

    // The query's current row, -1 when there is none.
    int CurrentRow() const noexcept;
    void SetCurrentRow(int row);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    void DataChanged();
    void CurrentRowChanged(int row);

private:
    void QueryAboutToChange();
    void QueryChanged();
    void QueryMoved(int row);

    QPointer<TDbQuery> FDataSet;
    QList<QMetaObject::Connection> FLinks;
    bool FResetting = false;
};
