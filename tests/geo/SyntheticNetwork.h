// Synthetic direction-finding networks around a known transmitter, for the fix
// estimation tests and benchmark. Random numbers come from a fixed-seed Mersenne
// Twister converted by our own code (not the library's distributions, whose output
// differs between standard libraries), so every run draws the same networks.
#pragma once

#include "geo/FixEstimate.h"
#include "ui/DestinationPoint.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace synthetic {

constexpr double Rad = std::numbers::pi / 180.0;

class TRandom {
public:
    explicit TRandom(std::uint64_t ASeed) : FEngine(ASeed) {}
    // Uniform in [0, 1).
    double Uniform() { return double(FEngine() >> 11) * 0x1.0p-53; }
    double Uniform(double ALow, double AHigh) { return ALow + (AHigh - ALow) * Uniform(); }
    int Between(int ALow, int AHigh) { return ALow + int(Uniform() * (AHigh - ALow + 1)); }
    // Standard normal, Box-Muller.
    double Normal() {
        const double u = 1 - Uniform(); // (0, 1], so the logarithm is finite
        return std::sqrt(-2 * std::log(u)) * std::cos(2 * std::numbers::pi * Uniform());
    }

private:
    std::mt19937_64 FEngine;
};

// Forward azimuth of the great circle from AFrom to ATo, degrees clockwise from north
// (the textbook formula, independent of the unit's vector form).
inline double BearingDegrees(const TCoordinate& AFrom, const TCoordinate& ATo) {
    const double phi1 = AFrom.Latitude * Rad, phi2 = ATo.Latitude * Rad;
    const double dLambda = (ATo.Longitude - AFrom.Longitude) * Rad;
    return std::atan2(std::sin(dLambda) * std::cos(phi2),
                      std::cos(phi1) * std::sin(phi2) -
                          std::sin(phi1) * std::cos(phi2) * std::cos(dLambda)) /
           Rad;
}

// Great-circle distance, metres (haversine).
inline double DistanceMetres(const TCoordinate& A, const TCoordinate& B) {
    const double dPhi = (B.Latitude - A.Latitude) * Rad;
    const double dLambda = (B.Longitude - A.Longitude) * Rad;
    const double h = std::pow(std::sin(dPhi / 2), 2) + std::cos(A.Latitude * Rad) *
                                                           std::cos(B.Latitude * Rad) *
                                                           std::pow(std::sin(dLambda / 2), 2);
    return 2 * EarthRadiusMetres * std::asin(std::min(1.0, std::sqrt(h)));
}

// Offset of ATo from AFrom in metres east and north, in AFrom's tangent plane
// (azimuthal equidistant).
struct TOffset {
    double East, North;
};
inline TOffset OffsetMetres(const TCoordinate& AFrom, const TCoordinate& ATo) {
    const double d = DistanceMetres(AFrom, ATo);
    const double b = BearingDegrees(AFrom, ATo) * Rad;
    return {d * std::sin(b), d * std::cos(b)};
}

// A bearing taken at AStation of a transmitter at ATruth, without noise.
inline TFixBearing ExactBearing(const TCoordinate& AStation, const TCoordinate& ATruth,
                                double ASigmaDegrees) {
    return {AStation, BearingDegrees(AStation, ATruth), ASigmaDegrees, true};
}

struct TNetwork {
    TCoordinate Truth;
    std::vector<TFixBearing> Bearings; // exact; noise is added per trial
};

// Angle between two lines of the given directions, degrees within [0, 90].
inline double CrossingDegrees(double A, double B) {
    const double d = std::fmod(std::abs(A - B), 180.0);
    return std::min(d, 180 - d);
}

// AStations stations 20 to 150 km around a transmitter, each bearing crossing at least
// one other at 30 degrees or more; deviations drawn from [ASigmaLow, ASigmaHigh].
inline TNetwork RandomNetwork(TRandom& ARandom, int AStations, double ASigmaLow,
                              double ASigmaHigh) {
    TNetwork net;
    net.Truth = {ARandom.Uniform(-60, 70), ARandom.Uniform(-180, 180)};
    std::vector<double> azimuths;
    for (bool spread = false; !spread;) {
        azimuths.clear();
        for (int i = 0; i < AStations; ++i)
            azimuths.push_back(ARandom.Uniform(0, 360));
        spread = true;
        for (double a : azimuths) {
            bool crossed = false;
            for (double b : azimuths)
                crossed = crossed || CrossingDegrees(a, b) >= 30;
            spread = spread && crossed;
        }
    }
    for (double a : azimuths) {
        const TCoordinate station = DestinationPoint(net.Truth, a, ARandom.Uniform(20e3, 150e3));
        net.Bearings.push_back(
            ExactBearing(station, net.Truth, ARandom.Uniform(ASigmaLow, ASigmaHigh)));
    }
    return net;
}

// The network's bearings with Gaussian noise of each bearing's deviation.
inline std::vector<TFixBearing> Measured(const TNetwork& ANetwork, TRandom& ARandom) {
    std::vector<TFixBearing> measured = ANetwork.Bearings;
    for (TFixBearing& b : measured)
        b.BearingDegrees += b.SigmaDegrees * ARandom.Normal();
    return measured;
}

} // namespace synthetic
