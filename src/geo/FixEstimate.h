// Fix estimation: the most likely transmitter position from all the bearings of a
// command at once, on the sphere of radius 6378137 m, with its error ellipse, each
// bearing's residual and the bearings that look like outliers. A plain "no fix" with
// its reason is returned whenever the bearings do not determine a position.
#pragma once

#include "ui/DestinationPoint.h"

#include <QString>
#include <span>
#include <vector>

// One measured bearing.
struct TFixBearing {
    TCoordinate Station;       // degrees
    double BearingDegrees = 0; // clockwise from north, as measured at the station
    double SigmaDegrees = 2;   // standard deviation of the bearing, degrees, in (0, 90]
    bool Use = true;           // false: left out of the estimate by the operator
};

// Why there is no fix.
enum class TFixFailure {
    None,
    InvalidInput,   // a value is not finite, a latitude beyond a pole, sigma <= 0, ...
    TooFewStations, // fewer than two stations more than 1 m apart among the bearings used
    NearParallel,   // the bearings cross at an angle their noise cannot tell from zero
    BehindStations, // the bearings meet only behind the stations that took them
    NoConvergence,  // the iteration did not settle
};

// Reason for an operator or a script, e.g. "the bearings are parallel or nearly so".
QString FixFailureText(TFixFailure AFailure);

struct TFixOptions {
    double Confidence = 0.95; // of the error ellipse, within (0, 1)
    // Gauss-Newton steps allowed before the estimate is refused as not converging.
    int MaxIterations = 50;
    // Critical value of the normalised-residual test: 3.29 is the two-sided 0.1 % point
    // of the standard normal distribution.
    double OutlierThreshold = 3.29;
};

// Error ellipse in the tangent plane at the estimate.
struct TErrorEllipse {
    double SemiMajorMetres = 0;
    double SemiMinorMetres = 0;
    double OrientationDegrees = 0; // of the major axis, clockwise from north, [0, 180)
    double Confidence = 0;         // probability that the ellipse holds the transmitter
};

struct TFixEstimate {
    TFixFailure Failure = TFixFailure::InvalidInput;
    TCoordinate Position; // degrees, longitude within (-180, 180]
    TErrorEllipse Ellipse;
    // Covariance of the position, square metres, east and north at the estimate.
    double CovarianceEastEast = 0;
    double CovarianceEastNorth = 0;
    double CovarianceNorthNorth = 0;
    // Measured minus computed bearing, degrees within (-180, 180], one per input bearing
    // in input order (also for bearings left out and outliers); empty without a fix.
    std::vector<double> ResidualsDegrees;
    std::vector<int> Outliers; // input indices, ascending
    int Used = 0;              // bearings the estimate rests on

    bool IsFix() const noexcept { return Failure == TFixFailure::None; }
};

// Estimates the fix from ABearings (see FixEstimate.cpp for the method).
TFixEstimate EstimateFix(std::span<const TFixBearing> ABearings, const TFixOptions& AOptions = {});

// AVertices points (at least 3) of the error ellipse on the sphere, for drawing it as a
// polygon: each at its distance and bearing from the estimate in the tangent plane.
// Empty without a fix.
std::vector<TCoordinate> EllipsePolygon(const TFixEstimate& AFix, int AVertices);
