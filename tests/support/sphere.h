// Positions and directions as vectors, to check great-circle and look-angle results by
// another route than the trigonometric formulas under test. Angles are radians.
#pragma once

#include <array>
#include <cmath>

namespace tern_test {

using vec_t = std::array<double, 3>;

// The unit vector of a position on the sphere, or scaled to `radius`.
inline vec_t position(double lat, double lon, double radius = 1.0) {
    return {radius * std::cos(lat) * std::cos(lon), radius * std::cos(lat) * std::sin(lon),
            radius * std::sin(lat)};
}
inline double dot(const vec_t& a, const vec_t& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline vec_t minus(const vec_t& a, const vec_t& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

// The angle between two directions, accurate at every size: atan2(|a x b|, a . b).
inline double angle_between(const vec_t& a, const vec_t& b) {
    const vec_t c = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                     a[0] * b[1] - a[1] * b[0]};
    return std::atan2(std::sqrt(dot(c, c)), dot(a, b));
}

// Direction `v` as seen at (lat, lon): its bearing clockwise from north, in (-pi, pi], and its
// elevation above the local horizontal.
struct look_t {
    double bearing, elevation;
};
inline look_t look(const vec_t& v, double lat, double lon) {
    const vec_t east = {-std::sin(lon), std::cos(lon), 0.0};
    const vec_t north = {-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon),
                         std::cos(lat)};
    const double e = dot(v, east), n = dot(v, north);
    return {std::atan2(e, n), std::atan2(dot(v, position(lat, lon)), std::hypot(e, n))};
}

// How far apart two angles are round the circle.
inline double angle_off(double a, double b) {
    return std::fabs(std::remainder(a - b, 6.283185307179586));
}

} // namespace tern_test
