#include <tern/decode/atsAsciiMsg.h>

#include <charconv>

namespace tern {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool allDigits(const std::string& s, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
        if (!isDigit(s[i])) return false;
    return from < to;
}

std::int32_t number(const std::string& s, std::size_t from, std::size_t count) {
    std::int32_t v = 0;
    for (std::size_t i = from; i < from + count; ++i) v = v * 10 + (s[i] - '0');
    return v;
}

bool isLeapYear(std::int32_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

std::int32_t daysInMonth(std::int32_t y, std::int32_t m) {
    static const std::int32_t DAYS[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : DAYS[m - 1];
}

// An optional sign, digits, then optionally "." and digits.
bool isPlainDecimal(const std::string& s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t intStart = i;
    while (i < s.size() && isDigit(s[i])) ++i;
    if (i == intStart) return false;
    if (i == s.size()) return true;
    if (s[i] != '.') return false;
    ++i;
    return allDigits(s, i, s.size());
}

} // namespace

atsAsciiMsg_t::atsAsciiMsg_t(const char* data, unsigned int length) {
    std::string s;
    if (data != nullptr) s.assign(data, length);
    if (s.size() >= 2 && s.compare(s.size() - 2, 2, "\r\n") == 0)
        s.resize(s.size() - 2);
    else if (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    if (s.empty() || s[0] != '$') return;

    const std::size_t star = s.find('*', 1);
    const std::string body = s.substr(1, star == std::string::npos ? std::string::npos : star - 1);
    if (star != std::string::npos && s.size() - star == 3) {
        const int hi = hexDigit(s[star + 1]);
        const int lo = hexDigit(s[star + 2]);
        unsigned int sum = 0;
        for (char c : body) sum ^= static_cast<unsigned char>(c);
        checksumError_ = hi < 0 || lo < 0 || static_cast<unsigned int>(hi * 16 + lo) != sum;
    }

    const std::string address = "ATS";
    if (body.compare(0, address.size(), address) != 0) return;
    std::size_t pos = address.size();
    if (pos == body.size()) {
        wellFormed_ = true; // the address alone: every field absent
        return;
    }
    if (body[pos] != ',') return;
    std::string parsed[field_count];
    unsigned int count = 0;
    while (pos != std::string::npos) {
        if (count == field_count) return; // more fields than the message has
        const std::size_t next = body.find(',', pos + 1);
        parsed[count++] =
            body.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
        pos = next;
    }
    for (unsigned int i = 0; i < field_count; ++i) fields_[i] = std::move(parsed[i]);
    wellFormed_ = true;
}

bool atsAsciiMsg_t::field(field_index_t index, std::string& text) const {
    if (!wellFormed_ || fields_[index].empty()) return false;
    text = fields_[index];
    return true;
}

bool atsAsciiMsg_t::decodeDate(date_t& date) const {
    std::string s;
    if (!field(field_date, s) || s.size() != 8 || !allDigits(s, 0, 8)) return false;
    const std::int32_t y = number(s, 0, 4);
    const std::int32_t m = number(s, 4, 2);
    const std::int32_t d = number(s, 6, 2);
    if (m < 1 || m > 12 || d < 1 || d > daysInMonth(y, m)) return false;
    date.year = y;
    date.month = m;
    date.day = d;
    return true;
}

bool atsAsciiMsg_t::decodeTimeOfDay(timeOfDay_t& time) const {
    std::string s;
    if (!field(field_time, s) || s.size() < 6 || !allDigits(s, 0, 6)) return false;
    if (s.size() > 6 && (s[6] != '.' || !allDigits(s, 7, s.size()))) return false;
    const std::int32_t h = number(s, 0, 2);
    const std::int32_t m = number(s, 2, 2);
    if (h > 23 || m > 59 || number(s, 4, 2) > 60) return false;
    double sec = 0.0;
    const char* end = s.data() + s.size();
    const auto res = std::from_chars(s.data() + 4, end, sec, std::chars_format::fixed);
    if (res.ec != std::errc() || res.ptr != end) return false;
    time.hour = h;
    time.minute = m;
    time.seconds = sec;
    return true;
}

bool atsAsciiMsg_t::decodeText(field_index_t index, std::string& value) const {
    std::string s;
    if (!field(index, s)) return false;
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return false;
    }
    value = std::move(s);
    return true;
}

bool atsAsciiMsg_t::decodeNumber(field_index_t index, double& value) const {
    std::string s;
    if (!field(index, s) || !isPlainDecimal(s)) return false;
    // from_chars takes no "+".
    const std::size_t skip = s[0] == '+' ? 1 : 0;
    double v = 0.0;
    const char* end = s.data() + s.size();
    const auto res = std::from_chars(s.data() + skip, end, v, std::chars_format::fixed);
    if (res.ec != std::errc() || res.ptr != end) return false;
    value = v;
    return true;
}

bool atsAsciiMsg_t::decodeBeaconId(std::string& id) const {
    return decodeText(field_id, id);
}
bool atsAsciiMsg_t::decodeErrorCode(std::string& code) const {
    return decodeText(field_code, code);
}
bool atsAsciiMsg_t::decodeBeaconX(double& x) const {
    return decodeNumber(field_x, x);
}
bool atsAsciiMsg_t::decodeBeaconY(double& y) const {
    return decodeNumber(field_y, y);
}
bool atsAsciiMsg_t::decodeBeaconDepth(double& depth) const {
    return decodeNumber(field_depth, depth);
}

} // namespace tern
