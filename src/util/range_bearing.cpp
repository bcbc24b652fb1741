#include "tern/util/range_bearing.h"

#include <cmath>

#include "util/fp_priv.h"

namespace keelcommon {
namespace math {

double angleWrap(double angle) {
    constexpr double two_pi = 6.283185307179586;
    // Each step is rounded before it is checked: a tiny negative angle plus 2*pi is 2*pi as a
    // double, and must wrap to 0 rather than leave as 2*pi (a heading of 360.0).
    double r = tern::detail::rounded(std::fmod(angle, two_pi));
    if (r < 0) r = tern::detail::rounded(r + two_pi);
    if (r >= two_pi) r -= two_pi;
    // -0.0 (from -0.0 or a negative multiple of 2*pi) would print as "-0.0".
    return r + 0.0;
}

} // namespace math
} // namespace keelcommon

namespace tern {

namespace {

constexpr double sat_deg_per_rad = 57.29578;

// Rounding can push a sine or a haversine a hair outside [0, 1] or [-1, 1] for antipodal or
// polar points; asin/sqrt would then give NaN for a perfectly valid position.
double clamp(double v, double lo, double hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

} // namespace

double calcRange(double lat1, double lon1, double lat2, double lon2) {
    if (lat1 == lat2 && lon1 == lon2) return 0.0;
    const double s_dlat = std::sin((lat2 - lat1) / 2.0);
    const double s_dlon = std::sin((lon2 - lon1) / 2.0);
    double a = s_dlat * s_dlat + std::cos(lat1) * std::cos(lat2) * s_dlon * s_dlon;
    if (!std::isnan(a)) a = clamp(a, 0.0, 1.0);
    const double c = 2.0 * std::atan2(std::sqrt(a), std::sqrt(1.0 - a));
    return c * RANGE_EARTH_RADIUS;
}

double calcBearing(double lat1, double lon1, double lat2, double lon2) {
    if (lat1 == lat2 && lon1 == lon2) return 0.0;
    const double dlon = lon2 - lon1;
    const double y = std::cos(lat2) * std::sin(dlon);
    const double x =
        std::cos(lat1) * std::sin(lat2) - std::sin(lat1) * std::cos(lat2) * std::cos(dlon);
    return keelcommon::math::angleWrap(std::atan2(y, x));
}

void calcDestination(double lat1, double lon1, double distance, double bearing, double& lat2,
                     double& lon2) {
    if (distance <= 0.001) {
        lat2 = lat1;
        lon2 = lon1;
        return;
    }
    const double delta = distance / RANGE_EARTH_RADIUS;
    double s =
        std::sin(lat1) * std::cos(delta) + std::cos(lat1) * std::sin(delta) * std::cos(bearing);
    if (!std::isnan(s)) s = clamp(s, -1.0, 1.0);
    const double lat = std::asin(s);
    lon2 = lon1 + std::atan2(std::sin(bearing) * std::sin(delta) * std::cos(lat1),
                             std::cos(delta) - std::sin(lat1) * std::sin(lat));
    lat2 = lat;
}

double satelliteRange(double sat_lon, double lat, double lon) {
    const double d2 =
        1280637796.0 + 537859517.4912001 * (1.0 - std::cos((lon - sat_lon) / sat_deg_per_rad) *
                                                      std::cos(lat / sat_deg_per_rad));
    return std::sqrt(d2);
}

} // namespace tern
