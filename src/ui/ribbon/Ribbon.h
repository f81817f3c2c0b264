// A ribbon-like tool strip: tabs of captioned groups. A group lays its items out in
// columns of up to three rows; a large button takes a whole column, with its icon above
// its caption; separators stand between columns. Built from plain Qt widgets.
#pragma once

#include <QFrame>
#include <QTabWidget>

class QAction;
class QGridLayout;
class QHBoxLayout;
class QToolButton;

class TRibbonGroup : public QFrame {
    Q_OBJECT

public:
    TRibbonGroup(const QString& caption, QWidget* parent = nullptr);

    const QString& Caption() const noexcept { return FCaption; }
    // A small item in the next free row of the current column.
    void AddItem(QWidget* item);
    // A caption left of an edit, as one small item; the caption is also the edit's hint.
    void AddCaptionedItem(const QString& caption, QWidget* edit);
    // A large button of the action, in a column of its own.
    QToolButton* AddLargeButton(QAction* action);
    void AddSeparator();

private:
    void NextColumn();

    QString FCaption;
    QGridLayout* FItems;
    int FColumn = 0;
    int FRow = 0;
};

class TRibbon : public QTabWidget {
    Q_OBJECT

public:
    static constexpr int DesignHeight = 126; // pixels

    explicit TRibbon(QWidget* parent = nullptr);

    // A new tab whose groups stand side by side.
    QWidget* AddTab(const QString& caption);
    TRibbonGroup* AddGroup(QWidget* tab, const QString& caption);
};
