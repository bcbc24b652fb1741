#include <tern/output/nmeaBuilder.h>

#include <tern/data/outputDataCache.h>
#include <tern/msg/data_msgs.h>
#include <tern/output/output_cfg.h>

#include "output/builder_priv.h"
#include "output/nmea_write_priv.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>

namespace tern {

using namespace nmea_write;

namespace {

const char* forced_talker(force_talker_t talker) {
    switch (talker) {
    case force_talker_gp:
        return "GP";
    case force_talker_gn:
        return "GN";
    case force_talker_gl:
        return "GL";
    case force_talker_ga:
        return "GA";
    case force_talker_gb:
        return "GB";
    case force_talker_in:
        return "IN";
    default:
        return "";
    }
}

// Constellation bit of every satellite number, looked up once per satellite.
struct sat_bits_t {
    unsigned char bit[256] = {};
    sat_bits_t() {
        for (unsigned int n = 1; n <= 64; ++n) bit[n] = 1;
        for (unsigned int n = 65; n <= 96; ++n) bit[n] = 2;
        for (unsigned int n = 174; n <= 209; ++n) bit[n] = 4;
        for (unsigned int n = 139; n <= 173; ++n) bit[n] = 8;
    }
};
const sat_bits_t sat_bits;

const char* bits_talker(unsigned int bits) {
    if ((bits & (bits - 1)) != 0) return "GN";
    switch (bits) {
    case 2:
        return "GL";
    case 4:
        return "GA";
    case 8:
        return "GB";
    default:
        return "GP";
    }
}

const char* constellation_talker(constellation_t c) {
    switch (c) {
    case constellation_gps:
        return "GP";
    case constellation_glonass:
        return "GL";
    case constellation_galileo:
        return "GA";
    case constellation_beidou:
        return "GB";
    default:
        return "";
    }
}

unsigned int satBits(const data_sat_use_t& use) {
    unsigned int bits = 0;
    for (unsigned char n : use.sats) bits |= sat_bits.bit[n];
    return bits;
}

} // namespace

std::string forceTalkerString(force_talker_t talker) {
    return forced_talker(talker);
}

unsigned int satConstellationBit(unsigned int sat) {
    return sat < 256 ? sat_bits.bit[sat] : 0;
}

std::string talkerFromConstellationBits(unsigned int bits) {
    return bits_talker(bits);
}

void nmeaBuilder_t::setConfig(const output_cfg_t& cfg) {
    version_ = cfg.nmea_version;
    strict_ = cfg.strict_nmea;
    force_talker_ = cfg.force_talker;
}

void nmeaBuilder_t::addChecksum(const char* text, unsigned int len, std::ostream& os) {
    if (len == 0) return;
    line_t line(os);
    line << nmeaTail_t(nmea_checksum(text, len));
}

// The builders write the talker of these static texts; the string forms are for callers.
namespace builder_detail {

const char* talker(const nmeaBuilder_t& b, const data_sat_use_t& use) {
    const char* forced = forced_talker(b.forceTalker());
    return *forced ? forced : bits_talker(satBits(use));
}

const char* talker(const nmeaBuilder_t& b, const outputDataCache_t& cache) {
    const char* forced = forced_talker(b.forceTalker());
    if (*forced) return forced;
    const data_sat_use_t* last = cache.lastSatUse();
    if (!last) return "GP";
    const double t = last->utc_tstamp;
    unsigned int bits = 0;
    for (const auto& kv : cache.allSatUse()) {
        const double s = kv.second.utc_tstamp;
        if (s <= t && s >= t - outputDataCache_t::sats_used_window) bits |= satBits(kv.second);
        // Two constellations already make it a combined fix: no need to look further.
        if ((bits & (bits - 1)) != 0) return "GN";
    }
    return bits_talker(bits);
}

const char* talker(const nmeaBuilder_t& b, const data_sat_track_t& track) {
    const char* forced = forced_talker(b.forceTalker());
    return *forced ? forced : constellation_talker(track.constellation);
}

const char* talker(const nmeaBuilder_t& b, const data_pr_stats_t& stats) {
    const char* forced = forced_talker(b.forceTalker());
    if (*forced) return forced;
    return stats.combined ? "GN" : constellation_talker(stats.constellation);
}

} // namespace builder_detail

std::string nmeaBuilder_t::talkerString(const data_sat_use_t& use) const {
    return builder_detail::talker(*this, use);
}

std::string nmeaBuilder_t::talkerString(const outputDataCache_t& cache) const {
    return builder_detail::talker(*this, cache);
}

std::string nmeaBuilder_t::talkerString(const data_sat_track_t& track) const {
    return builder_detail::talker(*this, track);
}

std::string nmeaBuilder_t::talkerString(const data_pr_stats_t& stats) const {
    return builder_detail::talker(*this, stats);
}

unsigned int nmeaBuilder_t::ggaFixMode(const data_fix_mode_t& mode) const {
    unsigned int q = mode.fix_mode;
    if (version_ > nmea_version_2_1) return q;
    if (q == 4 || q == 5) q = 2;
    if (q > 3) q = 0;
    return q;
}

// hhmmss.ss ------------------------------------------------------------------------------

namespace {

// llround of a value below 2^53 in magnitude, without the library call: x less its truncation
// is exact there, so the comparison with one half decides just as llround does.
long long round_half_away(double x) {
    long long i = static_cast<long long>(x);
    const double rest = x - static_cast<double>(i);
    if (rest >= 0.5)
        ++i;
    else if (rest <= -0.5)
        --i;
    return i;
}

} // namespace

nmeaTimestamp_t::nmeaTimestamp_t(double utc) {
    set(utc);
}

nmeaTimestamp_t::nmeaTimestamp_t(const dateTime_t& dt) {
    set(dt.toTimestamp());
}

void nmeaTimestamp_t::set(double utc) {
    // The sentences of an epoch all carry its time: the last stamp converted on a thread is kept.
    thread_local double last_utc = std::numeric_limits<double>::quiet_NaN();
    thread_local nmeaTimestamp_t last;
    if (utc == last_utc) {
        *this = last;
        return;
    }
    // Years 0 to 9999: what four year digits hold.
    if (!(utc >= -62167219200.0 && utc < 253402300800.0)) return;
    // Rounded once, in whole hundredths: the time and the date come from the same value, so
    // 59.996 s never prints as "60.00".
    const long long cs = round_half_away(utc * 100.0);
    constexpr long long day_cs = 8640000;
    long long days = cs / day_cs;
    long long rem = cs % day_cs;
    if (rem < 0) {
        rem += day_cs;
        --days;
    }
    // Civil date of the day count with Neri and Schneider's Euclidean affine functions: a
    // few multiplications where the era arithmetic took a chain of a dozen divisions. The
    // count is taken from -0400-03-01, so it stays positive in 32 bits over the years 0 to
    // 9999; years start on 1 March, so January and February belong to the next one.
    const auto n = static_cast<std::uint32_t>(days + 719468 + 146097);
    const std::uint32_t n1 = 4 * n + 3;
    const std::uint32_t century = n1 / 146097;
    const std::uint32_t n2 = n1 % 146097 / 4 * 4 + 3;
    const std::uint64_t p2 = std::uint64_t{2939745} * n2;
    const auto year_of_century = static_cast<std::uint32_t>(p2 >> 32);
    const std::uint32_t day_of_year = static_cast<std::uint32_t>(p2) / 2939745 / 4;
    const std::uint32_t n3 = 2141 * day_of_year + 197913;
    const bool jan_feb = day_of_year >= 306;
    const long long y =
        static_cast<long long>(100 * century + year_of_century + (jan_feb ? 1 : 0)) - 400;
    const std::uint32_t m = jan_feb ? (n3 >> 16) - 12 : n3 >> 16;
    const std::uint32_t d = (n3 & 0xFFFF) / 2141 + 1;
    if (y < 0 || y > 9999) return;
    valid_ = true;
    hour_ = static_cast<int>(rem / 360000);
    minute_ = static_cast<int>(rem / 6000 % 60);
    centis_ = static_cast<int>(rem % 6000);
    year_ = static_cast<int>(y);
    month_ = static_cast<int>(m);
    day_ = static_cast<int>(d);
    last_utc = utc;
    last = *this;
}

namespace nmea_write {

line_t& operator<<(line_t& os, const nmeaTimestamp_t& t) {
    if (!t.valid()) return os;
    char* b = os.room(9);
    const auto cs = static_cast<unsigned int>(t.centiseconds());
    two_at(b, static_cast<unsigned int>(t.hour()));
    two_at(b + 2, static_cast<unsigned int>(t.minute()));
    two_at(b + 4, cs / 100);
    b[6] = '.';
    two_at(b + 7, cs % 100);
    os.commit(9);
    return os;
}

// Latitude and longitude ----------------------------------------------------------------

namespace {

void latlon(line_t& os, double rad, bool strict, int deg_digits, const char* letters) {
    const double d = std::fabs(rad) * rad2deg;
    // Beyond any angle (or not a number): the empty pair.
    if (!(d < 1e9)) {
        put(os, ',');
        return;
    }
    auto whole = static_cast<unsigned long long>(d); // d < 1e9: truncation
    double minutes = (d - static_cast<double>(whole)) * 60.0;
    const int prec = strict ? 5 : 6;
    if (strict) minutes += 0.000005;
    // Degrees (a whole number below 1e9 + 1: at most 10 digits), then the minutes straight
    // behind them: nothing written is moved again.
    char* out = os.room(16 + 400);
    std::size_t len = uint_text(out, whole, deg_digits);
    std::size_t n = fixed_text(out + len, minutes, prec, prec + 3);
    if (n >= 2 && out[len] == '6' && out[len + 1] == '0') {
        // 59.9999999' rounds to 60: carry into the degrees.
        len = uint_text(out, whole + 1, deg_digits);
        n = fixed_text(out + len, 0.0, prec, prec + 3);
    }
    len += n;
    out[len++] = ',';
    out[len++] = rad < 0 ? letters[1] : letters[0];
    os.commit(len);
}

} // namespace

line_t& operator<<(line_t& os, const nmeaLatitude_t& v) {
    latlon(os, v.rad_, v.strict_, 2, "NS");
    return os;
}

line_t& operator<<(line_t& os, const nmeaLongitude_t& v) {
    latlon(os, v.rad_, v.strict_, 3, "EW");
    return os;
}

line_t& operator<<(line_t& os, const nmeaHeight_t& v) {
    fixed(os, v.m_, v.strict_ ? 2 : 3);
    return os;
}

line_t& operator<<(line_t& os, const nmeaHeading_t& v) {
    if (!std::isfinite(v.rad_)) return os;
    constexpr double two_pi = 2.0 * pi;
    double a = v.rad_;
    if (!(a >= 0.0 && a < two_pi)) {
        a = std::fmod(a, two_pi);
        if (a < 0) a += two_pi;
        if (a >= two_pi) a -= two_pi;
    }
    angle(os, a * rad2deg, v.strict_ ? 1 : 3);
    return os;
}

line_t& operator<<(line_t& os, const nmeaTail_t& v) {
    static const char hex[] = "0123456789ABCDEF";
    const char tail[] = {'*', hex[v.sum_ >> 4], hex[v.sum_ & 15], '\r', '\n'};
    put(os, tail, sizeof tail);
    return os;
}

} // namespace nmea_write

// On a plain stream, each formatter writes through a line of its own.
namespace {

template <class V>
std::ostream& through_line(std::ostream& os, const V& v) {
    line_t line(os);
    line << v;
    return os;
}

} // namespace

std::ostream& operator<<(std::ostream& os, const nmeaTimestamp_t& v) {
    return through_line(os, v);
}
std::ostream& operator<<(std::ostream& os, const nmeaLatitude_t& v) {
    return through_line(os, v);
}
std::ostream& operator<<(std::ostream& os, const nmeaLongitude_t& v) {
    return through_line(os, v);
}
std::ostream& operator<<(std::ostream& os, const nmeaHeight_t& v) {
    return through_line(os, v);
}
std::ostream& operator<<(std::ostream& os, const nmeaHeading_t& v) {
    return through_line(os, v);
}
std::ostream& operator<<(std::ostream& os, const nmeaTail_t& v) {
    return through_line(os, v);
}

unsigned char nmea_checksum(const char* text, unsigned int len) {
    if (!text || len == 0) return 0;
    const char* p = text + (text[0] == '$' ? 1 : 0);
    const char* end = text + len;
    // Eight bytes at a time in one pass, as long as none of them is a '*' or a CR (a byte is
    // found zero in the word exclusive-ored with it); the rest byte by byte.
    constexpr std::uint64_t ones = 0x0101010101010101u;
    constexpr std::uint64_t highs = 0x8080808080808080u;
    const auto has_byte = [](std::uint64_t w, unsigned char c) {
        const std::uint64_t x = w ^ (ones * c);
        return ((x - ones) & ~x & highs) != 0;
    };
    std::uint64_t wide = 0;
    for (; end - p >= 8; p += 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        if (has_byte(w, '*') || has_byte(w, '\r')) break;
        wide ^= w;
    }
    unsigned int sum = 0;
    for (int shift = 0; shift < 64; shift += 8) sum ^= static_cast<unsigned int>(wide >> shift);
    for (; p < end && *p != '*' && *p != '\r'; ++p) sum ^= static_cast<unsigned char>(*p);
    return static_cast<unsigned char>(sum);
}

unsigned char nmea_checksum(std::string& sentence) {
    const unsigned char sum =
        nmea_checksum(sentence.data(), static_cast<unsigned int>(sentence.size()));
    if (sentence.empty()) return sum;
    static const char hex[] = "0123456789ABCDEF";
    sentence += '*';
    sentence += hex[sum >> 4];
    sentence += hex[sum & 15];
    sentence += "\r\n";
    return sum;
}

std::string diffTypeGGAToString(unsigned int code) {
    static const char* const texts[] = {"--",   "UNK",  "EST", "MAN",   "SIM",
                                        "None", "DGPS", "PPS", "RTK-F", "RTK-I"};
    return code < sizeof texts / sizeof texts[0] ? texts[code] : "Unknown";
}

} // namespace tern
