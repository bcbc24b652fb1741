#include "output/nmea_write_priv.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace tern {
namespace nmea_write {

namespace {

constexpr double pow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

const char two_digits[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536"
    "37383940414243444546474849505152535455565758596061626364656667686970717273"
    "7475767778798081828384858687888990919293949596979899";

// Writes the `n` digits of q (leading zeros included) ending at `end`, two at a time.
inline void digits_back(char* end, unsigned long long q, int n) {
    while (n >= 2) {
        const auto i = static_cast<unsigned int>(q % 100) * 2;
        q /= 100;
        *--end = two_digits[i + 1];
        *--end = two_digits[i];
        n -= 2;
    }
    if (n == 1) *--end = static_cast<char>('0' + q % 10);
}

int digit_count(unsigned long long q) {
    int n = 1;
    for (; q >= 100; q /= 100) n += 2;
    return q >= 10 ? n + 1 : n;
}

// The common case in integers: |v| scaled by 10^P is well below 2^53 and not near a tie, so
// rounding the scaled value gives exactly what correct decimal rounding gives. Returns 0 when
// the value needs the exact (slower) path. P is a constant so that every division is one.
template <int P>
std::size_t fast_fixed(char* buf, double v) {
    constexpr unsigned long long p10 = static_cast<unsigned long long>(pow10[P]);
    const double scaled = std::fabs(v) * pow10[P];
    if (!(scaled < 1e11)) return 0;
    const auto whole = static_cast<unsigned long long>(scaled); // truncates: scaled >= 0
    const double frac = scaled - static_cast<double>(whole);
    if (std::fabs(frac - 0.5) < 1e-3) return 0; // too close to call: exact path
    const unsigned long long q = whole + (frac > 0.5 ? 1 : 0);
    const unsigned long long int_part = q / p10;
    const int int_digits = digit_count(int_part);
    std::size_t n = 0;
    if (std::signbit(v)) buf[n++] = '-';
    n += static_cast<std::size_t>(int_digits);
    digits_back(buf + n, int_part, int_digits);
    if (P > 0) {
        buf[n++] = '.';
        n += static_cast<std::size_t>(P);
        digits_back(buf + n, q - int_part * p10, P);
    }
    return n;
}

std::size_t fast_fixed(char* buf, double v, int prec) {
    switch (prec) {
    case 0:
        return fast_fixed<0>(buf, v);
    case 1:
        return fast_fixed<1>(buf, v);
    case 2:
        return fast_fixed<2>(buf, v);
    case 3:
        return fast_fixed<3>(buf, v);
    case 4:
        return fast_fixed<4>(buf, v);
    case 5:
        return fast_fixed<5>(buf, v);
    case 6:
        return fast_fixed<6>(buf, v);
    default:
        return 0;
    }
}

bool only_zeros(const char* s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (s[i] != '0' && s[i] != '.') return false;
    return true;
}

} // namespace

std::size_t fixed_text(char* buf, double v, int prec, int width) {
    if (!std::isfinite(v)) return 0;
    std::size_t n = fast_fixed(buf, v, prec);
    if (n == 0) {
        // Fixed notation of the largest double needs 309 digits before the point.
        const auto r = std::to_chars(buf, buf + 400, v, std::chars_format::fixed, prec);
        if (r.ec != std::errc()) return 0;
        n = static_cast<std::size_t>(r.ptr - buf);
    }
    // A negative value that rounds to zero is zero: "-0.0" would read as a sign to receivers.
    if (buf[0] == '-' && only_zeros(buf + 1, n - 1)) {
        std::memmove(buf, buf + 1, n - 1);
        --n;
    }
    if (width > 0 && n < static_cast<std::size_t>(width)) {
        const std::size_t pad = static_cast<std::size_t>(width) - n;
        const std::size_t sign = buf[0] == '-' ? 1 : 0;
        std::memmove(buf + sign + pad, buf + sign, n - sign);
        std::memset(buf + sign, '0', pad);
        n += pad;
    }
    return n;
}

void line_t::write(const char* s, std::size_t n) {
    if (n == 0) return;
    if (std::streambuf* sb = os_.rdbuf()) sb->sputn(s, static_cast<std::streamsize>(n));
}

bool fixed(line_t& os, double v, int prec, int width) {
    // Fixed notation of the largest double needs 309 digits before the point.
    const std::size_t n = fixed_text(os.room(400), v, prec, width);
    os.commit(n);
    return n != 0;
}

std::size_t uint_text(char* buf, unsigned long long v, int digits) {
    int n = digit_count(v);
    if (digits > n && digits <= 40) n = digits;
    digits_back(buf + n, v, n);
    return static_cast<std::size_t>(n);
}

void uint(line_t& os, unsigned long long v, int digits) {
    os.commit(uint_text(os.room(48), v, digits));
}

void sint(line_t& os, long long v, int digits) {
    if (v < 0) {
        put(os, '-');
        uint(os, 0ULL - static_cast<unsigned long long>(v), digits);
    } else {
        uint(os, static_cast<unsigned long long>(v), digits);
    }
}

namespace {

double wrap360(double d) {
    if (d >= 0.0 && d < 360.0) return d; // the usual angle: no remainder to take
    d = std::fmod(d, 360.0);
    if (d < 0) d += 360.0;
    if (d >= 360.0) d -= 360.0; // a tiny negative remainder plus 360 rounds to 360
    return d;
}

} // namespace

bool angle(line_t& os, double degrees, int prec) {
    char* buf = os.room(400);
    std::size_t n = fixed_text(buf, wrap360(degrees), prec);
    if (n >= 3 && std::memcmp(buf, "360", 3) == 0) {
        // Rounded up to a full turn: that is north.
        n = fixed_text(buf, 0.0, prec);
    }
    os.commit(n);
    return n != 0;
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

void text(line_t& os, const std::string& s) {
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        const bool reserved = c == '$' || c == '*' || c == ',' || c == '!' || c == '\\' ||
                              c == '^' || c == '~' || u < 0x20 || u >= 0x7F;
        put(os, reserved ? '_' : c);
    }
}

} // namespace nmea_write
} // namespace tern
