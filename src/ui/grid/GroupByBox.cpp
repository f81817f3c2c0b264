#include "ui/grid/GroupByBox.h"

#include "ui/grid/GridView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QMenu>
#include <QPainter>

namespace {
constexpr int Margin = 6;   // pixels around the entries
constexpr int Spacing = 8;  // pixels between entries
constexpr int Padding = 10; // pixels left and right of an entry's text

} // namespace

TGroupByBox::TGroupByBox(TGridView& view, QWidget* parent) : QFrame(parent), FView(view) {
    setFrameShape(QFrame::StyledPanel);
    setAcceptDrops(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setToolTip(QStringLiteral("Перетягніть сюди заголовок стовпця, щоб групувати за ним"));
    connect(&view, &TGridView::GroupingChanged, this, [this] { update(); });
    setVisible(view.GroupByBox());
    connect(&view, &TGridView::GroupByBoxChanged, this, &QWidget::setVisible);
}

QSize TGroupByBox::sizeHint() const {
    return {200, fontMetrics().height() + 4 * Margin};
}

QSize TGroupByBox::minimumSizeHint() const {
    return sizeHint();
}

QString TGroupByBox::EntryText(int level) const {
    const int column = FView.GroupColumns().at(level);
    const TGridColumn& def = FView.Columns().Column(column);
    return def.Caption.isEmpty() ? def.FieldName : def.Caption;
}

QList<QRect> TGroupByBox::EntryRects() const {
    QList<QRect> rects;
    int x = Margin;
    const int height = fontMetrics().height() + 2 * Margin;
    for (int level = 0; level < FView.GroupColumns().size(); ++level) {
        const int width = fontMetrics().horizontalAdvance(EntryText(level)) + 2 * Padding;
        rects << QRect(x, Margin, width, height);
        x += width + Spacing;
    }
    return rects;
}

int TGroupByBox::EntryAt(const QPoint& pos) const {
    const QList<QRect> rects = EntryRects();
    for (int i = 0; i < rects.size(); ++i)
        if (rects[i].contains(pos))
            return i;
    return -1;
}

void TGroupByBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QList<QRect> rects = EntryRects();
    if (rects.isEmpty()) {
        painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
        painter.drawText(rect().adjusted(Margin, 0, -Margin, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("Перетягніть сюди заголовок стовпця для групування"));
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < rects.size(); ++i) {
        painter.setPen(palette().color(QPalette::Mid));
        painter.setBrush(palette().color(QPalette::Button));
        painter.drawRoundedRect(rects[i], 3, 3);
        painter.setPen(palette().color(QPalette::ButtonText));
        painter.drawText(rects[i], Qt::AlignCenter, EntryText(i));
    }
}

void TGroupByBox::mousePressEvent(QMouseEvent* event) {
    FPressPos = event->position().toPoint();
    FPressEntry = event->button() == Qt::LeftButton ? EntryAt(FPressPos) : -1;
    QFrame::mousePressEvent(event);
}

void TGroupByBox::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (FPressEntry < 0 || !(event->buttons() & Qt::LeftButton) ||
        (pos - FPressPos).manhattanLength() < QApplication::startDragDistance())
        return;
    const int column = FView.GroupColumns().value(FPressEntry, -1);
    const QRect entry = EntryRects().value(FPressEntry);
    FPressEntry = -1;
    if (column < 0)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(FView.ColumnDragData(column, "box"));
    drag->setPixmap(grab(entry));
    drag->exec(Qt::MoveAction);
}

void TGroupByBox::contextMenuEvent(QContextMenuEvent* event) {
    const int level = EntryAt(event->pos());
    QMenu menu(this);
    if (level >= 0) {
        const int column = FView.GroupColumns().at(level);
        menu.addAction(QStringLiteral("Розгрупувати"), &FView,
                       [this, column] { FView.Ungroup(column); });
    }
    if (!FView.GroupColumns().isEmpty())
        menu.addAction(QStringLiteral("Скасувати групування"), &FView,
                       [this] { FView.ClearGrouping(); });
    if (!menu.isEmpty())
        menu.exec(event->globalPos());
}

void TGroupByBox::dragEnterEvent(QDragEnterEvent* event) {
    if (FView.DraggedColumn(event->mimeData(), "header") >= 0)
        event->acceptProposedAction();
    else
        event->ignore();
}

void TGroupByBox::dragMoveEvent(QDragMoveEvent* event) {
    if (FView.DraggedColumn(event->mimeData(), "header") >= 0)
        event->acceptProposedAction();
    else
        event->ignore();
}

void TGroupByBox::dropEvent(QDropEvent* event) {
    if (DropColumn(event->mimeData(), event->position().toPoint()))
        event->acceptProposedAction();
    else
        event->ignore();
}

bool TGroupByBox::DropColumn(const QMimeData* mime, const QPoint& pos) {
    const int column = FView.DraggedColumn(mime, "header");
    if (column < 0)
        return false;
    // The level is the number of entries left of the drop point.
    const QList<QRect> rects = EntryRects();
    int position = 0;
    while (position < rects.size() && rects[position].center().x() < pos.x())
        ++position;
    FView.GroupBy(column, position);
    return true;
}
