#include "ui/DestinationPoint.h"

#include <gtest/gtest.h>

namespace {
struct DestinationCase {
    const char* name;
    TCoordinate start;
    double bearingDegrees;
    double distanceMetres;
    TCoordinate expected; // to six decimals
};

const DestinationCase kCases[] = {
    {"zero distance", {50, 30}, 123, 0, {50, 30}},
    {"north along meridian", {0, 0}, 0, 2000000, {17.966306, 0}},
    {"east along equator", {0, 0}, 90, 2000000, {0, 17.966306}},
    {"north from 50,30", {50, 30}, 0, 2000000, {67.966306, 30}},
    {"south from 50,30", {50, 30}, 180, 2000000, {32.033694, 30}},
    {"east bends to equator", {50, 30}, 90, 2000000, {46.776738, 56.769759}},
    {"negative distance goes back", {50, 30}, 90, -2000000, {46.776738, 3.230241}},
    {"bearing 270 equals negative 90", {50, 30}, 270, 2000000, {46.776738, 3.230241}},
    {"longitude not normalised", {0, 179}, 90, 2000000, {0, 196.966306}},
    {"bearing beyond 360 is periodic", {50, 30}, 450, 2000000, {46.776738, 56.769759}},
    {"over the pole", {80, 10}, 0, 2000000, {82.033694, 190}},
};
} // namespace

TEST(DestinationPoint, StatedValuesToSixDecimals) {
    for (const DestinationCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const TCoordinate end = DestinationPoint(c.start, c.bearingDegrees, c.distanceMetres);
        EXPECT_NEAR(end.Latitude, c.expected.Latitude, 5e-7);
        EXPECT_NEAR(end.Longitude, c.expected.Longitude, 5e-7);
    }
}

TEST(DestinationPoint, LatitudeStaysWithinPolesForAnyInput) {
    for (double bearing = -720; bearing <= 720; bearing += 7.5) {
        for (double distance : {-4.0e7, -1.0e6, 1.0, 1.0e7, 2.0e7, 1.0e9}) {
            const TCoordinate end = DestinationPoint({89.9, -45}, bearing, distance);
            ASSERT_GE(end.Latitude, -90.0);
            ASSERT_LE(end.Latitude, 90.0);
        }
    }
}
