// The fix panel's model: one row per bearing with its residual and outlier mark, the check
// box that leaves a bearing out, the standard deviation, and the summary line.
#include "ui/map/FixModel.h"

#include <gtest/gtest.h>

namespace {

// Five stations around a transmitter at (50.5, 31.0); bearings to it
// within a degree, except "D", which is 20 degrees off: ten standard deviations of 2 degrees.
std::vector<TFixInput> Network() {
    return {{QStringLiteral("1"), QStringLiteral("A"), {50.0, 30.0}, 52.5},
            {QStringLiteral("2"), QStringLiteral("B"), {50.0, 32.0}, 307.6},
            {QStringLiteral("3"), QStringLiteral("C"), {49.5, 31.0}, 0.5},
            {QStringLiteral("4"), QStringLiteral("D"), {51.5, 31.0}, 200},
            {QStringLiteral("5"), QStringLiteral("E"), {50.5, 29.5}, 88.9}};
}

} // namespace

TEST(FixModel, RowsShowResidualsAndMarkOutliers) {
    TFixModel model;
    EXPECT_EQ(model.SummaryText(), QString()) << "nothing selected, nothing to say";
    model.SetBearings(Network());
    ASSERT_EQ(model.rowCount(), 5);
    ASSERT_EQ(model.columnCount(), TFixModel::ColCount);
    const TFixEstimate& fix = model.Estimate();
    ASSERT_TRUE(fix.IsFix()) << model.SummaryText().toStdString();
    EXPECT_EQ(fix.Outliers, std::vector<int>{3});
    EXPECT_EQ(fix.Used, 4);
    EXPECT_EQ(model.data(model.index(3, TFixModel::ColOutlier), Qt::DisplayRole).toString(),
              QStringLiteral("викид"));
    EXPECT_EQ(model.data(model.index(0, TFixModel::ColOutlier), Qt::DisplayRole).toString(),
              QString());
    EXPECT_EQ(model.data(model.index(3, TFixModel::ColResidual), Qt::DisplayRole).toString(),
              QStringLiteral("%1°").arg(fix.ResidualsDegrees[3], 0, 'f', 1));
    EXPECT_GT(std::abs(fix.ResidualsDegrees[3]), 15);
    EXPECT_EQ(model.data(model.index(0, TFixModel::ColBearing), Qt::CheckStateRole).toInt(),
              Qt::Checked);
    EXPECT_TRUE(model.flags(model.index(0, TFixModel::ColBearing)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.flags(model.index(0, TFixModel::ColResidual)) & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(model.SummaryText().startsWith(QStringLiteral("Оцінка: 50.")))
        << model.SummaryText().toStdString();
    EXPECT_TRUE(model.SummaryText().endsWith(QStringLiteral("пеленгів: 4")));
}

TEST(FixModel, LeftOutBearingsStayOutAcrossNewSelectionsByKey) {
    TFixModel model;
    int leftOut = 0;
    QObject::connect(&model, &TFixModel::LeftOutChanged, [&] { ++leftOut; });
    model.SetBearings(Network());
    const TCoordinate before = model.Estimate().Position;
    ASSERT_TRUE(
        model.setData(model.index(4, TFixModel::ColBearing), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(leftOut, 1);
    EXPECT_TRUE(model.IsLeftOut(4));
    EXPECT_EQ(model.Estimate().Used, 3) << "E out, D still an outlier";
    EXPECT_NE(model.Estimate().Position.Longitude, before.Longitude);
    EXPECT_FALSE(
        model.setData(model.index(4, TFixModel::ColResidual), Qt::Unchecked, Qt::CheckStateRole))
        << "only the first column has the check box";

    // A new selection without E, then with it again: E comes back left out.
    auto fewer = Network();
    fewer.pop_back();
    model.SetBearings(fewer);
    EXPECT_EQ(model.rowCount(), 4);
    model.SetBearings(Network());
    EXPECT_TRUE(model.IsLeftOut(4));
    model.SetLeftOut(4, false);
    EXPECT_EQ(leftOut, 2);
    EXPECT_EQ(model.Estimate().Used, 4);
    model.SetLeftOut(4, false);
    EXPECT_EQ(leftOut, 2) << "no change, no signal";
}

TEST(FixModel, StandardDeviationScalesTheEllipseAndBadValuesAreRefused) {
    TFixModel model;
    model.SetBearings(Network());
    EXPECT_EQ(model.SigmaDegrees(), 2.0);
    const double major = model.Estimate().Ellipse.SemiMajorMetres;
    ASSERT_TRUE(model.SetSigmaDegrees(4));
    EXPECT_NEAR(model.Estimate().Ellipse.SemiMajorMetres, 2 * major, 0.05 * major);
    for (const double bad : {0.0, -1.0, 91.0, std::nan("")}) {
        EXPECT_FALSE(model.SetSigmaDegrees(bad)) << bad;
    }
    EXPECT_EQ(model.SigmaDegrees(), 4.0);
}
