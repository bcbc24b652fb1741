// Distance and speed units, their conversions, and display formatters for distances, speeds,
// and angles (decimal degrees, degrees and minutes, degrees minutes and seconds, latitude and
// longitude with hemisphere letters).
//
// Formatters are values written with operator<<. They format in the classic locale, leave the
// stream's flags, precision and fill as they found them, and honour a width the caller set
// (for the whole text). A NaN or infinite value writes nothing (an empty field).
#pragma once

#include <iosfwd>
#include <string>

namespace tern {

// Distance units; settings texts "meter", "us_svy_foot".
enum dist_unit_t : unsigned char {
    dist_unit_meter = 0,
    dist_unit_us_svy_foot = 1,
};
// Speed units; settings texts "knot", "mps", "KPH", "MPH".
enum speed_unit_t : unsigned char {
    speed_unit_knot = 0,
    speed_unit_mps = 1,
    speed_unit_kph = 2,
    speed_unit_mph = 3,
};
// Latitude/longitude display forms; settings texts "deg", "degmin", "degminsec".
enum latlon_unit_t : unsigned char {
    latlon_unit_deg = 0,
    latlon_unit_degmin = 1,
    latlon_unit_degminsec = 2,
};

// Settings texts. Writing an unknown value gives the default text ("meter", "mps", "degmin");
// parsing always succeeds, an unknown text giving that default.
std::ostream& operator<<(std::ostream& os, dist_unit_t v);
bool operator>>(const std::string& text, dist_unit_t& v);
std::ostream& operator<<(std::ostream& os, speed_unit_t v);
bool operator>>(const std::string& text, speed_unit_t& v);
std::ostream& operator<<(std::ostream& os, latlon_unit_t v);
bool operator>>(const std::string& text, latlon_unit_t& v);

// value / scale(from) * scale(to); an unknown unit counts as metres (per second).
double dist_convert(double value, dist_unit_t from, dist_unit_t to);
double speed_convert(double value, speed_unit_t from, speed_unit_t to);

// Unit symbols: "m", "ft"; "kts", "m/s", "kph", "mph"; null for an unknown unit.
const char* dist_unit_str(dist_unit_t unit);
const char* speed_unit_str(speed_unit_t unit);

// A distance as "12.35 m" (fixed, given decimals; "??" for an unknown unit). The value is
// printed as stored, not converted.
class dist_fmt_t {
public:
    dist_fmt_t(double value, dist_unit_t unit, unsigned int precision)
        : value_(value), unit_(unit), precision_(precision) {}
    double dist() const { return value_; }
    dist_unit_t unit() const { return unit_; }
    unsigned int precision() const { return precision_; }

private:
    double value_ = 0.0;
    dist_unit_t unit_ = dist_unit_meter;
    unsigned int precision_ = 0;
};
std::ostream& operator<<(std::ostream& os, const dist_fmt_t& f);

// A speed as "5.0 m/s" (fixed, given decimals; "??" for an unknown unit), not converted.
class speed_fmt_t {
public:
    speed_fmt_t(double value, speed_unit_t unit, unsigned int precision)
        : value_(value), unit_(unit), precision_(precision) {}
    double speed() const { return value_; }
    speed_unit_t unit() const { return unit_; }
    unsigned int precision() const { return precision_; }

private:
    double value_ = 0.0;
    speed_unit_t unit_ = speed_unit_mps;
    unsigned int precision_ = 0;
};
std::ostream& operator<<(std::ostream& os, const speed_fmt_t& f);

// An angle split into whole degrees (truncated toward zero) and minutes carrying the rest,
// with its sign: -0.25 gives 0 and -15.
struct degmin_t {
    int deg = 0;
    double min = 0.0;

    degmin_t() = default;
    explicit degmin_t(double degrees) { set(degrees); }
    degmin_t(int d, double m) : deg(d), min(m) {}
    // A non-finite value, or one beyond the range of int, gives 0 and NaN minutes.
    void set(double degrees);
};

// An angle split into whole degrees, whole minutes and seconds, each truncated toward zero.
struct degminsec_t {
    int deg = 0;
    int min = 0;
    double sec = 0.0;

