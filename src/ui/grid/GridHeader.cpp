#include "ui/grid/GridHeader.h"

#include "ui/grid/GridView.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMouseEvent>

namespace {
constexpr int CaptionMargin = 6; // pixels around a caption
constexpr int ResizeGrip = 5;    // pixels at each edge of a section
} // namespace

TGridHeader::TGridHeader(TGridView& view) : QHeaderView(Qt::Horizontal, &view), FView(view) {
    setSectionsClickable(true);
    setHighlightSections(false);
    setTextElideMode(Qt::ElideNone);
    setSortIndicatorShown(true);
    setSortIndicator(-1, Qt::AscendingOrder);
    setAcceptDrops(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    // A new width may change how many lines a caption needs.
    connect(this, &QHeaderView::sectionResized, this, [this] { updateGeometry(); });
}

int TGridHeader::FittedHeight() const {
    int height = fontMetrics().height() + 2 * CaptionMargin;
    for (int i = 0; i < count(); ++i)
        if (!isSectionHidden(i))
            height = std::max(height, sectionSizeFromContents(i).height());
    return height;
}

QSize TGridHeader::sectionSizeFromContents(int logicalIndex) const {
    QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    if (model() == nullptr)
        return size;
    const QString text = model()->headerData(logicalIndex, Qt::Horizontal).toString();
    const int width = std::max(10, sectionSize(logicalIndex) - 2 * CaptionMargin);
    const QRect bounds =
        fontMetrics().boundingRect(QRect(0, 0, width, 10000), Qt::TextWordWrap, text);
    size.setHeight(std::max(size.height(), bounds.height() + 2 * CaptionMargin));
    return size;
}

QSize TGridHeader::sizeHint() const {
    QSize size = QHeaderView::sizeHint();
    size.setHeight(FittedHeight());
    return size;
}

void TGridHeader::mousePressEvent(QMouseEvent* event) {
    FPressPos = event->position().toPoint();
    FPressSection = event->button() == Qt::LeftButton ? logicalIndexAt(FPressPos) : -1;
    // A press on a section's edge resizes the section; only one inside it drags it.
    if (FPressSection >= 0) {
        const int left = sectionViewportPosition(FPressSection);
        const int right = left + sectionSize(FPressSection);
        if (FPressPos.x() - left < ResizeGrip || right - FPressPos.x() < ResizeGrip)
            FPressSection = -1;
    }
    QHeaderView::mousePressEvent(event);
}

void TGridHeader::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (FPressSection >= 0 && (event->buttons() & Qt::LeftButton) &&
        (pos - FPressPos).manhattanLength() >= QApplication::startDragDistance()) {
        const int column = FPressSection;
        FPressSection = -1;
        auto* drag = new QDrag(this);
        drag->setMimeData(FView.ColumnDragData(column, "header"));
        const QRect section(sectionViewportPosition(column), 0, sectionSize(column), height());
        drag->setPixmap(grab(section));
        drag->exec(Qt::MoveAction);
        return;
    }
    QHeaderView::mouseMoveEvent(event);
}

void TGridHeader::dragEnterEvent(QDragEnterEvent* event) {
    if (FView.DraggedColumn(event->mimeData(), "box") >= 0)
        event->acceptProposedAction();
    else
        event->ignore();
}

void TGridHeader::dragMoveEvent(QDragMoveEvent* event) {
    if (FView.DraggedColumn(event->mimeData(), "box") >= 0)
        event->acceptProposedAction();
    else
        event->ignore();
}

void TGridHeader::dropEvent(QDropEvent* event) {
    if (DropEntry(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

bool TGridHeader::DropEntry(const QMimeData* mime) {
    const int column = FView.DraggedColumn(mime, "box");
    if (column < 0)
        return false;
    FView.Ungroup(column);
    return true;
}
