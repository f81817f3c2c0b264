#include "ui/grid/GridView.h"

#include "data/uDbQuery.h"
#include "ui/grid/GridFindModel.h"
#include "ui/grid/GridHeader.h"
#include "ui/grid/GroupingModel.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QToolTip>
#include <algorithm>

const QString TGridView::ColumnMimeType = QStringLiteral("application/x-lodvar-grid-column");

namespace {

constexpr int DefaultColumnWidth = 80; // pixels

// A data row of the grid, read through its columns.
class TViewRow : public TGridRow {
public:
    TViewRow(const TGridColumnsModel& columns, int sourceRow)
        : FColumns(columns), FSourceRow(sourceRow) {}
    QVariant Value(const QString& fieldName) const override {
        return FColumns.FieldValue(FSourceRow, fieldName);
    }

private:
    const TGridColumnsModel& FColumns;
    int FSourceRow;
};

// The position of an index in the tree, outermost first: orders rows as they stand.
std::vector<int> TreePath(QModelIndex index) {
    std::vector<int> path;
    for (; index.isValid(); index = index.parent())
        path.push_back(index.row());
    std::reverse(path.begin(), path.end());
    return path;
}

} // namespace

// Draws data cells with the colours of the custom-draw handler and the find text
// highlighted, and shows the full text of a cut-off cell as its tooltip.
class TGridDelegate : public QStyledItemDelegate {
public:
    explicit TGridDelegate(TGridView& view) : QStyledItemDelegate(&view), FView(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        if (FView.FRowHeight >= 2 * opt.fontMetrics.height())
            opt.features |= QStyleOptionViewItem::WrapText;
        if (FView.FCustomDraw) {
            const TGridView::TCellColours colours = FView.CellColours(index);
            // The handler decides the selected row's colours too.
            opt.state &= ~QStyle::State_Selected;
            if (colours.Brush.isValid())
                opt.backgroundBrush = colours.Brush;
            if (colours.Font.isValid())
                opt.palette.setColor(QPalette::Text, colours.Font);
        }
        if (!FView.FindModel().IsMatch(index)) {
            QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
            return;
        }
        PaintHighlighted(painter, opt, FView.SearchText());
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (FView.FRowHeight > 0)
            size.setHeight(FView.FRowHeight);
        return size;
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString hint = FView.CellHint(index);
        if (hint.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(event->globalPos(), hint, view, option.rect);
        return true;
    }

private:
    void PaintHighlighted(QPainter* painter, QStyleOptionViewItem opt, const QString& find) const {
        QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        const QString text = opt.text;
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget)
                                   .adjusted(3, 0, -3, 0);
        opt.text.clear();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        QTextLayout layout(text, opt.font);
        QList<QTextLayout::FormatRange> ranges;
        QTextCharFormat mark;
        mark.setBackground(QColor(255, 230, 0));
        mark.setForeground(QColor(Qt::black));
        for (qsizetype at = text.indexOf(find, 0, Qt::CaseInsensitive); at >= 0;
             at = text.indexOf(find, at + find.size(), Qt::CaseInsensitive))
            ranges.append({int(at), int(find.size()), mark});
        layout.setFormats(ranges);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(1e6);
        layout.endLayout();
        const qreal y = textRect.top() + (textRect.height() - line.height()) / 2;
        qreal x = textRect.left();
        if (opt.displayAlignment & Qt::AlignRight)
            x = textRect.right() - line.naturalTextWidth();
        painter->save();
        painter->setClipRect(textRect);
        const bool selected = opt.state & QStyle::State_Selected;
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        layout.draw(painter, QPointF(x, y));
        painter->restore();
    }

    TGridView& FView;
};

