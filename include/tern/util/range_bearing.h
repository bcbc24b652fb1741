// Great-circle range, bearing and destination on a sphere, and the slant range to a
// geostationary satellite. Positions are radians (north and east positive), bearings radians
// clockwise from north, distances metres. A NaN or infinite input gives NaN results; nothing
// crashes.
#pragma once

namespace keelcommon {
namespace math {

// The angle in [0, 2*pi).
double angleWrap(double angle);

} // namespace math
} // namespace keelcommon

namespace tern {

// Earth radius used for range, bearing and destination, metres.
constexpr double RANGE_EARTH_RADIUS = 6378137.0;

// Haversine distance in metres; exactly 0 for identical positions.
double calcRange(double lat1, double lon1, double lat2, double lon2);
// Initial bearing from the first position to the second, in [0, 2*pi); 0 for identical
// positions.
double calcBearing(double lat1, double lon1, double lat2, double lon2);
// The point reached from (lat1, lon1) after `distance` metres along `bearing`. A distance of
// 0.001 m or less gives the start point. The longitude is not wrapped.
void calcDestination(double lat1, double lon1, double distance, double bearing, double& lat2,
                     double& lon2);
// Slant range in kilometres from a position (degrees) to a geostationary satellite at
// longitude `sat_lon` (degrees).
double satelliteRange(double sat_lon, double lat, double lon);

} // namespace tern
