// End point of a bearing line: the point reached from a start point by travelling
// a distance along the great circle that leaves it at a given bearing, on a
// sphere of radius 6378137 m (no ellipsoid correction).
#pragma once

// A point on the map: latitude and longitude in decimal degrees.
struct TCoordinate {
    double Latitude = 0;  // degrees, north positive
    double Longitude = 0; // degrees, east positive
};

// Sphere radius, metres (the WGS-84 equatorial radius).
inline constexpr double EarthRadiusMetres = 6378137.0;

// ABearingDegrees: clockwise from north, any real value. ADistanceMetres: along the
// surface; a negative distance goes the opposite way. The result's longitude is not
// normalised and may lie outside -180..180 degrees.
TCoordinate DestinationPoint(const TCoordinate& AStart, double ABearingDegrees,
                             double ADistanceMetres);
