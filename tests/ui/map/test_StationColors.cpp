// Station colours: one per station, fixed by its position, from a palette that stays apart
// for colour-blind viewers and stands out on the dark base map.
#include "ui/map/MapOverlays.h"
#include "ui/map/StationColors.h"

#include <QColor>
#include <cmath>
#include <gtest/gtest.h>

namespace {

// Relative luminance and contrast ratio of WCAG 2 (graphical objects want 3:1).
double Luminance(TColor c) {
    const auto channel = [](unsigned byte) {
        const double v = byte / 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c & 0xFF) + 0.7152 * channel((c >> 8) & 0xFF) +
           0.0722 * channel((c >> 16) & 0xFF);
}

double Contrast(TColor a, TColor b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

TEST(StationColors, PaletteStandsOutOnTheBaseMapAndFromTheOtherLines) {
    const TColor land = 0x00222A1C; // #1c2a22, the base map's countries
    const TColor sea = 0x00000000;
    for (size_t i = 0; i < StationPalette.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(Contrast(StationPalette[i], land), 3.0);
        EXPECT_GE(Contrast(StationPalette[i], sea), 3.0);
        EXPECT_NE(StationPalette[i], TMapOverlays::LodvarLineColor) << "not the plain blue";
        EXPECT_NE(StationPalette[i], TMapOverlays::FixEllipseColor) << "not the fix ellipse";
        for (size_t j = 0; j < i; ++j) {
            EXPECT_NE(StationPalette[i], StationPalette[j]) << j;
        }
    }
}

TEST(StationColors, KeyIsThePositionToAMicroDegree) {
    const struct {
        const char* name;
        TCoordinate a, b;
        bool same;
    } cases[] = {
        {"rounding noise", {50.0, 30.0}, {50.00000049, 29.99999951}, true},
        {"negative zero", {-0.0, -0.0}, {0.0, 0.0}, true},
        {"ten centimetres apart", {50.0, 30.0}, {50.000001, 30.0}, false},
        {"latitude and longitude swapped", {50.0, 30.0}, {30.0, 50.0}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(StationKey(c.a) == StationKey(c.b), c.same)
            << StationKey(c.a).toStdString() << " " << StationKey(c.b).toStdString();
    }
    EXPECT_EQ(StationKey({-49.5, 31.25}), QStringLiteral("-49500000,31250000"));
}

// The colour depends on nothing but the key (no per-process hash seed): these stay the same
// on every run and every computer, so operators can learn them.
TEST(StationColors, ColourIsFixedByTheKey) {
    EXPECT_EQ(StationColor(StationKey({50, 30})), StationPalette[1]);
    EXPECT_EQ(StationColor(StationKey({50, 32})), StationPalette[6]);
    EXPECT_EQ(StationColor(StationKey({49, 31})), StationPalette[2]);
    int used[StationPalette.size()] = {};
    for (int i = 0; i < 700; ++i) {
        const TColor c = StationColor(StationKey({45.0 + i * 0.01, 30.0}));
        for (size_t k = 0; k < StationPalette.size(); ++k) {
            used[k] += c == StationPalette[k];
        }
    }
    for (const int n : used) {
        EXPECT_GT(n, 50) << "the hash spreads stations over the whole palette";
    }
}
