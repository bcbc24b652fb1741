#include "output/nmea_write_priv.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <typeinfo>

namespace tern {
namespace nmea_write {

const char two_digits[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536"
    "37383940414243444546474849505152535455565758596061626364656667686970717273"
    "7475767778798081828384858687888990919293949596979899";

namespace {

constexpr double pow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

// Writes the `n` digits of q (leading zeros included) ending at `end`, two at a time. Values
// that fit take 32-bit steps, which are cheaper than 64-bit ones.
template <class U>
inline void digits_back(char* end, U q, int n) {
    for (; n >= 2; n -= 2) {
        end -= 2;
        two_at(end, static_cast<unsigned int>(q % 100));
        q /= 100;
    }
    if (n == 1) *--end = static_cast<char>('0' + q % 10);
}

inline void digits_back(char* end, unsigned long long q, int n) {
    if (q <= 0xFFFFFFFFu)
        digits_back<std::uint32_t>(end, static_cast<std::uint32_t>(q), n);
    else
        digits_back<unsigned long long>(end, q, n);
}

inline int digit_count(unsigned long long q) {
    if (q < 10) return 1;
    if (q < 100) return 2;
    if (q < 1000) return 3;
    if (q < 10000) return 4;
    int n = 5;
    for (q /= 100000; q > 0; q /= 10) ++n;
    return n;
}

// The common case in integers: |v| scaled by 10^P is well below 2^53 and not near a tie, so
// rounding the scaled value gives exactly what correct decimal rounding gives. The text is
// written in place with its sign and padding, all lengths known beforehand. Returns 0 when
// the value needs the exact (slower) path. P is a constant so that every division is one; a
// function per precision keeps each small.
template <int P>
std::size_t fast_fixed(char* buf, double v, int width) {
    constexpr std::uint32_t p10 = static_cast<std::uint32_t>(pow10[P]);
    const double scaled = std::fabs(v) * pow10[P];
    if (!(scaled < 1e11)) return 0;
    const auto whole = static_cast<unsigned long long>(scaled); // truncates: scaled >= 0
    const double frac = scaled - static_cast<double>(whole);
    if (std::fabs(frac - 0.5) < 1e-3) return 0; // too close to call: exact path
    const unsigned long long q = whole + (frac > 0.5 ? 1 : 0);
    const unsigned long long int_part = q / p10;
    const int int_digits = digit_count(int_part);
    // A negative value that rounds to zero is zero: "-0.0" would read as a sign to receivers.
    const bool minus = q != 0 && std::signbit(v);
    char* p = buf;
    *p = '-';
    p += minus ? 1 : 0;
    // Zeros up to the width (which counts the sign); the buffer has room for eight at once.
    const int pad = width - ((minus ? 1 : 0) + int_digits + (P > 0 ? P + 1 : 0));
    if (pad > 0) {
        if (pad <= 8) {
            std::memcpy(p, "00000000", 8);
        } else {
            for (int i = 0; i < pad; ++i) p[i] = '0';
        }
        p += pad;
    }
    if (int_part < 100) {
        if (int_digits == 2)
            two_at(p, static_cast<unsigned int>(int_part));
        else
            *p = static_cast<char>('0' + int_part);
        p += int_digits;
    } else {
        p += int_digits;
        digits_back(p, int_part, int_digits);
    }
    if (P > 0) {
        *p++ = '.';
        p += P;
        digits_back<std::uint32_t>(p, static_cast<std::uint32_t>(q - int_part * p10), P);
    }
    return static_cast<std::size_t>(p - buf);
}

using fast_fixed_t = std::size_t (*)(char*, double, int);
constexpr fast_fixed_t fast_fixed_of[] = {fast_fixed<0>, fast_fixed<1>, fast_fixed<2>,
                                          fast_fixed<3>, fast_fixed<4>, fast_fixed<5>,
                                          fast_fixed<6>};

bool only_zeros(const char* s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (s[i] != '0' && s[i] != '.') return false;
    return true;
}

// Any finite value and precision: the library's exact conversion, then the sign and padding
// rules of the fast path.
__attribute__((noinline)) std::size_t exact_fixed(char* buf, double v, int prec, int width) {
    // Fixed notation of the largest double needs 309 digits before the point.
    const auto r = std::to_chars(buf, buf + 400, v, std::chars_format::fixed, prec);
    if (r.ec != std::errc()) return 0;
    std::size_t n = static_cast<std::size_t>(r.ptr - buf);
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

} // namespace

std::size_t fixed_text(char* buf, double v, int prec, int width) {
    if (!std::isfinite(v)) return 0;
    if (prec >= 0 && prec < static_cast<int>(sizeof fast_fixed_of / sizeof fast_fixed_of[0]))
        if (const std::size_t n = fast_fixed_of[prec](buf, v, width)) return n;
    return exact_fixed(buf, v, prec, width);
}

line_t::line_t(std::ostream& os) : os_(os) {
    std::streambuf* sb = os.rdbuf();
    // Only the exact class: its buffer is the caller's memory, written in place.
    if (sb && typeid(*sb) == typeid(bufferStreambuf_t)) {
        direct_ = static_cast<bufferStreambuf_t*>(sb);
        begin_ = cur_ = direct_->freeSpace();
        end_ = begin_ + direct_->freeLength();
    } else {
        begin_ = cur_ = buf_;
        end_ = buf_ + sizeof buf_;
    }
}

void line_t::flush() {
    const auto n = static_cast<std::size_t>(cur_ - begin_);
    if (direct_) {
        direct_->commit(n);
        begin_ = cur_;
    } else {
        write(buf_, n);
        cur_ = buf_;
    }
}

void line_t::spill() {
    flush();
    // Too little room left in the stream's buffer for the next piece: what follows goes
    // through the local buffer, so the stream cuts the text exactly where it would have.
    direct_ = nullptr;
    begin_ = cur_ = buf_;
    end_ = buf_ + sizeof buf_;
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
    // Most numbers of a sentence are counts and numbers of one or two digits.
    if (v < 100 && digits <= 2) {
        if (v < 10 && digits <= 1) {
            buf[0] = static_cast<char>('0' + v);
            return 1;
        }
        two_at(buf, static_cast<unsigned int>(v));
        return 2;
    }
    int n = digit_count(v);
    if (digits > n && digits <= 40) n = digits;
    digits_back(buf + n, v, n);
    return static_cast<std::size_t>(n);
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