TGridView::TGridView(std::vector<TGridColumn> columns, QWidget* parent)
    : QTreeView(parent), FColumns(new TGridColumnsModel(std::move(columns), this)),
      FFind(new TGridFindModel(*FColumns, this)), FGrouping(new TGroupingModel(this)) {
    FGrouping->SetFlatModel(FFind);
    for (int c = 0; c < FColumns->columnCount(); ++c) {
        const TGridColumn& column = FColumns->Column(c);
        FWeights.push_back(
            std::max(column.Width > 0 ? column.Width : DefaultColumnWidth, column.MinWidth));
    }
    auto* gridHeader = new TGridHeader(*this);
    setHeader(gridHeader);
    setModel(FGrouping);
    setItemDelegate(new TGridDelegate(*this));
    setEditTriggers(NoEditTriggers);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setUniformRowHeights(true);
    setIndentation(14);
    setRootIsDecorated(false);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    setExpandsOnDoubleClick(true);
    setVerticalScrollMode(ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    gridHeader->setStretchLastSection(false);
    gridHeader->setSectionResizeMode(QHeaderView::Interactive);
    for (int c = 0; c < FColumns->columnCount(); ++c) {
        gridHeader->resizeSection(c, FWeights[size_t(c)]);
        gridHeader->setSectionHidden(c, !FColumns->ColumnVisible(c));
    }
    UpdateTreeColumn();

    connect(gridHeader, &QHeaderView::sectionClicked, this, &TGridView::HeaderClicked);
    connect(gridHeader, &QWidget::customContextMenuRequested, this,
            [this, gridHeader](const QPoint& pos) {
                const int column = gridHeader->logicalIndexAt(pos);
                QMenu* menu = CreateHeaderMenu(column, this);
                menu->setAttribute(Qt::WA_DeleteOnClose);
                menu->popup(gridHeader->mapToGlobal(pos));
            });
    connect(gridHeader, &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        // The operator's width counts from now on when the grid shares its width.
        if (!FFitting && size > 0)
            FWeights[size_t(column)] = size;
    });
    connect(FColumns, &TGridColumnsModel::ColumnVisibilityChanged, this, [this](int c, bool v) {
        header()->setSectionHidden(c, !v);
        UpdateTreeColumn();
        FitColumns();
    });
    connect(FGrouping, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { FFocusedRowBeforeReset = FocusedSourceRow(); });
    connect(FGrouping, &QAbstractItemModel::modelReset, this, &TGridView::GroupingReset);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { ViewCurrentChanged(current); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TGridView::NotifySelection);
}

TGridView::~TGridView() = default;

QMimeData* TGridView::ColumnDragData(int column, const QByteArray& origin) const {
    auto* mime = new QMimeData;
    mime->setData(ColumnMimeType, QByteArray::number(quintptr(this)) + ':' +
                                      QByteArray::number(column) + ':' + origin);
    return mime;
}

int TGridView::DraggedColumn(const QMimeData* mime, const QByteArray& origin) const {
    const QList<QByteArray> parts = mime->data(ColumnMimeType).split(':');
    if (parts.size() != 3 || parts[0] != QByteArray::number(quintptr(this)) || parts[2] != origin)
        return -1;
    bool ok = false;
    const int column = parts[1].toInt(&ok);
    return ok && column >= 0 && column < FColumns->columnCount() ? column : -1;
}

void TGridView::SetDataSource(QAbstractItemModel* source) {
    if (FSource)
        disconnect(FSource, nullptr, this, nullptr);
    FSource = source;
    FDataSource = qobject_cast<TDataSource*>(source);
    if (source != nullptr) {
        // After any change of the rows the focused row may hold another record.
        const auto changing = [this] { FDataReset = true; };
        connect(source, &QAbstractItemModel::modelAboutToBeReset, this, changing);
        connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this, changing);
        connect(source, &QAbstractItemModel::rowsAboutToBeRemoved, this, changing);
        connect(source, &QAbstractItemModel::layoutAboutToBeChanged, this, changing);
    }
    if (FDataSource)
        connect(FDataSource, &TDataSource::CurrentRowChanged, this,
                &TGridView::SourceCurrentRowChanged);
    FDataReset = true;
    FColumns->setSourceModel(source);
}

void TGridView::SetMultiSelect(bool multi) {
    setSelectionMode(multi ? ExtendedSelection : SingleSelection);
    // In the single mode the focused row is the selection; in the other the operator's.
    clearSelection();
}

void TGridView::BeginUpdate() {
    if (FUpdateCount++ == 0)
        setUpdatesEnabled(false);
}

void TGridView::EndUpdate() {
    if (FUpdateCount == 0 || --FUpdateCount > 0)
        return;
    setUpdatesEnabled(true);
    viewport()->update();
    if (std::exchange(FSelectionPending, false))
        emit SelectionChanged();
    if (std::exchange(FFocusPending, false))
        emit FocusedRecordChanged();
}

