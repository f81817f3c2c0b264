// What other parts of the window read of a grid: a walk over its selected rows, top to
// bottom as the grid shows them (after sorting and grouping), and each row's value of the
// column bound to a field name. The map draws from it; tests give it rows of their own.
#pragma once

#include <QString>
#include <QVariant>
#include <functional>

class TGridRow {
public:
    virtual ~TGridRow() = default;
    // The value of the column bound to the field; an invalid QVariant for NULL. Raises
    // Exception when the grid has no column bound to that field.
    virtual QVariant Value(const QString& fieldName) const = 0;
};

class TGridSelection {
public:
    virtual ~TGridSelection() = default;
    // Calls visit once for each selected row, top to bottom; an exception from visit ends
    // the walk and goes on to the caller.
    virtual void ForEachSelectedRow(const std::function<void(const TGridRow&)>& visit) const = 0;
};
