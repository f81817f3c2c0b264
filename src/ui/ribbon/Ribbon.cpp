#include "ui/ribbon/Ribbon.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace {
constexpr int RowsPerColumn = 3;
constexpr int LargeIcon = 32; // pixels
} // namespace

TRibbonGroup::TRibbonGroup(const QString& caption, QWidget* parent)
    : QFrame(parent), FCaption(caption), FItems(new QGridLayout) {
    setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 2);
    layout->setSpacing(2);
    FItems->setHorizontalSpacing(8);
    FItems->setVerticalSpacing(2);
    layout->addLayout(FItems, 1);
    auto* label = new QLabel(caption, this);
    label->setAlignment(Qt::AlignCenter);
    label->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(label);
}

void TRibbonGroup::NextColumn() {
    if (FRow > 0) {
        ++FColumn;
        FRow = 0;
    }
}

void TRibbonGroup::AddItem(QWidget* item) {
    if (FRow == RowsPerColumn)
        NextColumn();
    FItems->addWidget(item, FRow++, FColumn, Qt::AlignLeft | Qt::AlignVCenter);
}

void TRibbonGroup::AddCaptionedItem(const QString& caption, QWidget* edit) {
    auto* item = new QWidget(this);
    auto* row = new QHBoxLayout(item);
    row->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(caption, item);
    label->setBuddy(edit);
    row->addWidget(label);
    row->addWidget(edit);
    edit->setParent(item);
    edit->setToolTip(caption);
    label->setToolTip(caption);
    AddItem(item);
}

QToolButton* TRibbonGroup::AddLargeButton(QAction* action) {
    NextColumn();
    auto* button = new QToolButton(this);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(QSize(LargeIcon, LargeIcon));
    button->setAutoRaise(true);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    FItems->addWidget(button, 0, FColumn, RowsPerColumn, 1);
    ++FColumn;
    return button;
}

void TRibbonGroup::AddSeparator() {
    NextColumn();
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    FItems->addWidget(line, 0, FColumn, RowsPerColumn, 1);
    ++FColumn;
}

TRibbon::TRibbon(QWidget* parent) : QTabWidget(parent) {
    setFixedHeight(DesignHeight);
    setDocumentMode(true);
}

QWidget* TRibbon::AddTab(const QString& caption) {
    auto* tab = new QWidget(this);
    auto* layout = new QHBoxLayout(tab);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(0);
    layout->addStretch(1);
    addTab(tab, caption);
    return tab;
}

TRibbonGroup* TRibbon::AddGroup(QWidget* tab, const QString& caption) {
    auto* layout = static_cast<QHBoxLayout*>(tab->layout());
    auto* group = new TRibbonGroup(caption, tab);
    // Groups stand left to right before the closing stretch, a line between two.
    int at = layout->count() - 1;
    if (at > 0) {
        auto* line = new QFrame(tab);
        line->setFrameShape(QFrame::VLine);
        line->setFrameShadow(QFrame::Sunken);
        layout->insertWidget(at++, line);
    }
    layout->insertWidget(at, group);
    return group;
}
