#include <tern/output/nmeaBuilder.h>

#include <tern/data/outputDataCache.h>
#include <tern/msg/data_msgs.h>
#include <tern/output/output_cfg.h>

#include "output/nmea_write_priv.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <ostream>

namespace tern {

using namespace nmea_write;

std::string forceTalkerString(force_talker_t talker) {
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
        return std::string();
    }
}

namespace {

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

} // namespace

unsigned int satConstellationBit(unsigned int sat) {
    return sat < 256 ? sat_bits.bit[sat] : 0;
}

std::string talkerFromConstellationBits(unsigned int bits) {
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

namespace {

std::string constellationTalker(constellation_t c) {
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
        return std::string();
    }
}

unsigned int satBits(const data_sat_use_t& use) {
    unsigned int bits = 0;
    for (unsigned char n : use.sats) bits |= sat_bits.bit[n];
    return bits;
}

} // namespace

void nmeaBuilder_t::setConfig(const output_cfg_t& cfg) {
    version_ = cfg.nmea_version;
    strict_ = cfg.strict_nmea;
    force_talker_ = cfg.force_talker;
}

void nmeaBuilder_t::addChecksum(const char* text, unsigned int len, std::ostream& os) {
    if (len == 0) return;
    os << nmeaTail_t(nmea_checksum(text, len));
}

std::string nmeaBuilder_t::talkerString(const data_sat_use_t& use) const {
    std::string forced = forceTalkerString(force_talker_);
    if (!forced.empty()) return forced;
    return talkerFromConstellationBits(satBits(use));
}

std::string nmeaBuilder_t::talkerString(const outputDataCache_t& cache) const {
    std::string forced = forceTalkerString(force_talker_);
    if (!forced.empty()) return forced;
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
    return talkerFromConstellationBits(bits);
}

std::string nmeaBuilder_t::talkerString(const data_sat_track_t& track) const {
    std::string forced = forceTalkerString(force_talker_);
    if (!forced.empty()) return forced;
    return constellationTalker(track.constellation);
}

std::string nmeaBuilder_t::talkerString(const data_pr_stats_t& stats) const {
    std::string forced = forceTalkerString(force_talker_);
    if (!forced.empty()) return forced;
    if (stats.combined) return "GN";
    return constellationTalker(stats.constellation);
}

unsigned int nmeaBuilder_t::ggaFixMode(const data_fix_mode_t& mode) const {
    unsigned int q = mode.fix_mode;
    if (version_ > nmea_version_2_1) return q;
    if (q == 4 || q == 5) q = 2;
    if (q > 3) q = 0;
    return q;
}

// hhmmss.ss ------------------------------------------------------------------------------

nmeaTimestamp_t::nmeaTimestamp_t(double utc) {
    set(utc);
}

nmeaTimestamp_t::nmeaTimestamp_t(const dateTime_t& dt) {
    set(dt.toTimestamp());
}

void nmeaTimestamp_t::set(double utc) {
    // Years 0 to 9999: what four year digits hold.
    if (!(utc >= -62167219200.0 && utc < 253402300800.0)) return;
    // Rounded once, in whole hundredths: the time and the date come from the same value, so
    // 59.996 s never prints as "60.00".
    const long long cs = std::llround(utc * 100.0);
    constexpr long long day_cs = 8640000;
    long long days = cs / day_cs;
    long long rem = cs % day_cs;
    if (rem < 0) {
        rem += day_cs;
        --days;
    }
    // Civil date of a day count since 1970 (400-year eras starting on 1 March).
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    const long long y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    if (y < 0 || y > 9999) return;
    valid_ = true;
    hour_ = static_cast<int>(rem / 360000);
    minute_ = static_cast<int>(rem / 6000 % 60);
    centis_ = static_cast<int>(rem % 6000);
    year_ = static_cast<int>(y);
    month_ = static_cast<int>(m);
    day_ = static_cast<int>(d);
}

namespace nmea_write {

line_t& operator<<(line_t& os, const nmeaTimestamp_t& t) {
    if (!t.valid()) return os;
    char* b = os.room(9);
    const int two[] = {t.hour(), t.minute(), t.centiseconds() / 100};
    for (int i = 0; i < 3; ++i) {
        b[2 * i] = static_cast<char>('0' + two[i] / 10);
        b[2 * i + 1] = static_cast<char>('0' + two[i] % 10);
    }
    b[6] = '.';
    b[7] = static_cast<char>('0' + t.centiseconds() % 100 / 10);
    b[8] = static_cast<char>('0' + t.centiseconds() % 10);
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
    double whole = static_cast<double>(static_cast<long long>(d)); // d < 1e9: truncation
    double minutes = (d - whole) * 60.0;
    const int prec = strict ? 5 : 6;
    if (strict) minutes += 0.000005;
    // The minutes (below 60, so on the fast path and short) go after room for the degrees
    // (a whole number below 1e9 + 1: at most 10 digits), then move up behind them.
    char* out = os.room(16 + 400);
    char* minutes_at = out + 16;
    std::size_t n = fixed_text(minutes_at, minutes, prec, prec + 3);
    if (n >= 2 && minutes_at[0] == '6' && minutes_at[1] == '0') {
        // 59.9999999' rounds to 60: carry into the degrees.
        whole += 1.0;
        n = fixed_text(minutes_at, 0.0, prec, prec + 3);
    }
    std::size_t len = uint_text(out, static_cast<unsigned long long>(whole), deg_digits);
    std::memmove(out + len, minutes_at, n);
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
    // Find where the sum stops first (memchr is vectorised), then fold eight bytes at a time.
    if (const void* star = std::memchr(p, '*', static_cast<std::size_t>(end - p)))
        end = static_cast<const char*>(star);
    if (const void* cr = std::memchr(p, '\r', static_cast<std::size_t>(end - p)))
        end = static_cast<const char*>(cr);
    std::uint64_t wide = 0;
    for (; end - p >= 8; p += 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        wide ^= w;
    }
    unsigned int sum = 0;
    for (int shift = 0; shift < 64; shift += 8) sum ^= static_cast<unsigned int>(wide >> shift);
    for (; p < end; ++p) sum ^= static_cast<unsigned char>(*p);
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
