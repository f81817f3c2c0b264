#include "ui/grid/Grid.h"

#include "ui/grid/GroupByBox.h"
#include "ui/grid/GroupingModel.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QToolButton>

namespace {

constexpr int MarksWidth = 6; // pixels

} // namespace

// A narrow strip beside the scroll bar with a mark at the height of each selected row,
// scaled to the whole list, so that a selection far off screen can be seen.
class TSelectionMarks : public QWidget {
public:
    explicit TSelectionMarks(TGridView& view, QWidget* parent) : QWidget(parent), FView(view) {
        setFixedWidth(MarksWidth);
        connect(&view, &TGridView::SelectionChanged, this, qOverload<>(&QWidget::update));
        connect(view.verticalScrollBar(), &QScrollBar::rangeChanged, this,
                qOverload<>(&QWidget::update));
    }

    // One rectangle per selected row, at its height in the whole list scaled to the strip.
    QList<QRect> Marks() const {
        QList<QRect> marks;
        const QScrollBar& bar = *FView.verticalScrollBar();
        const int content = bar.maximum() + FView.viewport()->height();
        if (content <= 0)
            return marks;
        const QModelIndexList rows = FView.selectionModel()->selectedRows();
        for (const QModelIndex& index : rows) {
            // Hidden columns have no place on screen; the row's shown part does.
            const QRect rect = FView.visualRect(index.siblingAtColumn(FView.FirstVisibleColumn()));
            if (rect.isEmpty())
                continue;
            const int y = (rect.top() + bar.value()) * height() / content;
            marks << QRect(0, y, width(), std::max(2, rect.height() * height() / content));
        }
        return marks;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        for (const QRect& mark : Marks())
            painter.fillRect(mark, palette().color(QPalette::Highlight));
    }

private:
    TGridView& FView;
};

TGrid::TGrid(const QString& name, const QString& viewName, std::vector<TGridColumn> columns,
             QWidget* parent)
    : QWidget(parent), FView(new TGridView(std::move(columns), this)),
      FGroupByBox(new TGroupByBox(*FView, this)), FFindPanel(new QWidget(this)),
      FFindEdit(new QLineEdit(FFindPanel)), FMarks(new TSelectionMarks(*FView, this)) {
    setObjectName(name);
    FView->setObjectName(viewName);
    FGroupByBox->setObjectName(viewName + QStringLiteral("GroupByBox"));
    FFindPanel->setObjectName(viewName + QStringLiteral("FindPanel"));
    FFindEdit->setObjectName(viewName + QStringLiteral("FindEdit"));

    auto* find = new QHBoxLayout(FFindPanel);
    find->setContentsMargins(2, 2, 2, 2);
    auto* close = new QToolButton(FFindPanel);
    close->setText(QStringLiteral("✕"));
    close->setAutoRaise(true);
    close->setToolTip(QStringLiteral("Закрити панель пошуку (Esc)"));
    FFindEdit->setPlaceholderText(QStringLiteral("Введіть текст для пошуку..."));
    FFindEdit->setClearButtonEnabled(true);
    auto* clear = new QPushButton(QStringLiteral("Очистити"), FFindPanel);
    find->addWidget(close);
    find->addWidget(FFindEdit, 1);
    find->addWidget(clear);
    FFindPanel->hide();
    connect(close, &QToolButton::clicked, this, &TGrid::HideFindPanel);
    connect(clear, &QPushButton::clicked, FFindEdit, &QLineEdit::clear);
    connect(FFindEdit, &QLineEdit::textChanged, FView, &TGridView::SetFindText);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), FFindEdit);
    escape->setContext(Qt::WidgetShortcut);
    connect(escape, &QShortcut::activated, this, &TGrid::HideFindPanel);
    auto* ctrlF = new QShortcut(QKeySequence::Find, this);
    ctrlF->setContext(Qt::WidgetWithChildrenShortcut);
    connect(ctrlF, &QShortcut::activated, this, &TGrid::ShowFindPanel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(FFindPanel);
    layout->addWidget(FGroupByBox);
    auto* body = new QHBoxLayout;
    body->setSpacing(0);
    body->addWidget(FView, 1);
    body->addWidget(FMarks);
    layout->addLayout(body, 1);
    FMarks->hide();
}

void TGrid::SetFindPanelEnabled(bool enabled) {
    FFindEnabled = enabled;
    if (!enabled)
        HideFindPanel();
}

bool TGrid::FindPanelShown() const {
    return !FFindPanel->isHidden();
}

void TGrid::ShowFindPanel() {
    if (!FFindEnabled)
        return;
    FFindPanel->show();
    FFindEdit->setFocus();
    FFindEdit->selectAll();
}

void TGrid::HideFindPanel() {
    FFindEdit->clear();
    FFindPanel->hide();
    if (isVisible())
        FView->setFocus();
}

void TGrid::SetSelectionMarks(bool shown) {
    FMarks->setVisible(shown);
}

QList<QRect> TGrid::SelectionMarks() const {
    return FMarks->isHidden() ? QList<QRect>() : FMarks->Marks();
}
