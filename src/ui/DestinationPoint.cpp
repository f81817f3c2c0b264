#include "ui/DestinationPoint.h"

#include <cmath>
#include <numbers>

namespace {
constexpr double RadiansPerDegree = std::numbers::pi / 180.0;
constexpr double DegreesPerRadian = 180.0 / std::numbers::pi;
} // namespace

TCoordinate DestinationPoint(const TCoordinate& AStart, double ABearingDegrees,
                             double ADistanceMetres) {
    const double delta = ADistanceMetres / EarthRadiusMetres; // angular distance, radians
    const double theta = ABearingDegrees * RadiansPerDegree;
    const double phi1 = AStart.Latitude * RadiansPerDegree;
    const double lambda1 = AStart.Longitude * RadiansPerDegree;

    const double sinPhi2 =
        std::sin(phi1) * std::cos(delta) + std::cos(phi1) * std::sin(delta) * std::cos(theta);
    // atan2 form of arcsin: exact at the poles, where asin loses precision.
    const double phi2 = std::atan2(sinPhi2, std::sqrt((1 + sinPhi2) * (1 - sinPhi2)));
    const double y = std::sin(theta) * std::sin(delta) * std::cos(phi1);
    const double x = std::cos(delta) - std::sin(phi1) * sinPhi2;
    const double lambda2 = lambda1 + std::atan2(y, x);

    return {phi2 * DegreesPerRadian, lambda2 * DegreesPerRadian};
}
