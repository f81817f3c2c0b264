// A grid selection over fixture rows, for suites of the map: rows stand in the order given
// (top to bottom), the selection is a set of row numbers chosen in any order, and a field
// that no row has raises Exception as a grid without that column does.
#pragma once

#include "platform/Exceptions.h"
#include "ui/grid/GridSelection.h"

#include <QList>
#include <QSet>
#include <QVariantMap>
#include <algorithm>

class TFixtureGrid : public TGridSelection {
public:
    QList<QVariantMap> Rows;
    QList<int> Selected; // in the order the operator picked them

    void ForEachSelectedRow(const std::function<void(const TGridRow&)>& visit) const override {
        QList<int> order = Selected;
        std::sort(order.begin(), order.end());
        for (const int index : order) {
            const TRow row(Rows.at(index));
            visit(row);
        }
    }

private:
    class TRow : public TGridRow {
    public:
        explicit TRow(const QVariantMap& values) : FValues(values) {}
        QVariant Value(const QString& fieldName) const override {
            const auto it = FValues.constFind(fieldName);
            if (it == FValues.cend()) {
                throw Exception(QStringLiteral("No column for field ") + fieldName);
            }
            return *it;
        }

    private:
        const QVariantMap& FValues;
    };
};
