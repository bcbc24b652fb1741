#include "tern/util/units.h"

#include <cmath>
#include <cstdint>
#include <iomanip>
#include <locale>
#include <ostream>
#include <sstream>

namespace tern {

namespace {

constexpr double deg_per_rad = 180.0 / 3.14159265358979323846;

// Decimals beyond this carry no information in a double; it also bounds the text's size.
constexpr unsigned int max_precision = 30;

// Integer degrees beyond this cannot be held in an int.
constexpr double int_limit = 2147483648.0;

const char* const utf8_deg = "\xC2\xB0";
const char* const html_deg_text = "&deg";

double dist_scale(dist_unit_t u) {
    return u == dist_unit_us_svy_foot ? 3.2808333333333333 : 1.0;
}

double speed_scale(speed_unit_t u) {
    switch (u) {
    case speed_unit_knot:
        return 1.9438444924406046;
    case speed_unit_kph:
        return 3.6;
    case speed_unit_mph:
        return 2.2369362920544025;
    default:
        return 1.0;
    }
}

std::ostringstream classic_stream() {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    return s;
}

// |v| in fixed point with p decimals.
std::string abs_fixed(double v, unsigned int p) {
    std::ostringstream s = classic_stream();
    s << std::fixed << std::setprecision(static_cast<int>(p < max_precision ? p : max_precision))
      << std::fabs(v);
    return s.str();
}

bool has_nonzero_digit(const std::string& text) {
    return text.find_first_of("123456789") != std::string::npos;
}

// Left-pads with zeros to `width` characters.
std::string zero_pad(const std::string& text, std::size_t width) {
    return text.size() < width ? std::string(width - text.size(), '0') + text : text;
}

// v with the given decimals; a value that rounds to zero gets no minus sign.
std::string signed_fixed(double v, unsigned int p) {
    const std::string digits = abs_fixed(v, p);
    return (v < 0 && has_nonzero_digit(digits)) ? "-" + digits : digits;
}

// Whole degrees, zero-filled to `width` characters counting the sign.
std::string degree_text(bool negative, std::int64_t magnitude, unsigned int width, bool keep_sign) {
    const bool minus = keep_sign && negative;
    const std::size_t w = width > (minus ? 1u : 0u) ? width - (minus ? 1u : 0u) : 0u;
    return (minus ? "-" : "") + zero_pad(std::to_string(magnitude), w);
}

std::string degree_mark(unsigned int flags, const char* plain) {
    if (!(flags & deg_fmt_t::deg_symbol)) return plain;
    return (flags & deg_fmt_t::html_deg) ? html_deg_text : utf8_deg;
}

std::int64_t magnitude(int v) {
    const std::int64_t w = v;
    return w < 0 ? -w : w;
}

std::string dm_text(const deg_fmt_dm_t& f) {
    const degmin_t& dm = f.degmin();
    if (!std::isfinite(dm.min)) return std::string();
    bool negative = dm.deg < 0 || (dm.deg == 0 && dm.min < 0);
    std::string minutes;
    std::int64_t deg = magnitude(dm.deg);
    if (round_angle(dm.min, f.precision(), minutes)) ++deg;
    if (deg == 0 && !has_nonzero_digit(minutes)) negative = false;
    return degree_text(negative, deg, f.deg_width(), f.flags() & deg_fmt_t::signed_deg) +
           degree_mark(f.flags(), "d") + minutes + "'";
}

std::string dms_text(const deg_fmt_dms_t& f) {
    const degminsec_t& dms = f.degminsec();
    if (!std::isfinite(dms.sec)) return std::string();
    bool negative = dms.deg < 0 || (dms.deg == 0 && (dms.min < 0 || (dms.min == 0 && dms.sec < 0)));
    std::string seconds;
    std::int64_t deg = magnitude(dms.deg);
    std::int64_t min = magnitude(dms.min);
    if (round_angle(dms.sec, f.precision(), seconds)) ++min;
    deg += min / 60;
    min %= 60;
    if (deg == 0 && min == 0 && !has_nonzero_digit(seconds)) negative = false;
    std::ostringstream s = classic_stream();
    s << degree_text(negative, deg, f.deg_width(), f.flags() & deg_fmt_t::signed_deg)
      << degree_mark(f.flags(), "d") << std::setfill('0') << std::setw(2) << min << '\'' << seconds
      << '"';
    return s.str();
}

std::string d_text(const deg_fmt_d_t& f) {
    if (!std::isfinite(f.deg())) return std::string();
    const unsigned int p = f.precision() < max_precision ? f.precision() : max_precision;
    const std::string digits = abs_fixed(f.deg(), p);
    const bool minus =
        (f.flags() & deg_fmt_t::signed_deg) && f.deg() < 0 && has_nonzero_digit(digits);
    const std::size_t width = f.deg_width() + p + (p > 0 ? 1u : 0u);
    const std::size_t w = width > (minus ? 1u : 0u) ? width - (minus ? 1u : 0u) : 0u;
    std::string text = (minus ? "-" : "") + zero_pad(digits, w);
    if (f.flags() & deg_fmt_t::deg_symbol)
        text += (f.flags() & deg_fmt_t::html_deg) ? html_deg_text : utf8_deg;
    return text;
}

std::string latlon_text(const latlon_fmt_t& f) {
    const latlon_unit_t unit = f.unit();
    if (unit != latlon_unit_deg && unit != latlon_unit_degmin && unit != latlon_unit_degminsec)
        return "bad_angle_format!";
    if (!std::isfinite(f.rad())) return std::string();
    const double d = std::fabs(f.rad()) * deg_per_rad;
    std::string body;
    if (unit == latlon_unit_deg)
        body = d_text(deg_fmt_d_t(d, 1, f.flags(), 6));
    else if (unit == latlon_unit_degmin)
        body = dm_text(deg_fmt_dm_t(degmin_t(d), 1, f.flags(), 4));
    else
        body = dms_text(deg_fmt_dms_t(degminsec_t(d), 1, f.flags(), 4));
    const char* dirs = f.dirs();
    if (body.empty() || !dirs || !dirs[0] || !dirs[1]) return body;
    return body + dirs[f.rad() >= 0 ? 0 : 1];
}

} // namespace

std::ostream& operator<<(std::ostream& os, dist_unit_t v) {
    return os << (v == dist_unit_us_svy_foot ? "us_svy_foot" : "meter");
}

bool operator>>(const std::string& text, dist_unit_t& v) {
    v = text == "us_svy_foot" ? dist_unit_us_svy_foot : dist_unit_meter;
    return true;
}

std::ostream& operator<<(std::ostream& os, speed_unit_t v) {
    switch (v) {
    case speed_unit_knot:
        return os << "knot";
    case speed_unit_kph:
        return os << "KPH";
    case speed_unit_mph:
        return os << "MPH";
    default:
        return os << "mps";
    }
}

bool operator>>(const std::string& text, speed_unit_t& v) {
    if (text == "knot")
        v = speed_unit_knot;
    else if (text == "KPH")
        v = speed_unit_kph;
    else if (text == "MPH")
        v = speed_unit_mph;
    else
        v = speed_unit_mps;
    return true;
}

std::ostream& operator<<(std::ostream& os, latlon_unit_t v) {
    switch (v) {
    case latlon_unit_deg:
        return os << "deg";
    case latlon_unit_degminsec:
        return os << "degminsec";
    default:
        return os << "degmin";
    }
}

bool operator>>(const std::string& text, latlon_unit_t& v) {
    if (text == "deg")
        v = latlon_unit_deg;
    else if (text == "degminsec")
        v = latlon_unit_degminsec;
    else
        v = latlon_unit_degmin;
    return true;
}

double dist_convert(double value, dist_unit_t from, dist_unit_t to) {
    return value / dist_scale(from) * dist_scale(to);
}

double speed_convert(double value, speed_unit_t from, speed_unit_t to) {
    return value / speed_scale(from) * speed_scale(to);
}

const char* dist_unit_str(dist_unit_t unit) {
    switch (unit) {
    case dist_unit_meter:
        return "m";
    case dist_unit_us_svy_foot:
        return "ft";
    default:
        return nullptr;
    }
}

const char* speed_unit_str(speed_unit_t unit) {
    switch (unit) {
    case speed_unit_knot:
        return "kts";
    case speed_unit_mps:
        return "m/s";
    case speed_unit_kph:
        return "kph";
    case speed_unit_mph:
        return "mph";
    default:
        return nullptr;
    }
}

std::ostream& operator<<(std::ostream& os, const dist_fmt_t& f) {
    if (!std::isfinite(f.dist())) return os << "";
    const char* sym = dist_unit_str(f.unit());
    return os << signed_fixed(f.dist(), f.precision()) + " " + (sym ? sym : "??");
}

std::ostream& operator<<(std::ostream& os, const speed_fmt_t& f) {
    if (!std::isfinite(f.speed())) return os << "";
    const char* sym = speed_unit_str(f.unit());
    return os << signed_fixed(f.speed(), f.precision()) + " " + (sym ? sym : "??");
}

void degmin_t::set(double degrees) {
    if (!std::isfinite(degrees) || std::fabs(degrees) >= int_limit) {
        deg = 0;
        min = std::nan("");
        return;
    }
    deg = static_cast<int>(std::trunc(degrees));
    min = (degrees - deg) * 60.0;
}

void degminsec_t::set(double degrees) {
    if (!std::isfinite(degrees) || std::fabs(degrees) >= int_limit) {
        deg = 0;
        min = 0;
        sec = std::nan("");
        return;
    }
    deg = static_cast<int>(std::trunc(degrees));
    const double minutes = (degrees - deg) * 60.0;
    min = static_cast<int>(std::trunc(minutes));
    sec = (minutes - min) * 60.0;
}

bool round_angle(double value, unsigned int precision, std::string& text) {
    text.clear();
    if (!std::isfinite(value)) return false;
    const unsigned int p = precision < max_precision ? precision : max_precision;
    const std::size_t width = p > 0 ? p + 3u : 2u;
    text = zero_pad(abs_fixed(value, p), width);
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double back = 0.0;
    in >> back;
    if (back < 60.0) return false;
    text = zero_pad(abs_fixed(std::fabs(value) - 60.0, p), width);
    return true;
}

std::ostream& operator<<(std::ostream& os, const deg_fmt_d_t& f) {
    return os << d_text(f);
}

std::ostream& operator<<(std::ostream& os, const deg_fmt_dm_t& f) {
    return os << dm_text(f);
}

std::ostream& operator<<(std::ostream& os, const deg_fmt_dms_t& f) {
    return os << dms_text(f);
}

std::ostream& operator<<(std::ostream& os, const latlon_fmt_t& f) {
    return os << latlon_text(f);
}

} // namespace tern