void TGridView::SetGroupByBox(bool shown) {
    if (FGroupByBox == shown)
        return;
    FGroupByBox = shown;
    emit GroupByBoxChanged(shown);
}

QList<int> TGridView::GroupColumns() const {
    return FGrouping->GroupColumns();
}

void TGridView::GroupBy(int column, int position) {
    if (column < 0 || column >= FColumns->columnCount())
        return;
    QList<int> columns = FGrouping->GroupColumns();
    columns.removeAll(column);
    columns.insert(position < 0 || position > columns.size() ? columns.size() : position, column);
    FGrouping->SetGroupColumns(columns);
    emit GroupingChanged();
}

void TGridView::Ungroup(int column) {
    QList<int> columns = FGrouping->GroupColumns();
    if (columns.removeAll(column) == 0)
        return;
    FGrouping->SetGroupColumns(columns);
    emit GroupingChanged();
}

void TGridView::ClearGrouping() {
    if (FGrouping->GroupColumns().isEmpty())
        return;
    FGrouping->SetGroupColumns({});
    emit GroupingChanged();
}

void TGridView::SortBy(int column, Qt::SortOrder order) {
    FFind->sort(column, order);
    header()->setSortIndicator(column, order);
}

void TGridView::SetFindText(const QString& text) {
    FFind->SetFindText(text);
    viewport()->update();
}

QString TGridView::SearchText() const {
    return FFind->SearchText();
}

void TGridView::SetColumnVisible(int column, bool visible) {
    FColumns->SetColumnVisible(column, visible);
}

void TGridView::SetFitColumns(bool fit) {
    FFitColumns = fit;
    FitColumns();
}

void TGridView::SetEmptyText(const QString& text) {
    FEmptyText = text;
    viewport()->update();
}

void TGridView::SetCustomDrawCell(std::function<void(TGridCellDraw&)> handler) {
    FCustomDraw = std::move(handler);
    viewport()->update();
}

TGridView::TCellColours TGridView::CellColours(const QModelIndex& index) const {
    const int sourceRow = SourceRow(index);
    if (!FCustomDraw || sourceRow < 0)
        return {};
    const TViewRow row(*FColumns, sourceRow);
    TGridCellDraw draw{row, selectionModel()->isSelected(index.siblingAtColumn(0)), {}, {}};
    FCustomDraw(draw);
    return {draw.BrushColor, draw.FontColor};
}

QString TGridView::CellHint(const QModelIndex& index) const {
    if (!index.isValid() || SourceRow(index) < 0)
        return {};
    const QString shown = index.data(Qt::DisplayRole).toString();
    const QString full = index.data(Qt::EditRole).toString();
    if (shown.isEmpty())
        return {};
    QStyleOptionViewItem opt;
    initViewItemOption(&opt);
    opt.rect = visualRect(index);
    opt.features |= QStyleOptionViewItem::HasDisplay;
    opt.text = shown;
    const QRect textRect = style()->subElementRect(QStyle::SE_ItemViewItemText, &opt, this);
    // The style keeps a margin on each side of the text.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const bool cutOff = fontMetrics().horizontalAdvance(shown) > textRect.width() - 2 * margin;
    return cutOff || full != shown ? full : QString();
}

