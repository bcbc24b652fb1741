// Field writers of the sentence builders: numbers straight into the stream's buffer through
// std::to_chars (classic format whatever the locale, no allocation), nothing for a value that
// is not finite.
#pragma once

#include <ostream>
#include <string>

// Private to the library: called directly, never through the symbol table.
#pragma GCC visibility push(hidden)

namespace tern {
namespace nmea_write {

constexpr double pi = 3.14159265358979323846;
constexpr double rad2deg = 180.0 / pi;

inline void put(std::ostream& os, const char* s, std::size_t n) {
    std::streambuf* sb = os.rdbuf();
    if (!sb) return;
    // One or two characters stay inline; anything longer is one block copy, cheaper than a
    // bounds check and store per character.
    if (n <= 2) {
        for (std::size_t i = 0; i < n; ++i) sb->sputc(s[i]);
    } else {
        sb->sputn(s, static_cast<std::streamsize>(n));
    }
}
inline void put(std::ostream& os, char c) {
    if (std::streambuf* sb = os.rdbuf()) sb->sputc(c);
}
template <std::size_t N>
inline void lit(std::ostream& os, const char (&s)[N]) {
    put(os, s, N - 1);
}
inline void put(std::ostream& os, const std::string& s) {
    put(os, s.data(), s.size());
}

// Fixed-point with `prec` decimals, zero-padded after any sign to `width` characters (as
// printf's "%0*.*f"). Writes nothing and returns false when `v` is not finite.
bool fixed(std::ostream& os, double v, int prec, int width = 0);
// The same into `buf` (at least 400 bytes); returns the length, 0 when not finite.
std::size_t fixed_text(char* buf, double v, int prec, int width = 0);
// A decimal integer with at least `digits` digits (leading zeros).
void uint(std::ostream& os, unsigned long long v, int digits = 1);
// The same into `buf` (at least 48 bytes); returns the length.
std::size_t uint_text(char* buf, unsigned long long v, int digits = 1);
void sint(std::ostream& os, long long v, int digits = 1);
// Degrees brought into [0, 360) with `prec` decimals; a value that rounds to 360 is written
// as 0. Nothing (false) when not finite.
bool angle(std::ostream& os, double degrees, int prec);
// Degrees in [0, 360) rounded to whole degrees (0.5 up); false when not finite.
bool whole_angle(double degrees, long& out);
// v + 0.5 truncated toward zero; false when not finite or beyond a million.
bool round_half(double v, long& out);
// Text copied into a sentence: "$", "*", ",", control bytes and bytes outside ASCII become
// "_", so the text can never break the framing.
void text(std::ostream& os, const std::string& s);

} // namespace nmea_write
} // namespace tern

#pragma GCC visibility pop
