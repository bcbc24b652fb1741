#include "output/nmea_write_priv.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace tern {
namespace nmea_write {

std::size_t fixed_text(char* buf, double v, int prec, int width) {
    if (!std::isfinite(v)) return 0;
    // Fixed notation of the largest double needs 309 digits before the point.
    char* const end = buf + 400;
    const auto r = std::to_chars(buf, end, v, std::chars_format::fixed, prec);
    if (r.ec != std::errc()) return 0;
    std::size_t n = static_cast<std::size_t>(r.ptr - buf);
    if (width > 0 && n < static_cast<std::size_t>(width)) {
        const std::size_t pad = static_cast<std::size_t>(width) - n;
        const std::size_t sign = buf[0] == '-' ? 1 : 0;
        std::memmove(buf + sign + pad, buf + sign, n - sign);
        std::memset(buf + sign, '0', pad);
        n += pad;
    }
    return n;
}

bool fixed(std::ostream& os, double v, int prec, int width) {
    char buf[400];
    const std::size_t n = fixed_text(buf, v, prec, width);
    if (n == 0) return false;
    put(os, buf, n);
    return true;
}

void uint(std::ostream& os, unsigned long long v, int digits) {
    char buf[48];
    char* p = buf + sizeof buf;
    int n = 0;
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
        ++n;
    } while (v != 0);
    while (n < digits && p > buf) {
        *--p = '0';
        ++n;
    }
    put(os, p, static_cast<std::size_t>(buf + sizeof buf - p));
}

void sint(std::ostream& os, long long v, int digits) {
    if (v < 0) {
        put(os, '-');
        uint(os, 0ULL - static_cast<unsigned long long>(v), digits);
    } else {
        uint(os, static_cast<unsigned long long>(v), digits);
    }
}

namespace {

double wrap360(double d) {
    d = std::fmod(d, 360.0);
    if (d < 0) d += 360.0;
    if (d >= 360.0) d -= 360.0; // a tiny negative remainder plus 360 rounds to 360
    return d;
}

} // namespace

bool angle(std::ostream& os, double degrees, int prec) {
    char buf[400];
    const std::size_t n = fixed_text(buf, wrap360(degrees), prec);
    if (n == 0) return false;
    if (n >= 3 && std::memcmp(buf, "360", 3) == 0) {
        // Rounded up to a full turn: that is north.
        put(os, '0');
        if (prec > 0) {
            put(os, '.');
            for (int i = 0; i < prec; ++i) put(os, '0');
        }
        return true;
    }
    put(os, buf, n);
    return true;
}

bool round_half(double v, long& out) {
    if (!std::isfinite(v) || std::fabs(v) > 1e6) return false;
    out = static_cast<long>(v + 0.5);
    return true;
}

bool whole_angle(double degrees, long& out) {
    if (!std::isfinite(degrees)) return false;
    if (!round_half(wrap360(degrees), out)) return false;
    if (out >= 360) out -= 360;
    return true;
}

void text(std::ostream& os, const std::string& s) {
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        const bool reserved = c == '$' || c == '*' || c == ',' || u < 0x20 || u >= 0x7F;
        put(os, reserved ? '_' : c);
    }
}

} // namespace nmea_write
} // namespace tern
