// The grid view over the small fixture: the selection walk in the order shown, the header
// menu, sorting by header clicks, the group-by box taking and giving back headers,
// incremental search, update brackets, and tooltips of cut-off cells.
#include "GridFixture.h"
#include "platform/Exceptions.h"
#include "ui/grid/Grid.h"
#include "ui/grid/GridFindModel.h"
#include "ui/grid/GridHeader.h"
#include "ui/grid/GroupByBox.h"
#include "ui/grid/GroupingModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

class GridView : public testing::Test {
protected:
    void SetUp() override {
        FSource = MakeGridFixture();
        FGrid = std::make_unique<TGrid>(QStringLiteral("gridTest"), QStringLiteral("tvTest"),
                                        GridFixtureColumns());
        FGrid->resize(600, 400);
        View().SetDataSource(FSource.get());
    }

    TGridView& View() const { return FGrid->View(); }

    // The view index of the data row with this id.
    QModelIndex RowOfId(int id) const {
        for (int r = 0; r < FSource->rowCount(); ++r)
            if (FSource->index(r, 0).data(Qt::EditRole).toInt() == id)
                return View().IndexOfSourceRow(r);
        return {};
    }

    QList<int> SelectedIds() const {
        QList<int> ids;
        View().ForEachSelectedRow(
            [&ids](const TGridRow& row) { ids << row.Value(QStringLiteral("id")).toInt(); });
        return ids;
    }

    void Select(std::initializer_list<int> ids) {
        for (int id : ids)
            View().selectionModel()->select(RowOfId(id), QItemSelectionModel::Select |
                                                             QItemSelectionModel::Rows);
    }

    // The action of a menu (or of its submenus) with this text.
    static QAction* Action(QMenu& menu, const QString& text) {
        for (QAction* action : menu.actions()) {
            if (action->text() == text)
                return action;
            if (action->menu() != nullptr)
                if (QAction* inner = Action(*action->menu(), text))
                    return inner;
        }
        return nullptr;
    }

    bool DropOnBox(const QByteArray& origin, int column, QPoint at = {5, 5}) {
        std::unique_ptr<QMimeData> mime(View().ColumnDragData(column, origin));
        return FGrid->GroupByBoxWidget().DropColumn(mime.get(), at);
    }
    bool DropOnHeader(const QByteArray& origin, int column) {
        std::unique_ptr<QMimeData> mime(View().ColumnDragData(column, origin));
        return static_cast<TGridHeader*>(View().header())->DropEntry(mime.get());
    }

    std::unique_ptr<QStandardItemModel> FSource;
    std::unique_ptr<TGrid> FGrid;
};

TEST_F(GridView, SelectionWalksRowsAsShownAfterSortingAndGrouping) {
    View().SetMultiSelect(true);
    Select({4, 1, 5});
    EXPECT_EQ(SelectedIds(), (QList<int>{1, 4, 5}));

    View().SortBy(1, Qt::DescendingOrder);
    Select({4, 1, 5});
    EXPECT_EQ(SelectedIds(), (QList<int>{5, 4, 1}));

    // Grouped by АРМ: NULL, Alpha (5, 3, 1 after the sort), Beta, Gamma (4).
    View().GroupBy(2);
    EXPECT_TRUE(View().selectionModel()->selection().isEmpty());
    Select({4, 1, 5, 6});
    EXPECT_EQ(SelectedIds(), (QList<int>{6, 5, 1, 4}));

    // Values come through the grid's columns, hidden ones included.
    QStringList secrets;
    View().ForEachSelectedRow([&secrets](const TGridRow& row) {
        secrets << row.Value(QStringLiteral("secret")).toString();
        EXPECT_THROW(row.Value(QStringLiteral("lodvar")), Exception);
    });
    EXPECT_EQ(secrets, (QStringList{QStringLiteral("w"), QStringLiteral("z"),
                                    QStringLiteral("secret-a"), QStringLiteral("y")}));
    // A visit that fails ends the walk and reaches the caller.
    int visits = 0;
    EXPECT_THROW(View().ForEachSelectedRow([&visits](const TGridRow&) {
        ++visits;
        throw Exception(QStringLiteral("stop"));
    }),
                 Exception);
    EXPECT_EQ(visits, 1);
}