QMenu* TGridView::CreateHeaderMenu(int column, QWidget* parent) {
    auto* menu = new QMenu(parent);
    const bool hasColumn = column >= 0 && column < FColumns->columnCount();
    int shown = 0;
    for (int c = 0; c < FColumns->columnCount(); ++c)
        shown += FColumns->ColumnVisible(c) ? 1 : 0;
    if (hasColumn) {
        menu->addAction(QStringLiteral("Сортувати за зростанням"), this,
                        [this, column] { SortBy(column, Qt::AscendingOrder); });
        menu->addAction(QStringLiteral("Сортувати за спаданням"), this,
                        [this, column] { SortBy(column, Qt::DescendingOrder); });
        menu->addAction(QStringLiteral("Скасувати сортування"), this,
                        [this] { SortBy(-1, Qt::AscendingOrder); })
            ->setEnabled(FFind->sortColumn() >= 0);
        menu->addSeparator();
        if (FGrouping->GroupColumns().contains(column))
            menu->addAction(QStringLiteral("Розгрупувати за цим стовпцем"), this,
                            [this, column] { Ungroup(column); });
        else
            menu->addAction(QStringLiteral("Групувати за цим стовпцем"), this,
                            [this, column] { GroupBy(column); });
    }
    if (!FGrouping->GroupColumns().isEmpty())
        menu->addAction(QStringLiteral("Скасувати групування"), this, [this] { ClearGrouping(); });
    menu->addSeparator();
    if (hasColumn)
        menu->addAction(QStringLiteral("Приховати цей стовпець"), this,
                        [this, column] { SetColumnVisible(column, false); })
            ->setEnabled(FColumns->ColumnVisible(column) && shown > 1);
    QMenu* columns = menu->addMenu(QStringLiteral("Стовпці"));
    for (int c = 0; c < FColumns->columnCount(); ++c) {
        const TGridColumn& def = FColumns->Column(c);
        QAction* action = columns->addAction(def.Caption.isEmpty() ? def.FieldName : def.Caption);
        action->setCheckable(true);
        action->setChecked(def.Visible);
        // One column stays shown, so that the header can always be reached.
        action->setEnabled(!def.Visible || shown > 1);
        connect(action, &QAction::toggled, this, [this, c](bool on) { SetColumnVisible(c, on); });
    }
    return menu;
}

int TGridView::SourceRow(const QModelIndex& index) const {
    const int flat = FGrouping->FlatRow(index);
    if (flat < 0)
        return -1;
    return FFind->mapToSource(FFind->index(flat, 0)).row();
}

QModelIndex TGridView::IndexOfSourceRow(int sourceRow) const {
    if (sourceRow < 0 || sourceRow >= FColumns->rowCount())
        return {};
    const QModelIndex flat = FFind->mapFromSource(FColumns->index(sourceRow, 0));
    return flat.isValid() ? FGrouping->IndexOfFlatRow(flat.row()) : QModelIndex();
}

int TGridView::FocusedSourceRow() const {
    return SourceRow(currentIndex());
}

void TGridView::FocusSourceRow(int sourceRow) {
    PlaceFocus(sourceRow);
    ViewCurrentChanged(currentIndex());
}

void TGridView::ForEachSelectedRow(const std::function<void(const TGridRow&)>& visit) const {
    for (int sourceRow : SelectedSourceRows())
        visit(TViewRow(*FColumns, sourceRow));
}

std::vector<int> TGridView::SelectedSourceRows() const {
    std::vector<std::pair<std::vector<int>, int>> rows;
    const QItemSelection selection = selectionModel()->selection();
    for (const QItemSelectionRange& range : selection)
        for (int r = range.top(); r <= range.bottom(); ++r) {
            const QModelIndex index = FGrouping->index(r, 0, range.parent());
            const int sourceRow = SourceRow(index);
            if (sourceRow >= 0)
                rows.emplace_back(TreePath(index), sourceRow);
        }
    std::sort(rows.begin(), rows.end());
    std::vector<int> result;
    for (const auto& [path, sourceRow] : rows)
        if (result.empty() || result.back() != sourceRow)
            result.push_back(sourceRow);
    return result;
}

int TGridView::FirstVisibleColumn() const {
    for (int visual = 0; visual < header()->count(); ++visual) {
        const int logical = header()->logicalIndex(visual);
        if (!header()->isSectionHidden(logical))
            return logical;
    }
    return 0;
}

