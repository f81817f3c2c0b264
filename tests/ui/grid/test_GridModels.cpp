// The grid's model layer on a small fixture: columns bound by field name, the find
// filter across visible columns, and grouping by one and two levels with sorting and
// filtering beneath it.
#include "GridFixture.h"
#include "platform/Exceptions.h"
#include "ui/grid/GridFindModel.h"
#include "ui/grid/GroupingModel.h"

#include <QDateTime>
#include <gtest/gtest.h>

namespace {

class GridModels : public testing::Test {
protected:
    void SetUp() override {
        FSource = MakeGridFixture();
        FColumns = std::make_unique<TGridColumnsModel>(GridFixtureColumns());
        FColumns->setSourceModel(FSource.get());
        FFind = std::make_unique<TGridFindModel>(*FColumns);
        FGrouping = std::make_unique<TGroupingModel>();
        FGrouping->SetFlatModel(FFind.get());
    }

    // The ids of the find model's rows, in order.
    QList<int> FoundIds() const {
        QList<int> ids;
        for (int r = 0; r < FFind->rowCount(); ++r)
            ids << FFind->index(r, 1).data(Qt::EditRole).toInt();
        return ids;
    }

    // The ids beneath a group row (or the root), in the order shown.
    QList<int> IdsUnder(const QModelIndex& parent) const {
        QList<int> ids;
        for (int r = 0; r < FGrouping->rowCount(parent); ++r) {
            const QModelIndex child = FGrouping->index(r, 1, parent);
            if (FGrouping->IsGroupRow(child))
                ids << IdsUnder(child.siblingAtColumn(0));
            else
                ids << child.data(Qt::EditRole).toInt();
        }
        return ids;
    }

    QStringList GroupTexts(const QModelIndex& parent = {}) const {
        QStringList texts;
        for (int r = 0; r < FGrouping->rowCount(parent); ++r)
            texts << FGrouping->index(r, 0, parent).data(TGroupingModel::GroupTextRole).toString();
        return texts;
    }

    std::unique_ptr<QStandardItemModel> FSource;
    std::unique_ptr<TGridColumnsModel> FColumns;
    std::unique_ptr<TGridFindModel> FFind;
    std::unique_ptr<TGroupingModel> FGrouping;
};

TEST_F(GridModels, ColumnsAreBoundByFieldNameInTheGridsOrder) {
    ASSERT_EQ(FColumns->columnCount(), 5);
    ASSERT_EQ(FColumns->rowCount(), 6);
    // Source field "ID" binds the column "id": names match without regard to case.
    EXPECT_EQ(FColumns->index(2, 1).data(Qt::EditRole), QVariant(3));
    EXPECT_EQ(FColumns->index(2, 0).data(Qt::EditRole), QVariant(QDate(2026, 11, 2)));
    EXPECT_EQ(FColumns->index(2, 0).data(Qt::DisplayRole), QVariant(QStringLiteral("02.11.2026")));
    EXPECT_EQ(FColumns->headerData(3, Qt::Horizontal), QVariant(QStringLiteral("Примітки")));
    EXPECT_EQ(FColumns->headerData(4, Qt::Horizontal), QVariant(QString()));
    EXPECT_EQ(FColumns->headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).toInt() &
                  Qt::AlignHCenter,
              Qt::AlignHCenter);
    // NULL stays NULL in both roles.
    EXPECT_FALSE(FColumns->index(1, 3).data(Qt::EditRole).isValid());
    EXPECT_FALSE(FColumns->index(1, 3).data(Qt::DisplayRole).isValid());
    EXPECT_EQ(FColumns->FieldValue(4, QStringLiteral("SECRET")), QVariant(QStringLiteral("z")));
    EXPECT_THROW(FColumns->FieldValue(0, QStringLiteral("lodvar")), Exception);

    // A column whose field the source lacks reads NULL rather than another column.
    TGridColumnsModel missing({{QStringLiteral("lodvar"), QStringLiteral("Пеленг")}});
    missing.setSourceModel(FSource.get());
    EXPECT_EQ(missing.rowCount(), 6);
    EXPECT_FALSE(missing.index(0, 0).data(Qt::EditRole).isValid());
}

