#include <tern/sensors/mdlRangeBearingMsg.h>

#include <tern/msg/data_msgs.h>

#include "sensors/sensor_msgs_priv.h"

#include <charconv>
#include <cmath>
#include <string>

namespace tern {

namespace {

constexpr double pi = 3.14159265358979323846;

enum : unsigned {
    flag_format_valid = 1u << 0,
    flag_target = 1u << 1,
    flag_range = 1u << 2,
    flag_bearing = 1u << 3,
};

constexpr unsigned min_len = 17;
constexpr unsigned checksum_col = 18;

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// The field's characters after leading blanks and an optional '+': where a conversion of the
// whole rest starts (from_chars takes a '-' itself). A sign is one character: after a '+'
// another one ("+-123.4") leaves nothing to convert. Only the field's own columns are ever
// looked at.
const char* number_start(const char* p, const char* end) {
    while (p != end && is_blank(*p)) ++p;
    if (p != end && *p == '+') {
        ++p;
        if (p != end && (*p == '-' || *p == '+')) return end;
    }
    return p;
}

bool whole_unsigned(const char* p, const char* end, unsigned& value) {
    p = number_start(p, end);
    unsigned v = 0;
    const auto res = std::from_chars(p, end, v, 10);
    if (p == end || res.ec != std::errc() || res.ptr != end) return false;
    value = v;
    return true;
}

bool whole_double(const char* p, const char* end, double& value) {
    p = number_start(p, end);
    double v = 0.0;
    const auto res = std::from_chars(p, end, v, std::chars_format::general);
    if (p == end || res.ec != std::errc() || res.ptr != end || !std::isfinite(v)) return false;
    value = v;
    return true;
}

} // namespace

struct mdlRangeBearingMsg_t::priv_t {
    unsigned flags = 0;
    unsigned target = 0;
    double range = 0.0;
    double bearing = 0.0; // radians
};

mdlRangeBearingMsg_t::mdlRangeBearingMsg_t() : priv_(new priv_t) {}

mdlRangeBearingMsg_t::mdlRangeBearingMsg_t(const char* data, unsigned len)
    : mdlRangeBearingMsg_t() {
    init(data, len);
}

mdlRangeBearingMsg_t::mdlRangeBearingMsg_t(const mdlRangeBearingMsg_t& o)
    : priv_(new priv_t(*o.priv_)) {}

mdlRangeBearingMsg_t& mdlRangeBearingMsg_t::operator=(const mdlRangeBearingMsg_t& o) {
    *priv_ = *o.priv_;
    return *this;
}

mdlRangeBearingMsg_t::~mdlRangeBearingMsg_t() = default;

void mdlRangeBearingMsg_t::init(const char* data, unsigned len) {
    priv_t& p = *priv_;
    p = priv_t();
    if (data == nullptr || len < min_len) return;
    if (len >= checksum_col + 2) {
        const int hi = hex_digit(data[checksum_col]);
        const int lo = hex_digit(data[checksum_col + 1]);
        if (hi >= 0 && lo >= 0) {
            unsigned sum = 0;
            for (unsigned i = 0; i < checksum_col; ++i) sum ^= static_cast<unsigned char>(data[i]);
            if (sum != static_cast<unsigned>(hi * 16 + lo)) return;
        }
    }
    p.flags = flag_format_valid;
    if (whole_unsigned(data, data + 2, p.target)) p.flags |= flag_target;
    if (whole_double(data + 3, data + 10, p.range)) p.flags |= flag_range;
    double degrees = 0.0;
    if (whole_double(data + 11, data + 17, degrees)) {
        p.bearing = degrees * pi / 180.0;
        p.flags |= flag_bearing;
    }
}

bool mdlRangeBearingMsg_t::isFormatValid() const {
    return (priv_->flags & flag_format_valid) != 0;
}

bool mdlRangeBearingMsg_t::targetNumber(unsigned& number) const {
    if ((priv_->flags & flag_target) == 0) return false;
    number = priv_->target;
    return true;
}

bool mdlRangeBearingMsg_t::range(double& range) const {
    if ((priv_->flags & flag_range) == 0) return false;
    range = priv_->range;
    return true;
}

bool mdlRangeBearingMsg_t::bearing(double& radians) const {
    if ((priv_->flags & flag_bearing) == 0) return false;
    radians = priv_->bearing;
    return true;
}

bool rangeBearingDataMsg(const mdlRangeBearingMsg_t& msg, double time, std::list<msg_t*>& out) {
    double range = 0.0;
    double bearing = 0.0;
    if (!msg.isFormatValid() || !msg.range(range) || !msg.bearing(bearing)) return false;
    unsigned target = 0;
    auto* m = new_target_msg<data_range_bearing_t>(
        time, msg.targetNumber(target) ? std::to_string(target) : std::string());
    m->range = range;
    m->bearing = bearing;
    out.push_back(m);
    return true;
}

} // namespace tern
