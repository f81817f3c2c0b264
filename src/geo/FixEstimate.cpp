// Method: the maximum-likelihood estimator for bearings with independent Gaussian
// errors (Torrieri, "Statistical theory of passive location systems", IEEE AES 1984),
// iterated by Gauss-Newton in the local tangent plane at the current estimate. Bearings
// to the estimate are the forward azimuths of great circles, and every point is a unit
// vector, so stations hundreds of kilometres apart and fixes near the antimeridian or a
// pole need no special case. The iteration starts from the spherical form of
// Stansfield's weighted least squares: the point closest, in the weighted sense, to all
// the bearing great circles (the smallest eigenvector of the sum of their weighted
// plane-normal outer products), reweighted once with the range to each station.
//
// Error ellipse: the covariance is the inverse Fisher information at the estimate; with
// the stated (not fitted) bearing deviations the squared Mahalanobis distance of the
// error follows a chi-square distribution with 2 degrees of freedom, so the ellipse for
// confidence P is scaled by k = -2 ln(1 - P) (5.991 for 95 %).
//
// Outliers: Baarda's data snooping. A bearing whose normalised residual (residual over
// the standard deviation of that residual, leverage included) exceeds the critical
// value is left out and the fit repeated, the worst one first (for large inputs all of
// them at once, see BatchSnoopingFrom). Identifying a bearing needs at least two bearings
// more than the two unknowns, so it runs from four used bearings on. A bearing that points away
// from the first estimate (residual beyond 90 degrees) cannot have produced it and is left out
// before the iteration starts.
#include "geo/FixEstimate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

constexpr double Pi = std::numbers::pi;
constexpr double RadiansPerDegree = Pi / 180.0;
constexpr double DegreesPerRadian = 180.0 / Pi;
// Stations closer than this are one station; a fix closer than this to a station
// says nothing about that station's bearing.
constexpr double SamePlaceRadians = 1.0 / EarthRadiusMetres;
// Bearings crossing at less than this meet thousands of kilometres away from any
// network of stations a few hundred kilometres across.
constexpr double MinCrossingRadians = 1.0 * RadiansPerDegree;

struct TVec {
    double x = 0, y = 0, z = 0;
};

