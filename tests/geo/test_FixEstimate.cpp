#include "SyntheticNetwork.h"
#include "geo/FixEstimate.h"
#include "ui/DestinationPoint.h"

#include <gtest/gtest.h>

using namespace synthetic;

namespace {

// Chi-square quantile with 2 degrees of freedom.
double Chi2Quantile2(double AConfidence) {
    return -2 * std::log(1 - AConfidence);
}

// Squared normalised distance of APoint from the estimate in the reported ellipse's
// axes: 1 on the ellipse, below 1 inside it.
double EllipseRadius2(const TFixEstimate& AFix, const TCoordinate& APoint) {
    const TOffset off = OffsetMetres(AFix.Position, APoint);
    const double o = AFix.Ellipse.OrientationDegrees * Rad;
    const double along = off.East * std::sin(o) + off.North * std::cos(o);
    const double across = off.East * std::cos(o) - off.North * std::sin(o);
    return std::pow(along / AFix.Ellipse.SemiMajorMetres, 2) +
           std::pow(across / AFix.Ellipse.SemiMinorMetres, 2);
}

// Two bearings whose lines cross at right angles at the transmitter: station A lies in
// the direction lineDegrees from it, B a quarter turn further. A bearing constrains the
// position across its line to sigma * R sin(range / R), so the ellipse's axes lie along
// the lines and the farther station's range sets the semi-major axis.
struct TPerpendicularCase {
    const char* name;
    TCoordinate truth;
    double lineDegrees;
    double rangeAMetres, rangeBMetres;
    double sigmaDegrees, confidence;
};

const TPerpendicularCase kPerpendicular[] = {
    {"east-west and north-south", {50, 30}, 270, 40e3, 80e3, 2, 0.95},
    {"diagonal lines", {50, 30}, 225, 40e3, 80e3, 2, 0.95},
    {"farther station first", {50, 30}, 225, 90e3, 30e3, 1, 0.95},
    {"hundreds of kilometres", {48, 35}, 300, 300e3, 650e3, 1.5, 0.95},
    {"across the antimeridian", {-20, 179.95}, 90, 120e3, 60e3, 2, 0.5},
    {"near a pole", {84, -40}, 10, 70e3, 200e3, 3, 0.99},
    {"axis close to north", {10, 10}, 179.5, 50e3, 100e3, 2, 0.95},
};

TEST(FixEstimate, TwoPerpendicularBearingsGiveTheClosedFormEllipse) {
    for (const TPerpendicularCase& c : kPerpendicular) {
        SCOPED_TRACE(c.name);
        const TCoordinate a = DestinationPoint(c.truth, c.lineDegrees, c.rangeAMetres);
        const TCoordinate b = DestinationPoint(c.truth, c.lineDegrees + 90, c.rangeBMetres);
        const std::vector<TFixBearing> bearings = {ExactBearing(a, c.truth, c.sigmaDegrees),
                                                   ExactBearing(b, c.truth, c.sigmaDegrees)};
        const TFixEstimate fix = EstimateFix(bearings, {.Confidence = c.confidence});
        ASSERT_TRUE(fix.IsFix()) << FixFailureText(fix.Failure).toStdString();

        EXPECT_LT(DistanceMetres(fix.Position, c.truth), 1e-3);
        EXPECT_GT(fix.Position.Longitude, -180);
        EXPECT_LE(fix.Position.Longitude, 180);
        ASSERT_EQ(fix.ResidualsDegrees.size(), 2u);
        EXPECT_NEAR(fix.ResidualsDegrees[0], 0, 1e-9);
        EXPECT_NEAR(fix.ResidualsDegrees[1], 0, 1e-9);
        EXPECT_EQ(fix.Used, 2);
        EXPECT_TRUE(fix.Outliers.empty());

        const double scale =
            std::sqrt(Chi2Quantile2(c.confidence)) * c.sigmaDegrees * Rad * EarthRadiusMetres;
        const double acrossA = scale * std::sin(c.rangeAMetres / EarthRadiusMetres);
        const double acrossB = scale * std::sin(c.rangeBMetres / EarthRadiusMetres);
        EXPECT_NEAR(fix.Ellipse.SemiMajorMetres, std::max(acrossA, acrossB), 1e-6 * acrossA);
        EXPECT_NEAR(fix.Ellipse.SemiMinorMetres, std::min(acrossA, acrossB), 1e-6 * acrossA);
        // The major axis runs along the line of the nearer station.
        const double major = std::fmod(c.lineDegrees + (acrossB > acrossA ? 0 : 90), 180.0);
        EXPECT_LT(CrossingDegrees(fix.Ellipse.OrientationDegrees, major), 1e-6);
        EXPECT_GE(fix.Ellipse.OrientationDegrees, 0);
        EXPECT_LT(fix.Ellipse.OrientationDegrees, 180);
        EXPECT_EQ(fix.Ellipse.Confidence, c.confidence);
    }
}

// Three stations at equal range, 120 degrees apart around the transmitter, every
// bearing turned by the same amount: the problem keeps its three-fold symmetry about
// the transmitter, so the estimate stays on it, each residual is exactly that turn and
// the ellipse is a circle of radius sqrt(k 2/3) sigma R sin(range / R).
TEST(FixEstimate, SymmetricThreeStationsKeepTheEstimateAtTheCentre) {
    const struct {
        const char* name;
        TCoordinate truth;
        double firstAzimuth, rangeMetres, turnDegrees, sigmaDegrees;
    } cases[] = {
        {"exact bearings", {50, 30}, 0, 100e3, 0, 2},
        {"all turned clockwise", {50, 30}, 17, 100e3, 1.5, 2},
        {"all turned anticlockwise, far", {-33, 151}, 40, 400e3, -4, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TFixBearing> bearings;
        for (int i = 0; i < 3; ++i) {
            const TCoordinate station =
                DestinationPoint(c.truth, c.firstAzimuth + 120 * i, c.rangeMetres);
            bearings.push_back(ExactBearing(station, c.truth, c.sigmaDegrees));
            bearings.back().BearingDegrees += c.turnDegrees;
        }
        const TFixEstimate fix = EstimateFix(bearings);
        ASSERT_TRUE(fix.IsFix()) << FixFailureText(fix.Failure).toStdString();
        EXPECT_LT(DistanceMetres(fix.Position, c.truth), 1e-3);
        for (double r : fix.ResidualsDegrees)
            EXPECT_NEAR(r, c.turnDegrees, 1e-8);
        const double radius = std::sqrt(Chi2Quantile2(0.95) * 2 / 3) * c.sigmaDegrees * Rad *
                              EarthRadiusMetres * std::sin(c.rangeMetres / EarthRadiusMetres);
        EXPECT_NEAR(fix.Ellipse.SemiMajorMetres, radius, 1e-6 * radius);
        EXPECT_NEAR(fix.Ellipse.SemiMinorMetres, radius, 1e-6 * radius);
        EXPECT_EQ(fix.Used, 3);
    }
}

TEST(FixEstimate, SaysWhyThereIsNoFix) {
    const TCoordinate t{50, 30};
    const TCoordinate west = DestinationPoint(t, 270, 60e3);
    const TCoordinate south = DestinationPoint(t, 180, 80e3);
    const TCoordinate east = DestinationPoint(t, 90, 70e3);
    const TCoordinate north = DestinationPoint(t, 0, 50e3);
    const auto at = [](TCoordinate AStation, double ABearing, double ASigma = 2) {
        return TFixBearing{AStation, ABearing, ASigma, true};
    };
    const auto toward = [&](TCoordinate AStation, double ATurn = 0, double ASigma = 2) {
        return at(AStation, BearingDegrees(AStation, t) + ATurn, ASigma);
    };
    TFixBearing leftOut = toward(south);
    leftOut.Use = false;
    const struct {
        const char* name;
        std::vector<TFixBearing> bearings;
        TFixOptions options;
        TFixFailure failure;
    } cases[] = {
        {"no bearings", {}, {}, TFixFailure::TooFewStations},
        {"one bearing", {toward(west)}, {}, TFixFailure::TooFewStations},
        {"two bearings of one station",
         {toward(west), toward(west, 60)},
         {},
         TFixFailure::TooFewStations},
        {"second station left out",
         {toward(west), toward(west, 45), leftOut},
         {},
         TFixFailure::TooFewStations},
        {"parallel bearings", {at(west, 45), at(south, 45)}, {}, TFixFailure::NearParallel},
        {"identical bearing lines",
         {at(west, 90), at(DestinationPoint(west, 90, 30e3), 90)},
         {},
         TFixFailure::NearParallel},
        {"crossing within the noise", {at(west, 42), at(south, 45)}, {}, TFixFailure::NearParallel},
        {"three nearly parallel",
         {at(west, 30), at(south, 31), at(east, 29)},
         {},
         TFixFailure::NearParallel},
        {"back to back on one line", {at(west, 270), at(east, 90)}, {}, TFixFailure::NearParallel},
        {"every bearing pointing away",
         {toward(west, 180), toward(south, 180), toward(east, 180)},
         {},
         TFixFailure::BehindStations},
        {"two pointing away from their crossing",
         {toward(north, 180), toward(east, 180)},
         {},
         TFixFailure::BehindStations},
        {"one toward, one away",
         {toward(north), toward(east, 180)},
         {},
         TFixFailure::BehindStations},
        {"no room to converge",
         {toward(west, 1), toward(south, -1), toward(east, 2)},
         {.MaxIterations = 1},
         TFixFailure::NoConvergence},
        {"bearing not a number",
         {toward(west), at(south, std::nan(""))},
         {},
         TFixFailure::InvalidInput},
        {"latitude beyond a pole", {toward(west), at({90.5, 0}, 0)}, {}, TFixFailure::InvalidInput},
        {"sigma zero", {toward(west), toward(south, 0, 0)}, {}, TFixFailure::InvalidInput},
        {"sigma negative", {toward(west), toward(south, 0, -1)}, {}, TFixFailure::InvalidInput},
        {"confidence of one",
         {toward(west), toward(south)},
         {.Confidence = 1},
         TFixFailure::InvalidInput},
        {"confidence of zero",
         {toward(west), toward(south)},
         {.Confidence = 0},
         TFixFailure::InvalidInput},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TFixEstimate fix = EstimateFix(c.bearings, c.options);
        EXPECT_EQ(fix.Failure, c.failure) << FixFailureText(fix.Failure).toStdString();
        EXPECT_FALSE(FixFailureText(fix.Failure).isEmpty());
        EXPECT_TRUE(fix.ResidualsDegrees.empty());
    }
}

TEST(FixEstimate, CrossingJustWideEnoughForItsNoiseIsAFix) {
    // Two bearings crossing at 3 degrees: too close to parallel for 2 degrees of noise
    // (see above), a fix for 0.5 degrees.
    const TCoordinate t{50, 30};
    const TCoordinate a = DestinationPoint(t, 180, 60e3);
    const TCoordinate b = DestinationPoint(t, 183, 60e3);
    const std::vector<TFixBearing> bearings = {ExactBearing(a, t, 0.5), ExactBearing(b, t, 0.5)};
    const TFixEstimate fix = EstimateFix(bearings);
    ASSERT_TRUE(fix.IsFix()) << FixFailureText(fix.Failure).toStdString();
    EXPECT_LT(DistanceMetres(fix.Position, t), 1e-2);
}

// Six stations, exact bearings but one spoilt: the spoilt one is named, left out, and
// the estimate is the one the other five give.
TEST(FixEstimate, OutliersAreFoundAndLeftOut) {
    const TCoordinate t{47.5, 24.2};
    std::vector<TFixBearing> clean;
    for (int i = 0; i < 6; ++i)
        clean.push_back(ExactBearing(DestinationPoint(t, 15 + 61.0 * i, 40e3 + 15e3 * i), t, 1));
    const struct {
        const char* name;
        int spoilt;
        double errorDegrees;
    } cases[] = {
        {"fifteen degrees off", 2, 15},
        {"eight degrees the other way", 4, -8},
        {"pointing away", 0, 180},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TFixBearing> bearings = clean;
        bearings[c.spoilt].BearingDegrees += c.errorDegrees;
        const TFixEstimate fix = EstimateFix(bearings);
        ASSERT_TRUE(fix.IsFix()) << FixFailureText(fix.Failure).toStdString();
        EXPECT_EQ(fix.Outliers, std::vector<int>{c.spoilt});
        EXPECT_EQ(fix.Used, 5);
        EXPECT_LT(DistanceMetres(fix.Position, t), 1e-2);
        EXPECT_NEAR(std::remainder(fix.ResidualsDegrees[c.spoilt] - c.errorDegrees, 360), 0, 1e-6);
    }

    // Of three bearings along one line, the fit follows each a third of the way, so its
    // residual shows only two thirds of its error: the test allows for that.
    std::vector<TFixBearing> fan;
    for (double azimuth : {175.0, 180.0, 185.0, 270.0})
        fan.push_back(ExactBearing(DestinationPoint(t, azimuth, 50e3), t, 1));
    fan[1].BearingDegrees += 4.5;
    const TFixEstimate fanned = EstimateFix(fan);
    ASSERT_TRUE(fanned.IsFix());
    EXPECT_EQ(fanned.Outliers, std::vector<int>{1});
    EXPECT_LT(DistanceMetres(fanned.Position, t), 1e-2);

    // A large network: every spoilt bearing is named, and only those.
    TRandom random(5);
    TNetwork big = RandomNetwork(random, 300, 1, 1);
    const std::vector<int> spoilt = {7, 100, 299};
    for (int i : spoilt)
        big.Bearings[i].BearingDegrees += 12;
    const TFixEstimate many = EstimateFix(big.Bearings);
    ASSERT_TRUE(many.IsFix());
    EXPECT_EQ(many.Outliers, spoilt);
    EXPECT_EQ(many.Used, 297);
    EXPECT_LT(DistanceMetres(many.Position, big.Truth), 1e-2);

    // Three bearings cannot tell which of them is wrong: none is named.
    std::vector<TFixBearing> three(clean.begin(), clean.begin() + 3);
    three[1].BearingDegrees += 6;
    const TFixEstimate fix = EstimateFix(three);
    ASSERT_TRUE(fix.IsFix());
    EXPECT_TRUE(fix.Outliers.empty());
    EXPECT_EQ(fix.Used, 3);
}

TEST(FixEstimate, BearingLeftOutByTheOperatorStillGetsItsResidual) {
    const TCoordinate t{50.45, 30.52};
    std::vector<TFixBearing> bearings;
    for (int i = 0; i < 4; ++i)
        bearings.push_back(ExactBearing(DestinationPoint(t, 100.0 * i, 50e3), t, 2));
    bearings[1].BearingDegrees += 1; // within the noise: no outlier
    bearings[3].BearingDegrees += 3;
    const TFixEstimate all = EstimateFix(bearings);
    ASSERT_TRUE(all.IsFix());
    ASSERT_EQ(all.Used, 4);

    bearings[3].Use = false;
    const TFixEstimate without = EstimateFix(bearings);
    ASSERT_TRUE(without.IsFix());
    EXPECT_EQ(without.Used, 3);
    EXPECT_TRUE(without.Outliers.empty());
    EXPECT_GT(DistanceMetres(all.Position, without.Position), 100); // the estimate moved
    const std::vector<TFixBearing> firstThree(bearings.begin(), bearings.begin() + 3);
    const TFixEstimate three = EstimateFix(firstThree);
    EXPECT_LT(DistanceMetres(without.Position, three.Position), 1e-3);
    ASSERT_EQ(without.ResidualsDegrees.size(), 4u);
    EXPECT_NEAR(without.ResidualsDegrees[3],
                bearings[3].BearingDegrees - BearingDegrees(bearings[3].Station, without.Position),
                1e-9);
}

TEST(FixEstimate, EllipsePolygonTracesTheEllipseOnTheSphere) {
    const TCoordinate t{-20, 179.95};
    const std::vector<TFixBearing> bearings = {ExactBearing(DestinationPoint(t, 200, 30e3), t, 2),
                                               ExactBearing(DestinationPoint(t, 290, 90e3), t, 2)};
    const TFixEstimate fix = EstimateFix(bearings);
    ASSERT_TRUE(fix.IsFix());
    ASSERT_GT(fix.Ellipse.SemiMajorMetres, 1.5 * fix.Ellipse.SemiMinorMetres);
    const std::vector<TCoordinate> polygon = EllipsePolygon(fix, 72);
    ASSERT_EQ(polygon.size(), 72u);
    EXPECT_NEAR(DistanceMetres(fix.Position, polygon[0]), fix.Ellipse.SemiMajorMetres, 1e-3);
    EXPECT_NEAR(DistanceMetres(fix.Position, polygon[18]), fix.Ellipse.SemiMinorMetres, 1e-3);
    EXPECT_LT(
        CrossingDegrees(BearingDegrees(fix.Position, polygon[0]), fix.Ellipse.OrientationDegrees),
        1e-6);
    for (const TCoordinate& vertex : polygon)
        EXPECT_NEAR(EllipseRadius2(fix, vertex), 1, 1e-6);
    EXPECT_TRUE(EllipsePolygon(EstimateFix(std::vector<TFixBearing>{}), 72).empty());
}

// Synthetic networks with Gaussian bearing noise (fixed seed): the 95 % ellipse holds
// the transmitter in 95 % +- 2 % of the trials, and on each network the mean error is
// small against its standard error (Hotelling's T^2 below the chi-square 0.1 % point).
TEST(FixEstimate, EllipseCoverageAndUnbiasedErrorOnSyntheticNetworks) {
    constexpr int Networks = 20;
    constexpr int TrialsPerNetwork = 200;
    TRandom random(20261211);
    int trials = 0, inside = 0, fixes = 0;
    double worstT2 = 0;
    for (int n = 0; n < Networks; ++n) {
        const TNetwork net = RandomNetwork(random, 3 + n % 6, 0.5, 3);
        double sumE = 0, sumN = 0, sumEE = 0, sumEN = 0, sumNN = 0;
        int count = 0;
        for (int t = 0; t < TrialsPerNetwork; ++t) {
            const TFixEstimate fix = EstimateFix(Measured(net, random));
            ++trials;
            if (!fix.IsFix())
                continue;
            ++fixes;
            inside += EllipseRadius2(fix, net.Truth) <= 1;
            const TOffset e = OffsetMetres(net.Truth, fix.Position);
            sumE += e.East;
            sumN += e.North;
            sumEE += e.East * e.East;
            sumEN += e.East * e.North;
            sumNN += e.North * e.North;
            ++count;
        }
        const double mE = sumE / count, mN = sumN / count;
        const double sEE = (sumEE - count * mE * mE) / (count - 1);
        const double sEN = (sumEN - count * mE * mN) / (count - 1);
        const double sNN = (sumNN - count * mN * mN) / (count - 1);
        const double det = sEE * sNN - sEN * sEN;
        const double t2 = count * (mE * mE * sNN - 2 * mE * mN * sEN + mN * mN * sEE) / det;
        worstT2 = std::max(worstT2, t2);
        EXPECT_LT(t2, Chi2Quantile2(0.999)) << "network " << n;
    }
    const double coverage = double(inside) / fixes;
    std::printf("fixes %d of %d trials, 95 %% ellipse coverage %.4f, largest T^2 %.2f\n", fixes,
                trials, coverage, worstT2);
    EXPECT_GE(fixes, trials * 0.99);
    EXPECT_NEAR(coverage, 0.95, 0.02);
}

} // namespace