void TGridView::keyboardSearch(const QString& search) {
    if (search.isEmpty()) {
        // As in Qt's views: an empty text starts the next search afresh.
        FIncTyped.invalidate();
        return;
    }
    if (!FIncSearch || FGrouping->rowCount() == 0)
        return;
    const bool continued =
        FIncTyped.isValid() && FIncTyped.elapsed() < QApplication::keyboardInputInterval();
    FIncText = continued ? FIncText + search : search;
    FIncTyped.start();
    int column = currentIndex().isValid() ? currentIndex().column() : -1;
    if (column < 0 || header()->isSectionHidden(column))
        column = FirstVisibleColumn();
    QModelIndex start =
        currentIndex().isValid() ? currentIndex().siblingAtColumn(0) : FGrouping->index(0, 0);
    // A new search moves on from the focused row; a longer text may stay on it.
    QModelIndex at = continued ? start : indexBelow(start);
    const QModelIndex first = FGrouping->index(0, 0);
    for (int guard = 0; guard <= FGrouping->rowCount() * 2 + 1 && at != start; ++guard) {
        if (!at.isValid())
            at = first;
        if (SourceRow(at) >= 0 && at.siblingAtColumn(column)
                                      .data(Qt::DisplayRole)
                                      .toString()
                                      .startsWith(FIncText, Qt::CaseInsensitive))
            break;
        at = indexBelow(at);
    }
    if (!at.isValid() ||
        !at.siblingAtColumn(column).data().toString().startsWith(FIncText, Qt::CaseInsensitive))
        return;
    const QModelIndex found = at.siblingAtColumn(column);
    selectionModel()->setCurrentIndex(found, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    scrollTo(found);
}

void TGridView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const {
    if (!FGrouping->IsGroupRow(index)) {
        QTreeView::drawRow(painter, option, index);
        return;
    }
    // A group row is one band across the grid: its branch mark, then "caption: value (n)".
    const int level = index.data(TGroupingModel::GroupLevelRole).toInt();
    const int left = header()->sectionViewportPosition(FirstVisibleColumn());
    const QRect band(0, option.rect.top(), viewport()->width(), option.rect.height());
    const bool current = currentIndex().isValid() && currentIndex().siblingAtColumn(0) == index;
    painter->fillRect(band, current ? palette().color(QPalette::Highlight)
                                    : palette().color(QPalette::AlternateBase).darker(104));
    painter->setPen(palette().color(QPalette::Mid));
    painter->drawLine(band.bottomLeft(), band.bottomRight());
    QStyleOption branch;
    branch.initFrom(this);
    branch.rect = QRect(left + level * indentation(), band.top(), indentation(), band.height());
    branch.state = QStyle::State_Item | QStyle::State_Children |
                   (isExpanded(index) ? QStyle::State_Open : QStyle::State_None);
    style()->drawPrimitive(QStyle::PE_IndicatorBranch, &branch, painter, this);
    QFont bold = font();
    bold.setBold(true);
    painter->setFont(bold);
    painter->setPen(palette().color(current ? QPalette::HighlightedText : QPalette::Text));
    const QRect text = band.adjusted(branch.rect.right() + 4, 0, -4, 0);
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                      index.data(TGroupingModel::GroupTextRole).toString());
}

void TGridView::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    if (FEmptyText.isEmpty() || FGrouping->rowCount() > 0)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(viewport()->rect().adjusted(4, 8, -4, 0), Qt::AlignHCenter | Qt::AlignTop,
                     FEmptyText);
}

void TGridView::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    FitColumns();
}

void TGridView::showEvent(QShowEvent* event) {
    QTreeView::showEvent(event);
    FitColumns();
}

void TGridView::SetRowHeight(int pixels) {
    const int height = std::max(pixels, fontMetrics().height() + 2);
    if (height == FRowHeight)
        return;
    FRowHeight = height;
    // Rows share one height: the view measures it again from the first row.
    doItemsLayout();
    viewport()->update();
}

namespace {
constexpr int RowEdge = 3; // pixels either side of a row's lower edge that grab it
}

bool TGridView::OnRowEdge(const QPoint& pos) const {
    const QModelIndex index = indexAt(pos);
    if (!FRowSizing || !index.isValid())
        return false;
    const QRect row = visualRect(index);
    return std::abs(pos.y() - row.bottom()) <= RowEdge || std::abs(pos.y() - row.top()) < RowEdge;
}

void TGridView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && OnRowEdge(pos)) {
        FSizingFrom = pos.y();
        FSizingHeight = visualRect(indexAt(pos)).height();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void TGridView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (FSizingFrom >= 0) {
        SetRowHeight(FSizingHeight + pos.y() - FSizingFrom);
        return;
    }
    if (OnRowEdge(pos))
        viewport()->setCursor(Qt::SplitVCursor);
    else
        viewport()->unsetCursor();
    QTreeView::mouseMoveEvent(event);
}

