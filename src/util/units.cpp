#include "tern/util/units.h"

#include "util/units_priv.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string_view>

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

// |v| in fixed point with p decimals (at most max_precision), appended.
void append_abs_fixed(std::string& out, double v, unsigned int p) {
    // The longest double in fixed notation has 309 integer digits.
    char digits[320 + max_precision];
    const auto r =
        std::to_chars(digits, digits + sizeof digits, std::fabs(v), std::chars_format::fixed,
                      static_cast<int>(p < max_precision ? p : max_precision));
    out.append(digits, static_cast<std::size_t>(r.ptr - digits));
}

bool has_nonzero_digit(const std::string& text, std::size_t from) {
    return text.find_first_of("123456789", from) != std::string::npos;
}

// Left-pads what was appended since `from` with zeros to `width` characters.
void zero_pad(std::string& text, std::size_t from, std::size_t width) {
    const std::size_t len = text.size() - from;
    if (len < width) text.insert(from, width - len, '0');
}

// v with the given decimals; a value that rounds to zero gets no minus sign.
void append_signed_fixed(std::string& out, double v, unsigned int p) {
    const std::size_t from = out.size();
    append_abs_fixed(out, v, p);
    if (v < 0 && has_nonzero_digit(out, from)) out.insert(from, 1, '-');
}

// Whole degrees, zero-filled to `width` characters counting the sign.
void append_degrees(std::string& out, bool negative, std::int64_t magnitude, unsigned int width,
                    bool keep_sign) {
    const bool minus = keep_sign && negative;
    if (minus) out += '-';
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, magnitude);
    const std::size_t from = out.size();
    out.append(digits, static_cast<std::size_t>(r.ptr - digits));
    zero_pad(out, from, width > (minus ? 1u : 0u) ? width - (minus ? 1u : 0u) : 0u);
}

void append_degree_mark(std::string& out, unsigned int flags, const char* plain) {
    if (!(flags & deg_fmt_t::deg_symbol))
        out += plain;
    else
        out += (flags & deg_fmt_t::html_deg) ? html_deg_text : utf8_deg;
}

std::int64_t magnitude(int v) {
    const std::int64_t w = v;
    return w < 0 ? -w : w;
}

// round_angle's text, appended: true when it carried.
bool append_rounded_angle(std::string& out, double value, unsigned int precision) {
    if (!std::isfinite(value)) return false;
    const unsigned int p = precision < max_precision ? precision : max_precision;
    const std::size_t width = p > 0 ? p + 3u : 2u;
    const std::size_t from = out.size();
    append_abs_fixed(out, value, p);
    zero_pad(out, from, width);
    // The text reads 60 or more exactly when its whole part does.
    std::size_t whole_end = out.find('.', from);
    if (whole_end == std::string::npos) whole_end = out.size();
    std::size_t first = from;
    while (first < whole_end && out[first] == '0') ++first;
    const std::size_t whole_digits = whole_end - first;
    if (whole_digits < 2 || (whole_digits == 2 && out[first] < '6')) return false;
    out.resize(from);
    append_abs_fixed(out, std::fabs(value) - 60.0, p);
    zero_pad(out, from, width);
    return true;
}

// The minutes or seconds of an angle: rounded first, since a carry changes the larger units
// written before them.
std::string& last_unit_text() {
    thread_local std::string text;
    text.clear();
    return text;
}

void append_dm(std::string& out, const deg_fmt_dm_t& f) {
    const degmin_t& dm = f.degmin();
    if (!std::isfinite(dm.min)) return;
    bool negative = dm.deg < 0 || (dm.deg == 0 && dm.min < 0);
    std::string& minutes = last_unit_text();
    std::int64_t deg = magnitude(dm.deg);
    if (append_rounded_angle(minutes, dm.min, f.precision())) ++deg;
    if (deg == 0 && !has_nonzero_digit(minutes, 0)) negative = false;
    append_degrees(out, negative, deg, f.deg_width(), f.flags() & deg_fmt_t::signed_deg);
    append_degree_mark(out, f.flags(), "d");
    out += minutes;
    out += '\'';
}