TVec operator+(TVec a, TVec b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
TVec operator-(TVec a, TVec b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
TVec operator*(double k, TVec a) {
    return {k * a.x, k * a.y, k * a.z};
}
double Dot(TVec a, TVec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
TVec Cross(TVec a, TVec b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Norm(TVec a) {
    return std::sqrt(Dot(a, a));
}
TVec Unit(TVec a) {
    return (1.0 / Norm(a)) * a;
}

// Unit position vector with the local east and north unit vectors at it.
struct TFrame {
    TVec Up, East, North;
};

TFrame FrameAt(double ALatitudeRadians, double ALongitudeRadians) {
    const double sinPhi = std::sin(ALatitudeRadians), cosPhi = std::cos(ALatitudeRadians);
    const double sinLambda = std::sin(ALongitudeRadians), cosLambda = std::cos(ALongitudeRadians);
    return {{cosPhi * cosLambda, cosPhi * sinLambda, sinPhi},
            {-sinLambda, cosLambda, 0},
            {-sinPhi * cosLambda, -sinPhi * sinLambda, cosPhi}};
}

TFrame FrameAt(TVec AUp) {
    return FrameAt(std::atan2(AUp.z, std::hypot(AUp.x, AUp.y)), std::atan2(AUp.y, AUp.x));
}

// Angle wrapped into (-pi, pi].
double Wrap(double ARadians) {
    const double r = std::remainder(ARadians, 2 * Pi);
    return r <= -Pi ? r + 2 * Pi : r;
}

// A bearing prepared for the sums: the station's frame, the measured direction and the
// normal of the measured great circle.
struct TLine {
    TFrame Station;
    double Bearing = 0; // radians
    double Weight = 0;  // 1 / sigma^2, sigma in radians
    TVec Normal;
};

// Bearing from the station to AAt, radians clockwise from north.
double ComputedBearing(const TLine& ALine, TVec AAt) {
    return std::atan2(Dot(AAt, ALine.Station.East), Dot(AAt, ALine.Station.North));
}

// Eigenvalues (descending) and eigenvectors of a symmetric 3x3 matrix, by cyclic
// Jacobi rotations.
struct TEigen3 {
    std::array<double, 3> Values;
    std::array<TVec, 3> Vectors;
};

TEigen3 SymmetricEigen(std::array<std::array<double, 3>, 3> a) {
    std::array<std::array<double, 3>, 3> v{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    for (int sweep = 0; sweep < 50; ++sweep) {
        const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
        const double scale = a[0][0] * a[0][0] + a[1][1] * a[1][1] + a[2][2] * a[2][2];
        if (off <= 1e-30 * scale || off == 0)
            break;
        for (int p = 0; p < 2; ++p) {
            for (int q = p + 1; q < 3; ++q) {
                if (a[p][q] == 0)
                    continue;
                const double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
                const double t =
                    std::copysign(1.0, theta) / (std::abs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (int k = 0; k < 3; ++k) {
                    const double akp = a[k][p], akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (int k = 0; k < 3; ++k) {
                    const double apk = a[p][k], aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
                for (int k = 0; k < 3; ++k) {
                    const double vkp = v[k][p], vkq = v[k][q];
                    v[k][p] = c * vkp - s * vkq;
                    v[k][q] = s * vkp + c * vkq;
                }
            }
        }
    }
    std::array<int, 3> order{0, 1, 2};
    std::sort(order.begin(), order.end(), [&](int i, int j) { return a[i][i] > a[j][j]; });
    TEigen3 result;
    for (int i = 0; i < 3; ++i) {
        const int k = order[i];
        result.Values[i] = a[k][k];
        result.Vectors[i] = {v[0][k], v[1][k], v[2][k]};
    }
    return result;
}

using TUsed = std::vector<const TLine*>;

// Sum of AWeight(line) * normal * normal^T over the used lines.
template <class TWeight>
TEigen3 NormalSpread(const TUsed& AUsed, TWeight AWeight) {
    std::array<std::array<double, 3>, 3> m{};
    for (const TLine* line : AUsed) {
        const double w = AWeight(*line);
        const double n[3] = {line->Normal.x, line->Normal.y, line->Normal.z};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m[i][j] += w * n[i] * n[j];
    }
    return SymmetricEigen(m);
}

bool HasTwoStations(const TUsed& AUsed) {
    return std::any_of(AUsed.begin(), AUsed.end(), [&](const TLine* line) {
        return Norm(line->Station.Up - AUsed.front()->Station.Up) > SamePlaceRadians;
    });
}

// Whether the great circles cross at an angle that their noise can tell from zero. For
// two bearings sqrt(l2 / l1) of the unweighted normal spread is tan(crossing / 2), so
// the many-bearing form reads as a typical crossing angle; it must exceed twice the
// standard deviation of the difference of two bearings (2 sqrt(2) sigma, sigma the root
// mean square of the deviations) and 1 degree.
bool CrossWideEnough(const TUsed& AUsed) {
    const TEigen3 spread = NormalSpread(AUsed, [](const TLine&) { return 1.0; });
    if (!(spread.Values[0] > 0))
        return false;
    const double crossing =
        2 * std::atan(std::sqrt(std::max(0.0, spread.Values[1]) / spread.Values[0]));
    double sumVariance = 0;
    for (const TLine* line : AUsed)
        sumVariance += 1 / line->Weight;
    const double sigma = std::sqrt(sumVariance / double(AUsed.size()));
    return crossing >= std::max(MinCrossingRadians, 2 * std::numbers::sqrt2 * sigma);
}

TVec Centre(const TUsed& AUsed) {
    TVec sum;
    for (const TLine* line : AUsed)
        sum = sum + line->Station.Up;
    return Unit(sum);
}

// Weighted least-squares point of the bearing great circles (Stansfield's estimator on
// the sphere); of the two antipodal solutions, the one on the stations' side.
TVec StartingPoint(const TUsed& AUsed) {
    const TVec centre = Centre(AUsed);
    TVec p = NormalSpread(AUsed, [](const TLine& l) { return l.Weight; }).Vectors[2];
    if (Dot(p, centre) < 0)
        p = -1.0 * p;
    // A bearing's distance from a point off its great circle grows with the range, so the
    // second pass weighs each by 1 / (sigma sin(range))^2.
    TVec q = NormalSpread(AUsed, [&](const TLine& l) {
                 const double sinRange = std::max(Norm(Cross(l.Station.Up, p)), SamePlaceRadians);
                 return l.Weight / (sinRange * sinRange);
             }).Vectors[2];
    return Dot(q, centre) < 0 ? -1.0 * q : q;
}

// Jacobian row of a bearing (radians per metre east and north at AAt); zero when the
// estimate sits on the station, where the bearing says nothing.
struct TRow {
    double East = 0, North = 0;
};

TRow Jacobian(const TLine& ALine, const TFrame& AAt) {
    const double a = Dot(AAt.Up, ALine.Station.East), b = Dot(AAt.Up, ALine.Station.North);
    const double rho2 = a * a + b * b; // sin^2 of the range
    if (rho2 < SamePlaceRadians * SamePlaceRadians)
        return {};
    const TVec g =
        (1.0 / (rho2 * EarthRadiusMetres)) * (b * ALine.Station.East - a * ALine.Station.North);
    return {Dot(g, AAt.East), Dot(g, AAt.North)};
}

double Residual(const TLine& ALine, TVec AAt) {
    return Wrap(ALine.Bearing - ComputedBearing(ALine, AAt));
}

// Inverse Fisher information (square metres, east and north) at a point.
struct TCovariance {
    double EE = 0, EN = 0, NN = 0;
    bool Valid = false;
};

TCovariance CovarianceAt(const TUsed& AUsed, const TFrame& AAt) {
    double hEE = 0, hEN = 0, hNN = 0;
    for (const TLine* line : AUsed) {
        const TRow j = Jacobian(*line, AAt);
        hEE += line->Weight * j.East * j.East;
        hEN += line->Weight * j.East * j.North;
        hNN += line->Weight * j.North * j.North;
    }
    const double det = hEE * hNN - hEN * hEN;
    TCovariance c;
    if (!(det > 1e-12 * (hEE + hNN) * (hEE + hNN)))
        return c;
    c = {hNN / det, -hEN / det, hEE / det, true};
    return c;
}

double Cost(const TUsed& AUsed, TVec AAt) {
    double sum = 0;
    for (const TLine* line : AUsed) {
        const double r = Residual(*line, AAt);
        sum += line->Weight * r * r;
    }
    return sum;
}

struct TSolution {
    TFixFailure Failure = TFixFailure::None;
    TVec Position;
    TCovariance Covariance;
};

// Gauss-Newton on the weighted sum of squared bearing residuals, the step taken in the
// tangent plane at the current estimate and mapped back onto the sphere; a step that
// raises the sum is halved.
TSolution MaximumLikelihood(const TUsed& AUsed, TVec AStart, int AMaxIterations) {
    const TVec centre = Centre(AUsed);
    TSolution s{TFixFailure::NoConvergence, AStart, {}};
    double cost = Cost(AUsed, s.Position);
    for (int iteration = 0; iteration < AMaxIterations; ++iteration) {
        const TFrame at = FrameAt(s.Position);
        s.Covariance = CovarianceAt(AUsed, at);
        if (!s.Covariance.Valid) {
            s.Failure = TFixFailure::NearParallel;
            return s;
        }
        double gE = 0, gN = 0;
        for (const TLine* line : AUsed) {
            const TRow j = Jacobian(*line, at);
            const double wr = line->Weight * Residual(*line, s.Position);
            gE += wr * j.East;
            gN += wr * j.North;
        }
        const TCovariance& c = s.Covariance;
        double stepE = c.EE * gE + c.EN * gN, stepN = c.EN * gE + c.NN * gN;
        // Settled once the step is a millionth of the standard error, or a millimetre.
        const double tolerance = std::max(1e-3, 1e-6 * std::sqrt(c.EE + c.NN));
        const bool last = std::hypot(stepE, stepN) <= tolerance;
        for (int halving = 0;; ++halving) {
            const TVec next =
                Unit(s.Position + (1.0 / EarthRadiusMetres) * (stepE * at.East + stepN * at.North));
            const double nextCost = Cost(AUsed, next);
            if (nextCost <= cost * (1 + 1e-12)) {
                s.Position = next;
                cost = nextCost;
                break;
            }
            if (halving == 30 || last)
                break;
            stepE /= 2;
            stepN /= 2;
        }
        if (Dot(s.Position, centre) <= 0)
            return s;
        if (last) {
            s.Covariance = CovarianceAt(AUsed, FrameAt(s.Position));
            s.Failure = s.Covariance.Valid ? TFixFailure::None : TFixFailure::NearParallel;
            return s;
        }
    }
    return s;
}

// From this many bearings on, each moves the fit so little that one gross error barely
// raises the others' residuals: all bearings beyond the critical value go in one round,
// which keeps large inputs linear in time.
constexpr std::size_t BatchSnoopingFrom = 100;

// Indices in AUsed (ascending) of the bearings to leave out by data snooping: the worst
// beyond the critical value, or all of them from BatchSnoopingFrom bearings on.
std::vector<std::size_t> SnoopedOutliers(const TUsed& AUsed, const TSolution& ASolution,
                                         double AThreshold) {
    std::vector<std::size_t> beyond;
    if (AUsed.size() < 4)
        return beyond;
    const TFrame at = FrameAt(ASolution.Position);
    const TCovariance& c = ASolution.Covariance;
    std::size_t worst = 0;
    double worstW = AThreshold;
    for (std::size_t i = 0; i < AUsed.size(); ++i) {
        const TLine& line = *AUsed[i];
        const TRow j = Jacobian(line, at);
        const double fitted =
            j.East * (c.EE * j.East + c.EN * j.North) + j.North * (c.EN * j.East + c.NN * j.North);
        const double variance = 1 / line.Weight - fitted;
        // A bearing the fit follows almost entirely cannot be tested.
        if (!(variance > 1e-6 / line.Weight))
            continue;
        const double w = std::abs(Residual(line, ASolution.Position)) / std::sqrt(variance);
        if (w <= AThreshold)
            continue;
        beyond.push_back(i);
        if (w > worstW) {
            worstW = w;
            worst = i;
        }
    }
    if (AUsed.size() < BatchSnoopingFrom && !beyond.empty())
        beyond = {worst};
    return beyond;
}

bool Valid(const TFixBearing& ABearing) {
    return std::isfinite(ABearing.Station.Latitude) && std::abs(ABearing.Station.Latitude) <= 90 &&
           std::isfinite(ABearing.Station.Longitude) && std::isfinite(ABearing.BearingDegrees) &&
           std::isfinite(ABearing.SigmaDegrees) && ABearing.SigmaDegrees > 0 &&
           ABearing.SigmaDegrees <= 90;
}

TErrorEllipse Ellipse(const TCovariance& C, double AConfidence) {
    const double k = -2 * std::log1p(-AConfidence); // chi-square quantile, 2 degrees of freedom
    const double mean = (C.EE + C.NN) / 2;
    const double radius = std::hypot((C.EE - C.NN) / 2, C.EN);
    // Angle of the major axis from east, counter-clockwise; turned into clockwise from north.
    const double fromEast = 0.5 * std::atan2(2 * C.EN, C.EE - C.NN) * DegreesPerRadian;
    double orientation = std::fmod(90 - fromEast, 180.0);
    if (orientation < 0)
        orientation += 180;
    if (orientation >= 180)
        orientation = 0;
    return {std::sqrt(k * (mean + radius)), std::sqrt(k * std::max(0.0, mean - radius)),
            orientation, AConfidence};
}

} // namespace

std::vector<TCoordinate> EllipsePolygon(const TFixEstimate& AFix, int AVertices) {
    std::vector<TCoordinate> polygon;
    if (!AFix.IsFix() || AVertices < 3)
        return polygon;
    const double o = AFix.Ellipse.OrientationDegrees * RadiansPerDegree;
    polygon.reserve(std::size_t(AVertices));
    for (int i = 0; i < AVertices; ++i) {
        const double t = 2 * Pi * i / AVertices;
        const double along = AFix.Ellipse.SemiMajorMetres * std::cos(t);
        const double across = AFix.Ellipse.SemiMinorMetres * std::sin(t);
        const double east = along * std::sin(o) + across * std::cos(o);
        const double north = along * std::cos(o) - across * std::sin(o);
        polygon.push_back(DestinationPoint(
            AFix.Position, std::atan2(east, north) * DegreesPerRadian, std::hypot(east, north)));
    }
    return polygon;
}

QString FixFailureText(TFixFailure AFailure) {
    switch (AFailure) {
    case TFixFailure::None:
        return {};
    case TFixFailure::InvalidInput:
        return QStringLiteral("a bearing or an option holds an invalid value");
    case TFixFailure::TooFewStations:
        return QStringLiteral("fewer than two distinct stations");
    case TFixFailure::NearParallel:
        return QStringLiteral("the bearings are parallel or nearly so");
    case TFixFailure::BehindStations:
        return QStringLiteral("the bearings cross behind the stations");
    case TFixFailure::NoConvergence:
        return QStringLiteral("the estimate did not converge");
    }
    return {};
}

TFixEstimate EstimateFix(std::span<const TFixBearing> ABearings, const TFixOptions& AOptions) {
    TFixEstimate result;
    if (!(AOptions.Confidence > 0 && AOptions.Confidence < 1) || AOptions.MaxIterations < 1 ||
        !(AOptions.OutlierThreshold > 0) || !std::all_of(ABearings.begin(), ABearings.end(), Valid))
        return result;

    std::vector<TLine> lines;
    lines.reserve(ABearings.size());
    for (const TFixBearing& b : ABearings) {
        TLine line;
        line.Station =
            FrameAt(b.Station.Latitude * RadiansPerDegree, b.Station.Longitude * RadiansPerDegree);
        line.Bearing = b.BearingDegrees * RadiansPerDegree;
        const double sigma = b.SigmaDegrees * RadiansPerDegree;
        line.Weight = 1 / (sigma * sigma);
        const TVec direction = std::cos(line.Bearing) * line.Station.North +
                               std::sin(line.Bearing) * line.Station.East;
        line.Normal = Cross(line.Station.Up, direction);
        lines.push_back(line);
    }
    TUsed used;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (ABearings[i].Use)
            used.push_back(&lines[i]);
    }
    auto fail = [&](TFixFailure AFailure) {
        result.Failure = AFailure;
        return result;
    };
    if (used.empty() || !HasTwoStations(used))
        return fail(TFixFailure::TooFewStations);
    if (!CrossWideEnough(used))
        return fail(TFixFailure::NearParallel);

    std::vector<const TLine*> outliers;
    TVec start = StartingPoint(used);
    TUsed ahead;
    for (const TLine* line : used) {
        if (std::abs(Residual(*line, start)) < Pi / 2)
            ahead.push_back(line);
        else
            outliers.push_back(line);
    }
    if (ahead.size() < used.size()) {
        if (ahead.empty() || !HasTwoStations(ahead) || !CrossWideEnough(ahead))
            return fail(TFixFailure::BehindStations);
        used = ahead;
        start = StartingPoint(used);
    }

    TSolution solution = MaximumLikelihood(used, start, AOptions.MaxIterations);
    while (solution.Failure == TFixFailure::None) {
        const std::vector<std::size_t> snooped =
            SnoopedOutliers(used, solution, AOptions.OutlierThreshold);
        if (snooped.empty())
            break;
        TUsed rest;
        rest.reserve(used.size() - snooped.size());
        for (std::size_t i = 0, k = 0; i < used.size(); ++i) {
            if (k < snooped.size() && snooped[k] == i)
                ++k;
            else
                rest.push_back(used[i]);
        }
        if (!HasTwoStations(rest) || !CrossWideEnough(rest))
            break;
        TSolution refit = MaximumLikelihood(rest, solution.Position, AOptions.MaxIterations);
        if (refit.Failure != TFixFailure::None)
            break;
        for (std::size_t i : snooped)
            outliers.push_back(used[i]);
        used = std::move(rest);
        solution = refit;
    }
    if (solution.Failure != TFixFailure::None)
        return fail(solution.Failure);

    const TVec p = solution.Position;
    result.Failure = TFixFailure::None;
    const double longitude = std::atan2(p.y, p.x) * DegreesPerRadian;
    result.Position = {std::atan2(p.z, std::hypot(p.x, p.y)) * DegreesPerRadian,
                       longitude <= -180 ? longitude + 360 : longitude};
    result.CovarianceEastEast = solution.Covariance.EE;
    result.CovarianceEastNorth = solution.Covariance.EN;
    result.CovarianceNorthNorth = solution.Covariance.NN;
    result.Ellipse = Ellipse(solution.Covariance, AOptions.Confidence);
    result.ResidualsDegrees.reserve(lines.size());
    for (const TLine& line : lines) {
        const double r = Residual(line, p) * DegreesPerRadian;
        result.ResidualsDegrees.push_back(r <= -180 ? r + 360 : r);
    }
    for (const TLine* line : outliers)
        result.Outliers.push_back(int(line - lines.data()));
    std::sort(result.Outliers.begin(), result.Outliers.end());
    result.Used = int(used.size());
    return result;
}