void TGridView::mouseReleaseEvent(QMouseEvent* event) {
    if (FSizingFrom >= 0 && event->button() == Qt::LeftButton) {
        FSizingFrom = -1;
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void TGridView::FitColumns() {
    const int available = viewport()->width();
    if (!FFitColumns || FFitting || available <= 0)
        return;
    std::vector<int> shown;
    long long total = 0;
    for (int visual = 0; visual < header()->count(); ++visual) {
        const int c = header()->logicalIndex(visual);
        if (!header()->isSectionHidden(c)) {
            shown.push_back(c);
            total += FWeights[size_t(c)];
        }
    }
    if (shown.empty() || total <= 0)
        return;
    // The tree's indentation comes on top of the first column's share, so that grouping
    // does not squeeze its text away.
    const int groups = int(FGrouping->GroupColumns().size());
    const int indent = groups > 0 ? (groups + 1) * indentation() : 0;
    const int shared = std::max(0, available - indent);
    FFitting = true;
    int used = 0;
    for (size_t i = 0; i < shown.size(); ++i) {
        const int c = shown[i];
        const int share =
            i + 1 == shown.size() ? shared - used : int(shared * FWeights[size_t(c)] / total);
        const int width = std::max(share, FColumns->Column(c).MinWidth);
        header()->resizeSection(c, width + (i == 0 ? indent : 0));
        used += width;
    }
    FFitting = false;
}

void TGridView::UpdateTreeColumn() {
    setTreePosition(FirstVisibleColumn());
}

void TGridView::GroupingReset() {
    setRootIsDecorated(!FGrouping->GroupColumns().isEmpty());
    FitColumns();
    int row = FDataSource ? FDataSource->CurrentRow() : (FDataReset ? 0 : FFocusedRowBeforeReset);
    if (!IndexOfSourceRow(row).isValid()) {
        // The focused record was filtered out: the first data row takes the focus.
        QModelIndex first = FGrouping->index(0, 0);
        while (FGrouping->IsGroupRow(first))
            first = FGrouping->index(0, 0, first);
        row = SourceRow(first);
    }
    PlaceFocus(row);
    if (FDataSource && row >= 0 && row != FDataSource->CurrentRow()) {
        FSyncing = true;
        FDataSource->SetCurrentRow(row);
        FSyncing = false;
    }
    FocusChanged(row);
    // A reset clears the selection without a signal of its own.
    NotifySelection();
}

void TGridView::SourceCurrentRowChanged(int row) {
    if (FSyncing)
        return;
    PlaceFocus(row);
    FocusChanged(row);
}

void TGridView::ViewCurrentChanged(const QModelIndex& current) {
    if (FSyncing)
        return;
    const int row = SourceRow(current);
    if (row < 0)
        return;
    if (FDataSource) {
        FSyncing = true;
        FDataSource->SetCurrentRow(row);
        FSyncing = false;
    }
    FocusChanged(row);
}

void TGridView::PlaceFocus(int sourceRow) {
    const QModelIndex index = IndexOfSourceRow(sourceRow);
    FSyncing = true;
    if (index.isValid()) {
        for (QModelIndex group = index.parent(); group.isValid(); group = group.parent())
            expand(group);
        const auto command = selectionMode() == SingleSelection
                                 ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                                 : QItemSelectionModel::NoUpdate;
        selectionModel()->setCurrentIndex(index, command);
    } else {
        if (selectionMode() == SingleSelection)
            selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    }
    FSyncing = false;
}

void TGridView::FocusChanged(int sourceRow) {
    if (sourceRow == FFocusedRow && !FDataReset)
        return;
    FFocusedRow = sourceRow;
    FDataReset = false;
    if (IsUpdating())
        FFocusPending = true;
    else
        emit FocusedRecordChanged();
}

void TGridView::NotifySelection() {
    if (IsUpdating())
        FSelectionPending = true;
    else
        emit SelectionChanged();
}

void TGridView::HeaderClicked(int column) {
    const bool ascending =
        FFind->sortColumn() == column && FFind->sortOrder() == Qt::AscendingOrder;
    SortBy(column, ascending ? Qt::DescendingOrder : Qt::AscendingOrder);
}
