// A grid as the window places it: the view with its group-by box above the headers,
// the find panel (shown on demand with Ctrl+F, when the grid has one) above that, and
// optionally the selection marks beside the vertical scroll bar.
#pragma once

#include "ui/grid/GridView.h"

#include <QWidget>

class QLineEdit;
class TGroupByBox;
class TSelectionMarks;

class TGrid : public QWidget {
    Q_OBJECT

public:
    // name: the grid's objectName; viewName: its view's.
    TGrid(const QString& name, const QString& viewName, std::vector<TGridColumn> columns,
          QWidget* parent = nullptr);

    TGridView& View() const noexcept { return *FView; }
    TGroupByBox& GroupByBoxWidget() const noexcept { return *FGroupByBox; }

    // The find panel: Ctrl+F shows it (when enabled); typing filters the rows to the
    // matches; Esc or its close button hides it and shows every row again.
    void SetFindPanelEnabled(bool enabled);
    bool FindPanelShown() const;
    void ShowFindPanel();
    void HideFindPanel();
    QLineEdit& FindEdit() const noexcept { return *FFindEdit; }

    // Marks beside the vertical scroll bar where the selected rows stand.
    void SetSelectionMarks(bool shown);
    // The marks as drawn, in the strip's coordinates; none while the strip is hidden.
    QList<QRect> SelectionMarks() const;

private:
    TGridView* FView;
    TGroupByBox* FGroupByBox;
    QWidget* FFindPanel;
    QLineEdit* FFindEdit;
    TSelectionMarks* FMarks;
    bool FFindEnabled = false;
};
