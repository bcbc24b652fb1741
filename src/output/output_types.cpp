#include "tern/output/output_types.h"

#include "tern/msg/msg.h"

#include <ostream>

namespace tern {

namespace {

constexpr std::uint64_t all_raw_bits = (std::uint64_t(1) << rawMsgSet_t::capacity) - 1;

std::uint64_t raw_bit(rawMsgType_t t) {
    return t < rawMsgSet_t::capacity ? std::uint64_t(1) << t : 0;
}

} // namespace

rawMsgSet_t::rawMsgSet_t(bool all) : bits_(all ? all_raw_bits : 0) {}

void rawMsgSet_t::insert(rawMsgType_t t) {
    bits_ |= raw_bit(t);
}
void rawMsgSet_t::remove(rawMsgType_t t) {
    bits_ &= ~raw_bit(t);
}
bool rawMsgSet_t::contains(rawMsgType_t t) const {
    return (bits_ & raw_bit(t)) != 0;
}
void rawMsgSet_t::insertAll() {
    bits_ = all_raw_bits;
}
void rawMsgSet_t::removeAll() {
    bits_ = 0;
}
bool rawMsgSet_t::containsAll() const {
    return bits_ == all_raw_bits;
}

unsigned int rawMsgSet_t::count() const {
    unsigned int n = 0;
    for (std::uint64_t b = bits_; b != 0; b &= b - 1) ++n;
    return n;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const rawMsgSet_t& set) {
    const bool all = set.containsAll();
    enc << all;
    if (all) return enc;
    enc.encodeCount16(set.count());
    for (unsigned int t = 0; t < rawMsgSet_t::capacity; ++t) {
        if (set.contains(static_cast<rawMsgType_t>(t))) enc << static_cast<unsigned char>(t);
    }
    return enc;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, rawMsgSet_t& set) {
    bool all = false;
    dec >> all;
    if (dec.is_short()) return dec;
    rawMsgSet_t result(all);
    if (!all) {
        unsigned short n = 0;
        dec >> n;
        for (unsigned int i = 0; i < n && !dec.is_short(); ++i) {
            unsigned char t = 0;
            dec >> t;
            // Kinds this build does not know are dropped, never kept as stray bits.
            if (!dec.is_short()) result.insert(static_cast<rawMsgType_t>(t));
        }
    }
    set = result;
    return dec;
}

std::string toString(dataReportMode_t mode) {
    switch (mode) {
    case data_report_immediate:
        return "Immediate";
    case data_report_average:
        return "Average";
    case data_report_peak:
        return "Peak";
    }
    return "Unknown";
}

namespace {

const char* const datum_codes[] = {"W84", "W72", "S85", "P90", "999"};
constexpr unsigned int datum_code_count = sizeof(datum_codes) / sizeof(datum_codes[0]);

} // namespace

std::string datumTypeToNmeaCode(datumType_t datum) {
    return datum < datum_code_count ? datum_codes[datum] : "";
}

datumType_t datumTypeFromNmeaCode(const std::string& code) {
    for (unsigned int i = 0; i < datum_code_count; ++i) {
        if (code == datum_codes[i]) return static_cast<datumType_t>(i);
    }
    return datum_unknown;
}

std::ostream& operator<<(std::ostream& os, nmeaVersion_t v) {
    return os << (v == nmea_version_2_1 ? "2.1" : "3.01");
}

bool operator>>(const std::string& text, nmeaVersion_t& v) {
    v = text == "2.1" ? nmea_version_2_1 : nmea_version_3_01;
    return true;
}

std::ostream& operator<<(std::ostream& os, force_talker_t v) {
    switch (v) {
    case force_talker_gp:
        return os << "GP";
    case force_talker_gn:
        return os << "GN";
    case force_talker_gl:
        return os << "GL";
    case force_talker_in:
        return os << "IN";
    default:
        // GA and GB have no settings text: stored, they become automatic.
        return os << "none";
    }
}

bool operator>>(const std::string& text, force_talker_t& v) {
    if (text == "GP")
        v = force_talker_gp;
    else if (text == "GN")
        v = force_talker_gn;
    else if (text == "GL")
        v = force_talker_gl;
    else if (text == "IN")
        v = force_talker_in;
    else
        v = force_talker_none;
    return true;
}

std::ostream& operator<<(std::ostream& os, dataReportMode_t v) {
    switch (v) {
    case data_report_average:
        return os << "average";
    case data_report_peak:
        return os << "peak";
    default:
        return os << "immediate";
    }
}

bool operator>>(const std::string& text, dataReportMode_t& v) {
    if (text == "average")
        v = data_report_average;
    else if (text == "peak")
        v = data_report_peak;
    else
        v = data_report_immediate;
    return true;
}

std::ostream& operator<<(std::ostream& os, gga_ref_type_t v) {
    return os << (v == gga_ref_qvt ? "qvt" : "nmea");
}

bool operator>>(const std::string& text, gga_ref_type_t& v) {
    v = text == "qvt" ? gga_ref_qvt : gga_ref_nmea;
    return true;
}

std::ostream& operator<<(std::ostream& os, ggaQuality_t v) {
    return os << (v == gga_quality_as_5 ? "5" : "2");
}

bool operator>>(const std::string& text, ggaQuality_t& v) {
    v = text == "5" ? gga_quality_as_5 : gga_quality_as_reported;
    return true;
}

std::ostream& operator<<(std::ostream& os, constellation_t v) {
    return os << static_cast<unsigned int>(v);
}

std::ostream& operator<<(std::ostream& os, rawMsgType_t v) {
    return os << static_cast<unsigned int>(v);
}

std::ostream& operator<<(std::ostream& os, datumType_t v) {
    return os << static_cast<unsigned int>(v);
}

} // namespace tern
