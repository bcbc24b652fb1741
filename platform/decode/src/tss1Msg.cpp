#include <tern/decode/tss1Msg.h>

#include <cmath>

namespace tern {

namespace {

constexpr unsigned int RECORD_LENGTH = 25;
constexpr double PI = 3.14159265358979323846;
constexpr double RADIANS_PER_HUNDREDTH_DEGREE = PI / 18000.0;
constexpr double METRES_PER_CENTIMETRE = 0.01;
constexpr double HORIZONTAL_UNIT = 0.0383; // m/s² per count (3.83 cm/s²)
constexpr double VERTICAL_UNIT = 0.000625; // m/s² per count (0.0625 cm/s²)

const char STATUS_LETTERS[] = "uUgGhHfF";

enum class field_t { absent, present, bad };

int hexDigit(char c) {
    const unsigned d = static_cast<unsigned char>(c) - unsigned{'0'};
    if (d <= 9) return static_cast<int>(d);
    // Upper and lower case ASCII letters differ only in bit 5.
    const unsigned l = (static_cast<unsigned char>(c) | 0x20u) - unsigned{'a'};
    return l <= 5 ? static_cast<int>(l) + 10 : -1;
}

bool allBlank(const char* p, unsigned int width) {
    for (unsigned int i = 0; i < width; ++i)
        if (p[i] != ' ') return false;
    return true;
}

// Digits are tried first, as they are in nearly every record; only a field that is not a
// number is looked at again for blanks.
field_t parseHex(const char* p, unsigned int width, long& value) {
    long v = 0;
    for (unsigned int i = 0; i < width; ++i) {
        const int d = hexDigit(p[i]);
        if (d < 0) return allBlank(p, width) ? field_t::absent : field_t::bad;
        v = v * 16 + d;
    }
    value = v;
    return field_t::present;
}

// Sign and four decimal digits.
field_t parseSigned(const char* p, long& value) {
    long v = 0;
    for (unsigned int i = 1; i < 5; ++i) {
        const unsigned d = static_cast<unsigned char>(p[i]) - unsigned{'0'};
        if (d > 9) return allBlank(p, 5) ? field_t::absent : field_t::bad;
        v = v * 10 + static_cast<long>(d);
    }
    if (p[0] != ' ' && p[0] != '+' && p[0] != '-') return field_t::bad;
    value = p[0] == '-' ? -v : v;
    return field_t::present;
}

// Clamps before rounding so no value (however large) overflows the conversion.
long clampRound(double x, double lo, double hi) {
    if (x < lo) x = lo;
    if (x > hi) x = hi;
    return std::lround(x);
}

char* putBlanks(char* out, unsigned int n) {
    for (unsigned int i = 0; i < n; ++i) *out++ = ' ';
    return out;
}

char* putSigned(char* out, bool present, double units) {
    if (!present || std::isnan(units)) return putBlanks(out, 5);
    const long n = clampRound(units, -9999.0, 9999.0);
    *out++ = n < 0 ? '-' : ' ';
    long a = n < 0 ? -n : n;
    for (int i = 3; i >= 0; --i) {
        out[i] = static_cast<char>('0' + a % 10);
        a /= 10;
    }
    return out + 4;
}

char* putHex(char* out, unsigned long v, unsigned int width) {
    static const char HEX[] = "0123456789ABCDEF";
    for (unsigned int i = width; i-- > 0;) *out++ = HEX[(v >> (4 * i)) & 0xF];
    return out;
}

} // namespace

void tss1Msg_t::init(const char* data, unsigned int length) {
    // Only the presence is reset: a value is never read while its bit is clear.
    valid_ = false;
    mask_ = 0;
    if (data == nullptr) return;
    if (length == RECORD_LENGTH + 2) {
        if (data[25] != '\r' || data[26] != '\n') return;
    } else if (length == RECORD_LENGTH + 1) {
        if (data[25] != '\r' && data[25] != '\n') return;
    } else if (length != RECORD_LENGTH) {
        return;
    }
    if (data[0] != ':' || data[7] != ' ' || data[19] != ' ') return;

    unsigned char mask = 0;
    long n = 0;
    const auto take = [&](field_t f, unsigned char bit, double& field, double value) {
        if (f == field_t::present) {
            field = value;
            mask = static_cast<unsigned char>(mask | bit);
        }
        return f != field_t::bad;
    };

    field_t f = parseHex(data + 1, 2, n);
    if (!take(f, horizontal_acceleration_present, horizontalAcceleration_,
              static_cast<double>(n) * HORIZONTAL_UNIT))
        return;
    f = parseHex(data + 3, 4, n);
    if (f == field_t::present && n >= 0x8000) n -= 0x10000;
    if (!take(f, vertical_acceleration_present, verticalAcceleration_,
              static_cast<double>(n) * VERTICAL_UNIT))
        return;
    f = parseSigned(data + 8, n);
    if (!take(f, heave_present, heave_, static_cast<double>(n) * METRES_PER_CENTIMETRE)) return;
    f = parseSigned(data + 14, n);
    if (!take(f, roll_present, roll_, static_cast<double>(n) * RADIANS_PER_HUNDREDTH_DEGREE))
        return;
    f = parseSigned(data + 20, n);
    if (!take(f, pitch_present, pitch_, static_cast<double>(n) * RADIANS_PER_HUNDREDTH_DEGREE))
        return;

    const char q = data[13];
    if (q != ' ') {
        unsigned char s = 0;
        while (s < 8 && STATUS_LETTERS[s] != q) ++s;
        if (s == 8) return;
        status_ = static_cast<status_t>(s);
        mask = static_cast<unsigned char>(mask | status_present);
    }
    mask_ = mask;
    valid_ = true;
}

bool tss1Msg_t::getStatus(status_t& value) const {
    if (!valid_ || (mask_ & status_present) == 0) return false;
    value = status_;
    return true;
}

char tss1Msg_t::statusLetter(status_t status) {
    return status < 8 ? STATUS_LETTERS[status] : ' ';
}

std::size_t tss1MsgBuilder_t::build(char* out) const {
    char* p = out;
    *p++ = ':';

    if ((mask_ & tss1Msg_t::horizontal_acceleration_present) != 0 &&
        !std::isnan(horizontalAcceleration_))
        p = putHex(p,
                   static_cast<unsigned long>(
                       clampRound(horizontalAcceleration_ / HORIZONTAL_UNIT, 0.0, 255.0)),
                   2);
    else
        p = putBlanks(p, 2);

    if ((mask_ & tss1Msg_t::vertical_acceleration_present) != 0 &&
        !std::isnan(verticalAcceleration_)) {
        const long n = clampRound(verticalAcceleration_ / VERTICAL_UNIT, -32768.0, 32767.0);
        p = putHex(p, static_cast<unsigned long>(n) & 0xFFFFu, 4);
    } else {
        p = putBlanks(p, 4);
    }
    *p++ = ' ';

    p = putSigned(p, (mask_ & tss1Msg_t::heave_present) != 0, heave_ / METRES_PER_CENTIMETRE);
    *p++ = (mask_ & tss1Msg_t::status_present) != 0 ? tss1Msg_t::statusLetter(status_) : ' ';
    p = putSigned(p, (mask_ & tss1Msg_t::roll_present) != 0, roll_ / RADIANS_PER_HUNDREDTH_DEGREE);
    *p++ = ' ';
    p = putSigned(p, (mask_ & tss1Msg_t::pitch_present) != 0,
                  pitch_ / RADIANS_PER_HUNDREDTH_DEGREE);
    *p++ = '\r';
    *p++ = '\n';
    return static_cast<std::size_t>(p - out);
}

std::string tss1MsgBuilder_t::build() const {
    char record[record_size];
    return std::string(record, build(record));
}

} // namespace tern
