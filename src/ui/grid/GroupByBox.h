// The group-by box above a grid's headers: the grouped columns side by side, outermost
// first. A header dropped on it groups by that column at the drop position; an entry
// dragged back to the header, or ungrouped from its menu, ends that level.
#pragma once

#include <QFrame>
#include <QPoint>

class QMimeData;
class TGridView;

class TGroupByBox : public QFrame {
    Q_OBJECT

public:
    explicit TGroupByBox(TGridView& view, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // Where each grouped column stands in the box, outermost first.
    QList<QRect> EntryRects() const;
    // A header of this grid's view dropped at pos groups by its column; anything else is
    // refused (false).
    bool DropColumn(const QMimeData* mime, const QPoint& pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    int EntryAt(const QPoint& pos) const;
    QString EntryText(int level) const;

    TGridView& FView;
    QPoint FPressPos;
    int FPressEntry = -1;
};