void append_dms(std::string& out, const deg_fmt_dms_t& f) {
    const degminsec_t& dms = f.degminsec();
    if (!std::isfinite(dms.sec)) return;
    bool negative = dms.deg < 0 || (dms.deg == 0 && (dms.min < 0 || (dms.min == 0 && dms.sec < 0)));
    std::string& seconds = last_unit_text();
    std::int64_t deg = magnitude(dms.deg);
    std::int64_t min = magnitude(dms.min);
    if (append_rounded_angle(seconds, dms.sec, f.precision())) ++min;
    deg += min / 60;
    min %= 60;
    if (deg == 0 && min == 0 && !has_nonzero_digit(seconds, 0)) negative = false;
    append_degrees(out, negative, deg, f.deg_width(), f.flags() & deg_fmt_t::signed_deg);
    append_degree_mark(out, f.flags(), "d");
    out += static_cast<char>('0' + min / 10);
    out += static_cast<char>('0' + min % 10);
    out += '\'';
    out += seconds;
    out += '"';
}

void append_d(std::string& out, const deg_fmt_d_t& f) {
    if (!std::isfinite(f.deg())) return;
    const unsigned int p = f.precision() < max_precision ? f.precision() : max_precision;
    const std::size_t from = out.size();
    append_abs_fixed(out, f.deg(), p);
    const bool minus =
        (f.flags() & deg_fmt_t::signed_deg) && f.deg() < 0 && has_nonzero_digit(out, from);
    const std::size_t width = f.deg_width() + p + (p > 0 ? 1u : 0u);
    zero_pad(out, from, width > (minus ? 1u : 0u) ? width - (minus ? 1u : 0u) : 0u);
    if (minus) out.insert(from, 1, '-');
    if (f.flags() & deg_fmt_t::deg_symbol)
        out += (f.flags() & deg_fmt_t::html_deg) ? html_deg_text : utf8_deg;
}

void append_value_unit(std::string& out, double v, unsigned int precision, const char* sym) {
    if (!std::isfinite(v)) return;
    append_signed_fixed(out, v, precision);
    out += ' ';
    out += sym ? sym : "??";
}

// A formatter's text, built in a buffer kept per thread and written as one string, so that a
// width the caller set applies to the whole text.
template <class F>
std::ostream& write_text(std::ostream& os, F append) {
    thread_local std::string text;
    text.clear();
    append(text);
    return os << std::string_view(text);
}

} // namespace

namespace detail {

void append_dist(std::string& out, double v, dist_unit_t unit, unsigned int precision) {
    append_value_unit(out, v, precision, dist_unit_str(unit));
}

void append_speed(std::string& out, double v, speed_unit_t unit, unsigned int precision) {
    append_value_unit(out, v, precision, speed_unit_str(unit));
}

void append_latlon(std::string& out, const latlon_fmt_t& f) {
    const latlon_unit_t unit = f.unit();
    if (unit != latlon_unit_deg && unit != latlon_unit_degmin && unit != latlon_unit_degminsec) {
        out += "bad_angle_format!";
        return;
    }
    if (!std::isfinite(f.rad())) return;
    const double d = std::fabs(f.rad()) * deg_per_rad;
    const std::size_t from = out.size();
    if (unit == latlon_unit_deg)
        append_d(out, deg_fmt_d_t(d, 1, f.flags(), 6));
    else if (unit == latlon_unit_degmin)
        append_dm(out, deg_fmt_dm_t(degmin_t(d), 1, f.flags(), 4));
    else
        append_dms(out, deg_fmt_dms_t(degminsec_t(d), 1, f.flags(), 4));
    const char* dirs = f.dirs();
    if (out.size() == from || !dirs || !dirs[0] || !dirs[1]) return;
    out += dirs[f.rad() >= 0 ? 0 : 1];
}

} // namespace detail

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
    return write_text(
        os, [&](std::string& t) { detail::append_dist(t, f.dist(), f.unit(), f.precision()); });
}

std::ostream& operator<<(std::ostream& os, const speed_fmt_t& f) {
    return write_text(
        os, [&](std::string& t) { detail::append_speed(t, f.speed(), f.unit(), f.precision()); });
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
    return append_rounded_angle(text, value, precision);
}

std::ostream& operator<<(std::ostream& os, const deg_fmt_d_t& f) {
    return write_text(os, [&](std::string& t) { append_d(t, f); });
}

std::ostream& operator<<(std::ostream& os, const deg_fmt_dm_t& f) {
    return write_text(os, [&](std::string& t) { append_dm(t, f); });
}

std::ostream& operator<<(std::ostream& os, const deg_fmt_dms_t& f) {
    return write_text(os, [&](std::string& t) { append_dms(t, f); });
}

std::ostream& operator<<(std::ostream& os, const latlon_fmt_t& f) {
    return write_text(os, [&](std::string& t) { detail::append_latlon(t, f); });
}

} // namespace tern
