#include "ui/map/FixModel.h"

#include <algorithm>
#include <cmath>

TFixModel::TFixModel(QObject* parent) : QAbstractTableModel(parent) {
    Recompute();
}

void TFixModel::SetBearings(const std::vector<TFixInput>& bearings) {
    if (bearings == FBearings) {
        return;
    }
    beginResetModel();
    FBearings = bearings;
    Recompute();
    endResetModel();
}

bool TFixModel::SetSigmaDegrees(double degrees) {
    if (!(degrees > 0 && degrees <= 90)) {
        return false;
    }
    if (degrees != FSigmaDegrees) {
        FSigmaDegrees = degrees;
        Recompute();
        if (!FBearings.empty()) {
            emit dataChanged(index(0, 0), index(rowCount() - 1, ColCount - 1));
        }
    }
    return true;
}

bool TFixModel::IsLeftOut(int row) const {
    return row >= 0 && row < rowCount() && FLeftOut.contains(FBearings[size_t(row)].Key);
}

void TFixModel::SetLeftOut(int row, bool leftOut) {
    if (row < 0 || row >= rowCount() || IsLeftOut(row) == leftOut) {
        return;
    }
    const QString& key = FBearings[size_t(row)].Key;
    if (leftOut) {
        FLeftOut.insert(key);
    } else {
        FLeftOut.remove(key);
    }
    Recompute();
    emit dataChanged(index(0, 0), index(rowCount() - 1, ColCount - 1));
    emit LeftOutChanged();
}

void TFixModel::Recompute() {
    std::vector<TFixBearing> bearings;
    bearings.reserve(FBearings.size());
    for (const TFixInput& b : FBearings) {
        bearings.push_back({b.Station, b.BearingDegrees, FSigmaDegrees, !FLeftOut.contains(b.Key)});
    }
    FEstimate = EstimateFix(bearings);
}

bool TFixModel::IsOutlier(int row) const {
    return std::binary_search(FEstimate.Outliers.begin(), FEstimate.Outliers.end(), row);
}

QString TFixModel::SummaryText() const {
    if (FBearings.empty()) {
        return {};
    }
    if (!FEstimate.IsFix()) {
        return QStringLiteral("Немає оцінки: ") + FixFailureText(FEstimate.Failure);
    }
    const TCoordinate& p = FEstimate.Position;
    const TErrorEllipse& e = FEstimate.Ellipse;
    return QStringLiteral("Оцінка: %1°, %2°; еліпс %3 %: %4 × %5 м, вісь %6°; пеленгів: %7")
        .arg(p.Latitude, 0, 'f', 5)
        .arg(p.Longitude, 0, 'f', 5)
        .arg(e.Confidence * 100, 0, 'f', 0)
        .arg(e.SemiMajorMetres, 0, 'f', 0)
        .arg(e.SemiMinorMetres, 0, 'f', 0)
        .arg(e.OrientationDegrees, 0, 'f', 0)
        .arg(FEstimate.Used);
}

int TFixModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FBearings.size());
}

int TFixModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColCount;
}

QVariant TFixModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const int row = index.row();
    if (index.column() == ColBearing) {
        if (role == Qt::DisplayRole) {
            return FBearings[size_t(row)].Caption;
        }
        if (role == Qt::CheckStateRole) {
            return IsLeftOut(row) ? Qt::Unchecked : Qt::Checked;
        }
        return {};
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (index.column() == ColResidual) {
        // Without a fix there is no residual: the panel says why instead.
        if (size_t(row) >= FEstimate.ResidualsDegrees.size()) {
            return {};
        }
        return QStringLiteral("%1°").arg(FEstimate.ResidualsDegrees[size_t(row)], 0, 'f', 1);
    }
    if (index.column() == ColOutlier) {
        return IsOutlier(row) ? QStringLiteral("викид") : QString();
    }
    return {};
}

bool TFixModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != ColBearing || role != Qt::CheckStateRole) {
        return false;
    }
    SetLeftOut(index.row(), static_cast<Qt::CheckState>(value.toInt()) == Qt::Unchecked);
    return true;
}

Qt::ItemFlags TFixModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == ColBearing) {
        f |= Qt::ItemIsUserCheckable;
    }
    return f;
}

QVariant TFixModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case ColBearing:
        return QStringLiteral("Пеленг");
    case ColResidual:
        return QStringLiteral("Нев'язка");
    case ColOutlier:
        return QStringLiteral("Викид");
    default:
        return {};
    }
}