TEST_F(GridModels, DisplayTextOfHeldValues) {
    struct TCase {
        const char* Name;
        QVariant Value;
        const char* Text;
    };
    const TCase cases[] = {
        {"date", QDate(2026, 3, 7), "07.03.2026"},
        {"time", QTime(8, 5, 9, 250), "08:05:09"},
        {"date-time", QDateTime(QDate(2026, 11, 3), QTime(11, 30, 1, 250), Qt::UTC),
         "03.11.2026 11:30:01"},
        {"float", 50.1234567, "50.1234567"},
        {"negative integer", qlonglong(-42), "-42"},
        {"multi-line text", QStringLiteral("перший\r\nдругий\nтретій"), "перший другий третій"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TGridColumnsModel::DisplayText(c.Value), QString::fromUtf8(c.Text)) << c.Name;
}

TEST_F(GridModels, FindKeepsRowsMatchingAnyVisibleColumn) {
    struct TCase {
        const char* Text;
        QList<int> Ids;
    };
    const TCase cases[] = {
        {"alpha", {1, 3, 5}},
        {"СИЛЬН", {1, 5}},         // case folds in Cyrillic too
        {"01.11.2026", {1, 2, 5}}, // dates match as they are shown
        {"secret", {}},            // a hidden column is not searched
        {"  beta ", {2}},          // blanks around the text do not count
        {"", {1, 2, 3, 4, 5, 6}},
        {"   ", {1, 2, 3, 4, 5, 6}},
        {"zzz", {}},
    };
    for (const TCase& c : cases) {
        FFind->SetFindText(QString::fromUtf8(c.Text));
        EXPECT_EQ(FoundIds(), c.Ids) << c.Text;
    }
    // Showing the hidden column makes it searchable at once, hiding it again not.
    FFind->SetFindText(QStringLiteral("secret"));
    FColumns->SetColumnVisible(4, true);
    EXPECT_EQ(FoundIds(), (QList<int>{1, 2}));
    FColumns->SetColumnVisible(4, false);
    EXPECT_EQ(FoundIds(), QList<int>{});
    // The cells that hold the text are the ones the grid highlights.
    FFind->SetFindText(QStringLiteral("ALP"));
    EXPECT_TRUE(FFind->IsMatch(FColumns->index(0, 2)));
    EXPECT_FALSE(FFind->IsMatch(FColumns->index(0, 3)));
    FFind->SetFindText(QString());
    EXPECT_FALSE(FFind->IsMatch(FColumns->index(0, 2)));
}

TEST_F(GridModels, GroupsByOneColumn) {
    FGrouping->SetGroupColumns({2});
    // NULL first, then by value; counts beside the value; rows keep their order inside.
    EXPECT_EQ(GroupTexts(),
              (QStringList{QStringLiteral("АРМ: (порожньо) (1)"), QStringLiteral("АРМ: Alpha (3)"),
                           QStringLiteral("АРМ: Beta (1)"), QStringLiteral("АРМ: Gamma (1)")}));
    const QModelIndex alpha = FGrouping->index(1, 0);
    EXPECT_TRUE(FGrouping->IsGroupRow(alpha));
    EXPECT_EQ(FGrouping->FlatRow(alpha), -1);
    EXPECT_EQ(alpha.data(TGroupingModel::GroupCountRole), QVariant(3));
    EXPECT_EQ(alpha.data(TGroupingModel::GroupValueRole), QVariant(QStringLiteral("Alpha")));
    EXPECT_EQ(IdsUnder(alpha), (QList<int>{1, 3, 5}));
    EXPECT_EQ(IdsUnder({}), (QList<int>{6, 1, 3, 5, 2, 4}));
    EXPECT_FALSE(FGrouping->flags(alpha) & Qt::ItemIsSelectable);
    // Every flat row is found again, under the group of its value.
    for (int flat = 0; flat < FFind->rowCount(); ++flat) {
        const QModelIndex index = FGrouping->IndexOfFlatRow(flat);
        ASSERT_TRUE(index.isValid()) << flat;
        EXPECT_EQ(FGrouping->FlatRow(index), flat);
        EXPECT_EQ(index.parent().data(TGroupingModel::GroupValueRole),
                  FFind->index(flat, 2).data(Qt::EditRole))
            << flat;
    }
    // Unknown and repeated columns are dropped; no columns is the flat list again.
    FGrouping->SetGroupColumns({2, 2, 9, -1});
    EXPECT_EQ(FGrouping->GroupColumns(), QList<int>{2});
    FGrouping->SetGroupColumns({});
    EXPECT_EQ(FGrouping->rowCount(), 6);
    EXPECT_EQ(FGrouping->FlatRow(FGrouping->index(4, 0)), 4);
}

TEST_F(GridModels, GroupsByTwoColumns) {
    FGrouping->SetGroupColumns({2, 0});
    const QModelIndex alpha = FGrouping->index(1, 0);
    EXPECT_EQ(GroupTexts(alpha), (QStringList{QStringLiteral("Дата: 01.11.2026 (2)"),
                                              QStringLiteral("Дата: 02.11.2026 (1)")}));
    const QModelIndex firstDay = FGrouping->index(0, 0, alpha);
    EXPECT_EQ(firstDay.data(TGroupingModel::GroupLevelRole), QVariant(1));
    EXPECT_EQ(IdsUnder(firstDay), (QList<int>{1, 5}));
    EXPECT_EQ(FGrouping->parent(firstDay), alpha);
    EXPECT_EQ(FGrouping->parent(FGrouping->index(0, 0, firstDay)), firstDay);
    // The outer level counts every row beneath it.
    EXPECT_EQ(alpha.data(TGroupingModel::GroupCountRole), QVariant(3));
    EXPECT_EQ(FGrouping->rowCount(FGrouping->index(0, 3)), 0); // only column 0 has children
}

TEST_F(GridModels, GroupingFollowsSortingFilteringAndNewRows) {
    FGrouping->SetGroupColumns({2});
    FFind->sort(1, Qt::DescendingOrder);
    EXPECT_EQ(IdsUnder(FGrouping->index(1, 0)), (QList<int>{5, 3, 1}));

    FFind->SetFindText(QStringLiteral("01.11"));
    EXPECT_EQ(GroupTexts(),
              (QStringList{QStringLiteral("АРМ: Alpha (2)"), QStringLiteral("АРМ: Beta (1)")}));

    FFind->SetFindText(QString());
    FFind->sort(-1);
    auto* item = new QStandardItem;
    item->setData(QStringLiteral("Beta"), Qt::EditRole);
    FSource->appendRow({new QStandardItem(QStringLiteral("7")), item});
    EXPECT_EQ(GroupTexts().at(2), QStringLiteral("АРМ: Beta (2)"));
    EXPECT_EQ(IdsUnder({}).size(), 7);
}

} // namespace