    degminsec_t() = default;
    explicit degminsec_t(double degrees) { set(degrees); }
    degminsec_t(int d, int m, double s) : deg(d), min(m), sec(s) {}
    // A non-finite value, or one beyond the range of int, gives 0, 0 and NaN seconds.
    void set(double degrees);
};

// Formats |value| (fixed, `precision` decimals, zero-filled to two integer digits, e.g.
// "05.2500") into `text`. When that text reads 60 or more, formats value - 60 instead and
// returns true (a carry into the next larger unit). A non-finite value gives an empty text.
bool round_angle(double value, unsigned int precision, std::string& text);

// How degrees are written: at least `deg_width` integer digits, flags below, and the decimals
// of the last component.
class deg_fmt_t {
public:
    static constexpr unsigned int signed_deg = 1; // keep the sign (else absolute value)
    static constexpr unsigned int deg_symbol = 2; // a degree sign after the degrees
    static constexpr unsigned int html_deg = 4;   // that sign as "&deg", not UTF-8 C2 B0

    deg_fmt_t(unsigned int deg_width, unsigned int flags, unsigned int precision)
        : deg_width_(deg_width), flags_(flags), precision_(precision) {}
    unsigned int deg_width() const { return deg_width_; }
    unsigned int flags() const { return flags_; }
    unsigned int precision() const { return precision_; }

private:
    unsigned int deg_width_ = 0;
    unsigned int flags_ = 0;
    unsigned int precision_ = 0;
};

// Decimal degrees, "045.500000" then the degree sign when asked for. A value that rounds to
// zero is written without a minus sign.
class deg_fmt_d_t : public deg_fmt_t {
public:
    deg_fmt_d_t(double deg, unsigned int deg_width, unsigned int flags, unsigned int precision)
        : deg_fmt_t(deg_width, flags, precision), deg_(deg) {}
    double deg() const { return deg_; }

private:
    double deg_ = 0.0;
};
std::ostream& operator<<(std::ostream& os, const deg_fmt_d_t& f);

// Degrees and minutes, "12d05.2500'" (or the degree sign for 'd' with flag deg_symbol).
// Minutes rounding to 60 carry into the degrees. With signed_deg, an angle between 0 and -1
// degree keeps its minus sign ("-0d15.0000'").
class deg_fmt_dm_t : public deg_fmt_t {
public:
    deg_fmt_dm_t(const degmin_t& dm, unsigned int deg_width, unsigned int flags,
                 unsigned int precision)
        : deg_fmt_t(deg_width, flags, precision), dm_(dm) {}
    const degmin_t& degmin() const { return dm_; }

private:
    degmin_t dm_;
};
std::ostream& operator<<(std::ostream& os, const deg_fmt_dm_t& f);

// Degrees, minutes and seconds, "12d05'15.0000\"". Seconds rounding to 60 carry into the
// minutes, 60 minutes into the degrees.
class deg_fmt_dms_t : public deg_fmt_t {
public:
    deg_fmt_dms_t(const degminsec_t& dms, unsigned int deg_width, unsigned int flags,
                  unsigned int precision)
        : deg_fmt_t(deg_width, flags, precision), dms_(dms) {}
    const degminsec_t& degminsec() const { return dms_; }

private:
    degminsec_t dms_;
};
std::ostream& operator<<(std::ostream& os, const deg_fmt_dms_t& f);

// A latitude or longitude (radians) in the chosen form followed by the hemisphere letter:
// deg "45.500000N", degmin "45d30.0000'N", degminsec "45d30'00.0000\"N". An unknown form
// writes "bad_angle_format!".
class latlon_fmt_t {
public:
    latlon_fmt_t(double rad, latlon_unit_t unit, unsigned int flags)
        : rad_(rad), unit_(unit), flags_(flags) {}
    virtual ~latlon_fmt_t() = default;
    // The hemisphere letters: for an angle of 0 or more, and for a negative one.
    virtual const char* dirs() const = 0;

    double rad() const { return rad_; }
    latlon_unit_t unit() const { return unit_; }
    unsigned int flags() const { return flags_; }

private:
    double rad_ = 0.0;
    latlon_unit_t unit_ = latlon_unit_degmin;
    unsigned int flags_ = 0;
};
std::ostream& operator<<(std::ostream& os, const latlon_fmt_t& f);

// A latitude: hemisphere 'N' or 'S'.
class lat_fmt_t : public latlon_fmt_t {
public:
    using latlon_fmt_t::latlon_fmt_t;
    const char* dirs() const override { return "NS"; }
};

// A longitude: hemisphere 'E' or 'W'.
class lon_fmt_t : public latlon_fmt_t {
public:
    using latlon_fmt_t::latlon_fmt_t;
    const char* dirs() const override { return "EW"; }
};

} // namespace tern
