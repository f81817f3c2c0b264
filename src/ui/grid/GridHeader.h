// The grid's column header: captions wrap to as many lines as the width needs (the
// header grows to fit them), and a header dragged away starts a drag of its column
// towards the group-by box; a group-by box entry dropped back on it ungroups.
#pragma once

#include <QHeaderView>
#include <QPoint>

class QMimeData;
class TGridView;

class TGridHeader : public QHeaderView {
    Q_OBJECT

public:
    explicit TGridHeader(TGridView& view);

    // Header height that fits every shown caption at its section's width.
    int FittedHeight() const;
    // A group-by box entry of this grid's view dropped on the header ungroups its column;
    // anything else is refused (false).
    bool DropEntry(const QMimeData* mime);

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override;
    QSize sizeHint() const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TGridView& FView;
    QPoint FPressPos;
    int FPressSection = -1;
};