TEST_F(GridView, HeaderMenuHidesShowsSortsAndGroups) {
    std::unique_ptr<QMenu> menu(View().CreateHeaderMenu(3, nullptr));
    Action(*menu, QStringLiteral("Приховати цей стовпець"))->trigger();
    EXPECT_TRUE(View().header()->isSectionHidden(3));
    EXPECT_FALSE(View().Columns().ColumnVisible(3));

    // Hidden columns, those without a caption too, are listed by caption or field name.
    menu.reset(View().CreateHeaderMenu(0, nullptr));
    QAction* secret = Action(*menu, QStringLiteral("secret"));
    ASSERT_NE(secret, nullptr);
    EXPECT_FALSE(secret->isChecked());
    secret->setChecked(true);
    EXPECT_FALSE(View().header()->isSectionHidden(4));
    Action(*menu, QStringLiteral("Примітки"))->setChecked(true);
    EXPECT_FALSE(View().header()->isSectionHidden(3));

    Action(*menu, QStringLiteral("Сортувати за спаданням"))->trigger();
    EXPECT_EQ(View().FindModel().sortColumn(), 0);
    EXPECT_EQ(View().header()->sortIndicatorOrder(), Qt::DescendingOrder);
    Action(*menu, QStringLiteral("Групувати за цим стовпцем"))->trigger();
    EXPECT_EQ(View().GroupColumns(), QList<int>{0});

    // The last shown column cannot be hidden: the header must stay reachable.
    for (int c : {1, 2, 3, 4})
        View().SetColumnVisible(c, false);
    menu.reset(View().CreateHeaderMenu(0, nullptr));
    EXPECT_FALSE(Action(*menu, QStringLiteral("Приховати цей стовпець"))->isEnabled());
    EXPECT_FALSE(Action(*menu, QStringLiteral("Дата"))->isEnabled());
    Action(*menu, QStringLiteral("Розгрупувати за цим стовпцем"))->trigger();
    EXPECT_TRUE(View().GroupColumns().isEmpty());
}

TEST_F(GridView, HeaderClicksToggleTheSortOrder) {
    const auto ids = [this] {
        QList<int> list;
        for (int r = 0; r < View().model()->rowCount(); ++r)
            list << View().model()->index(r, 1).data(Qt::EditRole).toInt();
        return list;
    };
    emit View().header()->sectionClicked(1);
    EXPECT_EQ(ids(), (QList<int>{1, 2, 3, 4, 5, 6}));
    emit View().header()->sectionClicked(1);
    EXPECT_EQ(ids(), (QList<int>{6, 5, 4, 3, 2, 1}));
    emit View().header()->sectionClicked(2); // another column starts ascending, NULL last
    QList<int> alpha = ids().mid(0, 3);
    std::sort(alpha.begin(), alpha.end());
    EXPECT_EQ(alpha, (QList<int>{1, 3, 5}));
    EXPECT_EQ(ids().last(), 6);
    EXPECT_EQ(View().header()->sortIndicatorSection(), 2);
}

