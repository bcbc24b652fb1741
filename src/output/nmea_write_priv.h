// Field writers of the sentence builders: numbers straight into the sentence through
// std::to_chars (classic format whatever the locale, no allocation), nothing for a value that
// is not finite.
#pragma once

#include <tern/decode/bufferStream.h>
#include <tern/output/nmeaBuilder.h>

#include <cstring>
#include <ostream>
#include <string>

// Private to the library: called directly, never through the symbol table.
#pragma GCC visibility push(hidden)

namespace tern {
namespace nmea_write {

constexpr double pi = 3.14159265358979323846;
constexpr double rad2deg = 180.0 / pi;

// A sentence being written. On the builders' own fixed-buffer stream the fields go straight
// into that buffer; on any other stream they gather in a local buffer and reach the stream in
// one write when the line goes out of scope (or the buffer fills), rather than one stream
// call per field. Numbers are formatted straight into either.
class line_t {
public:
    explicit line_t(std::ostream& os);
    line_t(const line_t&) = delete;
    line_t& operator=(const line_t&) = delete;
    ~line_t() { flush(); }

    void put(char c) {
        if (cur_ == end_) spill();
        *cur_++ = c;
    }
    void put(const char* s, std::size_t n) {
        if (n > free()) {
            spill();
            if (n > free()) return write(s, n);
        }
        // The usual piece is a few characters: copied in place, cheaper than a library call.
        if (n <= 16) {
            for (std::size_t i = 0; i < n; ++i) cur_[i] = s[i];
        } else {
            std::memcpy(cur_, s, n);
        }
        cur_ += n;
    }
    // At least `n` (at most the local buffer's size) free bytes to format into; commit()
    // then keeps what was written there.
    char* room(std::size_t n) {
        if (n > free()) spill();
        return cur_;
    }
    void commit(std::size_t n) { cur_ += n; }
    // Hands what is written on to the stream.
    void flush();

private:
    std::size_t free() const { return static_cast<std::size_t>(end_ - cur_); }
    // Hands what is written on and goes on in the local buffer, empty.
    void spill();
    void write(const char* s, std::size_t n);

    std::ostream& os_;
    // The stream's own buffer while writing straight into it, else null.
    bufferStreambuf_t* direct_ = nullptr;
    char* begin_ = nullptr;
    char* cur_ = nullptr;
    char* end_ = nullptr;
    char buf_[1024];
};

inline void put(line_t& os, const char* s, std::size_t n) {
    os.put(s, n);
}
inline void put(line_t& os, char c) {
    os.put(c);
}
template <std::size_t N>
inline void lit(line_t& os, const char (&s)[N]) {
    os.put(s, N - 1);
}
inline void put(line_t& os, const std::string& s) {
    os.put(s.data(), s.size());
}
// A short text such as a talker.
inline void put(line_t& os, const char* s) {
    for (; *s; ++s) os.put(*s);
}

// The field formatters of nmeaBuilder.h, written into a line.
line_t& operator<<(line_t& os, const nmeaTimestamp_t& v);
line_t& operator<<(line_t& os, const nmeaLatitude_t& v);
line_t& operator<<(line_t& os, const nmeaLongitude_t& v);
line_t& operator<<(line_t& os, const nmeaHeight_t& v);
line_t& operator<<(line_t& os, const nmeaHeading_t& v);
line_t& operator<<(line_t& os, const nmeaTail_t& v);

// "00" to "99", two characters each.
extern const char two_digits[201];
// The two digits of q < 100 at `at`.
inline void two_at(char* at, unsigned int q) {
    std::memcpy(at, two_digits + 2 * q, 2);
}

// Fixed-point with `prec` decimals, zero-padded after any sign to `width` characters (as
// printf's "%0*.*f"), except that a value that rounds to zero never keeps a minus sign.
// Writes nothing and returns false when `v` is not finite.
bool fixed(line_t& os, double v, int prec, int width = 0);
// The same into `buf` (at least 400 bytes); returns the length, 0 when not finite.
std::size_t fixed_text(char* buf, double v, int prec, int width = 0);
// A decimal integer with at least `digits` digits (leading zeros), into `buf` (at least 48
// bytes); returns the length.
std::size_t uint_text(char* buf, unsigned long long v, int digits = 1);
// The same into a line.
inline void uint(line_t& os, unsigned long long v, int digits = 1) {
    os.commit(uint_text(os.room(48), v, digits));
}
void sint(line_t& os, long long v, int digits = 1);
// Degrees brought into [0, 360) with `prec` decimals; a value that rounds to 360 is written
// as 0. Nothing (false) when not finite.
bool angle(line_t& os, double degrees, int prec);
// Degrees in [0, 360) rounded to whole degrees (0.5 up); false when not finite.
bool whole_angle(double degrees, long& out);
// v + 0.5 truncated toward zero; false when not finite or beyond a million.
bool round_half(double v, long& out);
// Text copied into a sentence: the reserved characters "$", "*", ",", "!", "\\", "^", "~",
// control bytes and bytes outside ASCII become "_", so the text can never break the framing.
void text(line_t& os, const std::string& s);

} // namespace nmea_write
} // namespace tern

#pragma GCC visibility pop
