// Feeds arbitrary bearings to the fix estimation: raw doubles (NaN, infinities, huge
// values) and bearings spread over the whole globe, including coincident stations, poles
// and parallel lines. A fix must be a consistent answer and a refusal must carry no
// figures; anything else (a crash, a sanitizer report, a broken invariant) stops the run.
#include "geo/FixEstimate.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

class TReader {
public:
    TReader(const std::uint8_t* AData, std::size_t ASize) : FData(AData), FSize(ASize) {}
    bool Has(std::size_t ABytes) const { return FSize - FPos >= ABytes; }
    double Raw() {
        double value;
        std::memcpy(&value, FData + FPos, sizeof value);
        FPos += sizeof value;
        return value;
    }
    // Two bytes scaled into [ALow, AHigh]; few distinct values, so coincidences happen.
    double Scaled(double ALow, double AHigh) {
        const unsigned v = unsigned(FData[FPos]) << 8 | FData[FPos + 1];
        FPos += 2;
        return ALow + (AHigh - ALow) * v / 65535.0;
    }
    std::uint8_t Byte() { return FData[FPos++]; }

private:
    const std::uint8_t* FData;
    std::size_t FSize;
    std::size_t FPos = 0;
};

void CheckFix(const std::vector<TFixBearing>& ABearings, const TFixEstimate& AFix) {
    if (!AFix.IsFix()) {
        Require(AFix.ResidualsDegrees.empty() && AFix.Outliers.empty());
        return;
    }
    Require(std::abs(AFix.Position.Latitude) <= 90);
    Require(AFix.Position.Longitude > -180 && AFix.Position.Longitude <= 180);
    const TErrorEllipse& e = AFix.Ellipse;
    Require(std::isfinite(e.SemiMajorMetres) && e.SemiMajorMetres >= e.SemiMinorMetres &&
            e.SemiMinorMetres >= 0);
    Require(e.OrientationDegrees >= 0 && e.OrientationDegrees < 180);
    Require(AFix.ResidualsDegrees.size() == ABearings.size());
    for (double r : AFix.ResidualsDegrees)
        Require(r > -180 && r <= 180);
    Require(std::is_sorted(AFix.Outliers.begin(), AFix.Outliers.end()));
    int leftOut = 0;
    for (const TFixBearing& b : ABearings)
        leftOut += !b.Use;
    for (int i : AFix.Outliers)
        Require(i >= 0 && std::size_t(i) < ABearings.size() && ABearings[i].Use);
    Require(AFix.Used >= 2 &&
            AFix.Used + int(AFix.Outliers.size()) + leftOut == int(ABearings.size()));
    Require(EllipsePolygon(AFix, 16).size() == 16);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    TReader in(data, size);
    const bool raw = in.Byte() & 1;
    std::vector<TFixBearing> bearings;
    while (bearings.size() < 64 && in.Has(raw ? 33 : 9)) {
        TFixBearing b;
        if (raw) {
            b.Station = {in.Raw(), in.Raw()};
            b.BearingDegrees = in.Raw();
            b.SigmaDegrees = in.Raw();
        } else {
            b.Station = {in.Scaled(-90, 90), in.Scaled(-180, 180)};
            b.BearingDegrees = in.Scaled(0, 360);
            b.SigmaDegrees = in.Scaled(0.01, 10);
        }
        b.Use = in.Byte() & 1;
        bearings.push_back(b);
    }
    CheckFix(bearings, EstimateFix(bearings));
    return 0;
}
