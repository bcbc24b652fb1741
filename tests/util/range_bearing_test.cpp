#include "tern/util/range_bearing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const double pi = 3.14159265358979323846;
const double deg = pi / 180.0;
const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

TEST(Range, HaversineGoldenValues) {
    EXPECT_EQ(tern::calcRange(0.9, -0.3, 0.9, -0.3), 0.0);
    EXPECT_NEAR(tern::calcRange(0.0, 0.0, deg, 0.0), 111319.49079327358, 1e-6);
    EXPECT_NEAR(tern::calcRange(0.0, 0.0, 0.0, deg), 111319.49079327358, 1e-6);
    // Antipodes where the haversine rounds a hair above 1: still half the circumference.
    EXPECT_NEAR(tern::calcRange(0.003885, 0.0, -0.003885, pi), 20037508.342789244, 1e-3);
    EXPECT_TRUE(std::isnan(tern::calcRange(nan, 0.0, 0.0, 0.0)));
    EXPECT_TRUE(std::isnan(tern::calcRange(0.0, inf, 0.0, 0.0)));
}

TEST(Bearing, CompassQuadrantsAndWrap) {
    struct row_t {
        double lat1, lon1, lat2, lon2, expected;
    };
    const row_t rows[] = {
        {0.0, 0.0, 0.0, deg, pi / 2},      // due east
        {0.0, 0.0, 0.0, -deg, 3 * pi / 2}, // due west: wrapped, not -pi/2
        {0.0, 0.0, deg, 0.0, 0.0},         // due north
        {0.0, 0.0, -deg, 0.0, pi},         // due south
        {0.5, 0.5, 0.5, 0.5, 0.0},         // same point
    };
    for (const auto& r : rows)
        EXPECT_NEAR(tern::calcBearing(r.lat1, r.lon1, r.lat2, r.lon2), r.expected, 1e-12);
    EXPECT_TRUE(std::isnan(tern::calcBearing(nan, 0.0, 0.0, 0.0)));
}

TEST(Destination, ShortHopsAndCardinalMoves) {
    double lat = 9.0, lon = 9.0;
    tern::calcDestination(0.7, 0.2, 0.0005, 1.0, lat, lon);
    EXPECT_EQ(lat, 0.7);
    EXPECT_EQ(lon, 0.2);

    tern::calcDestination(0.1, 0.2, 111319.49079327358, 0.0, lat, lon);
    EXPECT_NEAR(lat, 0.1 + deg, 1e-12);
    EXPECT_EQ(lon, 0.2); // bearing 0 leaves the longitude alone

    tern::calcDestination(0.0, 3.0, 111319.49079327358, pi / 2, lat, lon);
    EXPECT_NEAR(lat, 0.0, 1e-12);
    EXPECT_NEAR(lon, 3.0 + deg, 1e-12); // not wrapped past pi

    tern::calcDestination(0.0, 0.0, nan, 0.0, lat, lon);
    EXPECT_TRUE(std::isnan(lat));
    EXPECT_TRUE(std::isnan(lon));
}

TEST(SatelliteRange, GeostationarySlantRange) {
    EXPECT_EQ(tern::satelliteRange(10.0, 0.0, 10.0), 35786.0);
    EXPECT_NEAR(tern::satelliteRange(0.0, 60.0, 0.0), 39364.547, 1e-3);
    EXPECT_TRUE(std::isnan(tern::satelliteRange(nan, 0.0, 0.0)));
}

TEST(AngleWrap, IntoZeroToTwoPi) {
    struct row_t {
        double in, out;
    };
    const row_t rows[] = {
        {-pi / 2, 3 * pi / 2}, // (the edges at 0 and 2*pi: RangeBounds)
        {7.0, 7.0 - 6.283185307179586},
        {-4 * pi - 1.0, 6.283185307179586 - 1.0},
        {0.0, 0.0},
    };
    for (const auto& r : rows) {
        const double w = keelcommon::math::angleWrap(r.in);
        EXPECT_NEAR(w, r.out, 1e-12) << r.in;
        EXPECT_GE(w, 0.0);
        EXPECT_LT(w, 6.283185307179586);
    }
    EXPECT_TRUE(std::isnan(keelcommon::math::angleWrap(inf)));
}

} // namespace