TEST_F(GridView, GroupByBoxTakesHeadersAndGivesThemBack) {
    TGroupByBox& box = FGrid->GroupByBoxWidget();
    EXPECT_TRUE(DropOnBox("header", 2));
    EXPECT_EQ(View().GroupColumns(), QList<int>{2});
    // Dropped left of the first entry, a column becomes the outer level.
    EXPECT_TRUE(DropOnBox("header", 0, {1, 5}));
    EXPECT_EQ(View().GroupColumns(), (QList<int>{0, 2}));
    EXPECT_EQ(box.EntryRects().size(), 2);
    // Only a header goes into the box; only a box entry goes back to the header.
    EXPECT_FALSE(DropOnBox("box", 1));
    EXPECT_EQ(View().GroupColumns(), (QList<int>{0, 2}));
    EXPECT_TRUE(DropOnHeader("box", 0));
    EXPECT_EQ(View().GroupColumns(), QList<int>{2});
    EXPECT_FALSE(DropOnHeader("header", 2));
    EXPECT_EQ(View().GroupColumns(), QList<int>{2});
    // A drag of another grid's column is not taken.
    TGrid other(QStringLiteral("gridOther"), QStringLiteral("tvOther"), GridFixtureColumns());
    std::unique_ptr<QMimeData> mime(other.View().ColumnDragData(1, "header"));
    EXPECT_FALSE(box.DropColumn(mime.get(), {5, 5}));
    EXPECT_EQ(View().GroupColumns(), QList<int>{2});

    // The toggle hides and shows the box; grouping stays as it is.
    View().SetGroupByBox(false);
    EXPECT_TRUE(box.isHidden());
    View().SetGroupByBox(true);
    EXPECT_FALSE(box.isHidden());
    EXPECT_EQ(View().GroupColumns(), QList<int>{2});
}

TEST_F(GridView, IncrementalSearchFocusesTheFirstRowThatStartsWithTheTypedText) {
    View().SetMultiSelect(true);
    EXPECT_EQ(View().FocusedSourceRow(), 0);
    View().keyboardSearch(QStringLiteral("b"));
    EXPECT_EQ(View().FocusedSourceRow(), 0) << "searching is off by default";

    View().SetIncrementalSearch(true);
    View().setCurrentIndex(RowOfId(1).siblingAtColumn(2));
    View().keyboardSearch(QStringLiteral("g"));
    EXPECT_EQ(View().FocusedSourceRow(), 3);
    EXPECT_EQ(SelectedIds(), QList<int>{4});
    // Letters typed in a row extend the text; "ga" matches nothing, so the focus stays.
    View().keyboardSearch(QStringLiteral("a"));
    EXPECT_EQ(View().FocusedSourceRow(), 3);
    // A new search moves on from the focused row; a longer text may stay on its row.
    View().keyboardSearch(QString());
    View().keyboardSearch(QStringLiteral("a"));
    EXPECT_EQ(View().FocusedSourceRow(), 4) << "Alpha of id 5, the next after Gamma";
    View().keyboardSearch(QStringLiteral("l"));
    EXPECT_EQ(View().FocusedSourceRow(), 4);
    View().keyboardSearch(QString());
    View().keyboardSearch(QStringLiteral("a"));
    EXPECT_EQ(View().FocusedSourceRow(), 0) << "wraps past the end to id 1";
}

TEST_F(GridView, UpdateBracketsHoldTheSignalsUntilTheOutermostEnd) {
    QSignalSpy focused(&View(), &TGridView::FocusedRecordChanged);
    QSignalSpy selection(&View(), &TGridView::SelectionChanged);
    View().BeginUpdate();
    View().BeginUpdate();
    FSource->removeRow(0);
    FSource->removeRow(0);
    View().EndUpdate();
    EXPECT_EQ(focused.count(), 0);
    EXPECT_EQ(selection.count(), 0);
    EXPECT_FALSE(View().updatesEnabled());
    View().EndUpdate();
    EXPECT_EQ(focused.count(), 1);
    EXPECT_EQ(selection.count(), 1);
    EXPECT_TRUE(View().updatesEnabled());
    View().EndUpdate(); // an unmatched end changes nothing
    EXPECT_TRUE(View().updatesEnabled());
}

