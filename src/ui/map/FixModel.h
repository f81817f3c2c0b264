// The estimate of the transmitter's position from the selected bearings, as a table for the
// window's fix panel: one row per bearing with its residual and an outlier mark, and a check
// box per row (column 0) that leaves the bearing out of the estimate without unselecting it.
// The estimate is redone on every change of the bearings, their check boxes or the bearing
// standard deviation. A bearing left out stays out while it is reselected (it is known by
// its key) until the operator checks it again.
#pragma once

#include "geo/FixEstimate.h"

#include <QAbstractTableModel>
#include <QSet>
#include <QString>
#include <vector>

// One selected bearing.
struct TFixInput {
    QString Key;               // identifies the bearing across redraws (its record id)
    QString Caption;           // how the panel names it, e.g. the workstation and the bearing
    TCoordinate Station;       // degrees
    double BearingDegrees = 0; // clockwise from north
    bool operator==(const TFixInput& other) const {
        return Key == other.Key && Caption == other.Caption &&
               Station.Latitude == other.Station.Latitude &&
               Station.Longitude == other.Station.Longitude &&
               BearingDegrees == other.BearingDegrees;
    }
};

class TFixModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum TColumn { ColBearing, ColResidual, ColOutlier, ColCount };
    static constexpr double DefaultSigmaDegrees = 2;

    explicit TFixModel(QObject* parent = nullptr);

    void SetBearings(const std::vector<TFixInput>& bearings);
    const std::vector<TFixInput>& Bearings() const noexcept { return FBearings; }
    // Standard deviation of every bearing, degrees; a value outside (0, 90] is refused.
    double SigmaDegrees() const noexcept { return FSigmaDegrees; }
    bool SetSigmaDegrees(double degrees);
    bool IsLeftOut(int row) const;
    void SetLeftOut(int row, bool leftOut);

    const TFixEstimate& Estimate() const noexcept { return FEstimate; }
    // The estimate in a line of text: position, 95 % ellipse, bearings used; or why there is
    // no fix. Empty while no bearing is selected.
    QString SummaryText() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // The operator left a bearing out or took it back: the estimate on the map is stale.
    void LeftOutChanged();

private:
    void Recompute();
    bool IsOutlier(int row) const;

    std::vector<TFixInput> FBearings;
    QSet<QString> FLeftOut; // keys
    double FSigmaDegrees = DefaultSigmaDegrees;
    TFixEstimate FEstimate;
};
