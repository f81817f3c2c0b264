// The grid view: a read-only tree view over a data source, through the grid's columns,
// the find filter with sorting, and the grouping tree (TGridColumnsModel ->
// TGridFindModel -> TGroupingModel). It keeps the data source's current row and the
// focused data row together, walks its selection for other parts of the window, and
// offers what an operator of such grids expects: grouping by dragging a header to the
// group-by box, a header menu to sort, group and hide or show columns, incremental
// search by typing (when enabled), tooltips with the full text of cut-off cells, the
// find text highlighted, a text on an empty grid and columns fitted to its width.
#pragma once

#include "ui/grid/GridColumns.h"
#include "ui/grid/GridSelection.h"

#include <QColor>
#include <QElapsedTimer>
#include <QPointer>
#include <QTreeView>
#include <functional>
#include <vector>

class QMenu;
class QMimeData;
class TDataSource;
class TGridFindModel;
class TGroupingModel;

// The colours of one cell about to be drawn; a custom-draw handler may change them.
struct TGridCellDraw {
    const TGridRow& Row; // the cell's row, read through the grid's columns
    bool Selected;       // the row is selected
    QColor BrushColor;   // background; invalid: the grid's normal background
    QColor FontColor;    // text; invalid: the grid's normal text colour
};

class TGridView : public QTreeView, public TGridSelection {
    Q_OBJECT

public:
    // The mime type of a header dragged to or from the group-by box.
    static const QString ColumnMimeType;
    // Drag data of a column of this view, from "header" or "box"; and the column a drag
    // of this view from that origin carries (-1 for any other drag).
    QMimeData* ColumnDragData(int column, const QByteArray& origin) const;
    int DraggedColumn(const QMimeData* mime, const QByteArray& origin) const;

    TGridView(std::vector<TGridColumn> columns, QWidget* parent = nullptr);
    ~TGridView() override;

    // The view's rows: a TDataSource keeps its current row with the focused row; any other
    // flat model whose horizontal header names the fields may stand in for it.
    void SetDataSource(QAbstractItemModel* source);
    QAbstractItemModel* DataSource() const noexcept { return FSource; }

    TGridColumnsModel& Columns() const noexcept { return *FColumns; }
    TGridFindModel& FindModel() const noexcept { return *FFind; }
    TGroupingModel& Grouping() const noexcept { return *FGrouping; }

    // One row at a time (the focused one) or several whole rows.
    void SetMultiSelect(bool multi);

    // BeginUpdate/EndUpdate nest; inside, nothing is painted and the focused-record and
    // selection signals wait for the outermost EndUpdate, which repaints once.
    void BeginUpdate();
    void EndUpdate();
    bool IsUpdating() const noexcept { return FUpdateCount > 0; }

    // The group-by box above the headers (shown by default).
    bool GroupByBox() const noexcept { return FGroupByBox; }
    void SetGroupByBox(bool shown);

    QList<int> GroupColumns() const;
    // Groups by the column at the given level (-1: innermost); a grouped column moves.
    void GroupBy(int column, int position = -1);
    void Ungroup(int column);
    void ClearGrouping();

    // Sorting by a column's held value; column -1 restores the source's order.
    void SortBy(int column, Qt::SortOrder order);
    void SetFindText(const QString& text);
    QString SearchText() const;

    void SetColumnVisible(int column, bool visible);
    // Columns share the grid's width by their widths (on by default).
    void SetFitColumns(bool fit);

    void SetIncrementalSearch(bool enabled) noexcept { FIncSearch = enabled; }
    // Rows (data and group rows alike) the operator may make taller or lower by dragging
    // a row's lower edge; taller rows wrap their text.
    void SetRowSizing(bool enabled) noexcept { FRowSizing = enabled; }
    int RowHeight() const noexcept { return FRowHeight; } // pixels; 0: the style's height
    void SetRowHeight(int pixels);
    void SetEmptyText(const QString& text);
    const QString& EmptyText() const noexcept { return FEmptyText; }

    // The custom-draw handler of the cells; it sees each data cell before it is drawn.
    void SetCustomDrawCell(std::function<void(TGridCellDraw&)> handler);
    // The colours a data cell is drawn with, as the custom-draw handler left them
    // (invalid: the grid's normal colours).
    struct TCellColours {
        QColor Brush;
        QColor Font;
    };
    TCellColours CellColours(const QModelIndex& index) const;

    // The full text of a cell when the cell cuts it off; empty otherwise.
    QString CellHint(const QModelIndex& index) const;

    // The header menu of a column, as a right click on the header shows it.
    QMenu* CreateHeaderMenu(int column, QWidget* parent);

    // The data source's row of a view index; -1 for a group row.
    int SourceRow(const QModelIndex& index) const;
    // The view index of a data source row (column 0); invalid when filtered out.
    QModelIndex IndexOfSourceRow(int sourceRow) const;
    // The data source row of the focused data row; -1 when none.
    int FocusedSourceRow() const;
    // Focuses the data row of the source row, opening its groups.
    void FocusSourceRow(int sourceRow);

    void ForEachSelectedRow(const std::function<void(const TGridRow&)>& visit) const override;
    // Source rows of the selected data rows, top to bottom.
    std::vector<int> SelectedSourceRows() const;

    void keyboardSearch(const QString& search) override;
    // The leftmost shown column (0 when none is shown).
    int FirstVisibleColumn() const;

signals:
    void FocusedRecordChanged();
    void SelectionChanged();
    void GroupingChanged();
    void GroupByBoxChanged(bool shown);

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    friend class TGridDelegate;
    void FitColumns();
    void UpdateTreeColumn();
    void GroupingReset();
    void SourceCurrentRowChanged(int row);
    void ViewCurrentChanged(const QModelIndex& current);
    void PlaceFocus(int sourceRow);
    void FocusChanged(int sourceRow);
    void NotifySelection();
    void HeaderClicked(int column);
    bool OnRowEdge(const QPoint& pos) const;

    TGridColumnsModel* FColumns;
    TGridFindModel* FFind;
    TGroupingModel* FGrouping;
    QPointer<QAbstractItemModel> FSource;
    QPointer<TDataSource> FDataSource;
    std::vector<int> FWeights; // widths the fitting shares the width by
    std::function<void(TGridCellDraw&)> FCustomDraw;
    QString FEmptyText;
    bool FGroupByBox = true;
    bool FIncSearch = false;
    QString FIncText;
    QElapsedTimer FIncTyped;
    bool FRowSizing = false;
    int FRowHeight = 0;
    int FSizingFrom = -1; // the cursor's y where a row drag began; -1: none
    int FSizingHeight = 0;
    int FUpdateCount = 0;
    bool FFocusPending = false;
    bool FSelectionPending = false;
    bool FSyncing = false;
    bool FDataReset = false;
    bool FFitting = false;
    bool FFitColumns = true;
    int FFocusedRow = -1;
    int FFocusedRowBeforeReset = -1;
};