TEST_F(GridView, FindPanelFiltersAndClosesBackToEveryRow) {
    FGrid->ShowFindPanel();
    EXPECT_FALSE(FGrid->FindPanelShown()) << "no find panel unless the grid has one";
    FGrid->SetFindPanelEnabled(true);
    FGrid->ShowFindPanel();
    EXPECT_TRUE(FGrid->FindPanelShown());
    FGrid->FindEdit().setText(QStringLiteral("alpha"));
    EXPECT_EQ(View().model()->rowCount(), 3);
    FGrid->HideFindPanel();
    EXPECT_FALSE(FGrid->FindPanelShown());
    EXPECT_EQ(View().model()->rowCount(), 6);
}

TEST_F(GridView, TooltipsCarryTheFullTextOfCutOffCells) {
    FGrid->show();
    View().SetFitColumns(false);
    View().header()->resizeSection(3, 400);
    const QModelIndex note = RowOfId(5).siblingAtColumn(3);
    EXPECT_EQ(View().CellHint(note), QString());
    View().header()->resizeSection(3, 30);
    EXPECT_EQ(View().CellHint(note), QStringLiteral("сильний сигнал"));
    // Lines shown joined in one line always have a hint with the breaks kept.
    FSource->setData(FSource->index(4, 2), QStringLiteral("a\nb"), Qt::EditRole);
    View().header()->resizeSection(3, 400);
    EXPECT_EQ(View().CellHint(RowOfId(5).siblingAtColumn(3)), QStringLiteral("a\nb"));
}

TEST_F(GridView, RowsGrowWhenTheOperatorDragsARowEdge) {
    FGrid->show();
    const int normal = View().visualRect(RowOfId(1)).height();
    // Off by default: the press selects instead.
    const auto drag = [this](int fromY, int toY) {
        const QPoint from(20, fromY);
        const QPoint to(20, toY);
        QMouseEvent press(QEvent::MouseButtonPress, from, View().viewport()->mapToGlobal(from),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent move(QEvent::MouseMove, to, View().viewport()->mapToGlobal(to), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, to, View().viewport()->mapToGlobal(to),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(View().viewport(), &press);
        QApplication::sendEvent(View().viewport(), &move);
        QApplication::sendEvent(View().viewport(), &release);
    };
    const int edge = View().visualRect(RowOfId(1)).bottom();
    drag(edge, edge + 20);
    EXPECT_EQ(View().visualRect(RowOfId(2)).height(), normal);

    View().SetRowSizing(true);
    drag(edge, edge + 20);
    EXPECT_EQ(View().RowHeight(), normal + 20);
    // Every row, group rows too, takes the new height.
    View().GroupBy(2);
    EXPECT_EQ(View().visualRect(View().model()->index(0, 0)).height(), normal + 20);
    // A row never gets lower than one line of text.
    View().SetRowHeight(1);
    EXPECT_EQ(View().RowHeight(), View().fontMetrics().height() + 2);
}

TEST_F(GridView, SelectionMarksStandWhereTheSelectedRowsAreInTheWholeList) {
    for (int id = 7; id <= 200; ++id)
        FSource->appendRow(new QStandardItem(QString::number(id)));
    View().SetMultiSelect(true);
    FGrid->SetSelectionMarks(true);
    FGrid->show();
    EXPECT_TRUE(FGrid->SelectionMarks().isEmpty());
    Select({1, 100, 200});
    const QList<QRect> marks = FGrid->SelectionMarks();
    ASSERT_EQ(marks.size(), 3);
    const int strip = View().height();
    // Top, middle and bottom of the list, wherever the view is scrolled to.
    EXPECT_LE(marks[0].top(), 2);
    EXPECT_NEAR(marks[1].top(), strip / 2, strip / 10);
    EXPECT_GE(marks[2].bottom(), strip - strip / 20);
    FGrid->SetSelectionMarks(false);
    EXPECT_TRUE(FGrid->SelectionMarks().isEmpty());
}

} // namespace
