// Small vocabularies shared by the sentence builders, the output configuration and the
// messages that carry them: constellations, raw output kinds and their sets, NMEA dialect,
// forced talkers, report modes, datums and the GGA options.
//
// Enumerations travel in messages as one unsigned byte (the codec's generic enumeration
// operators); those with a settings text also have `operator<<` (writes the text) and
// `bool operator>>(const std::string&, E&)` (parses it, as the key/value store expects).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace tern {

class msg_encoder_t;
class msg_decoder_t;

// Satellite systems, in the order of the talkers "GP", "GL", "GA", "GB".
enum constellation_t : unsigned char {
    constellation_gps = 0,
    constellation_glonass = 1,
    constellation_galileo = 2,
    constellation_beidou = 3,
    constellation_none = 4,
};

// Output kinds: one per sentence builder, raw receiver stream, RTCM and TSS1. All below 42.
enum rawMsgType_t : unsigned char {
    raw_dtm = 0,
    raw_gga = 1,
    raw_gll = 2,
    raw_gns = 3,
    raw_gsa = 4,
    raw_gst = 5,
    raw_gsv = 6,
    raw_hdt = 7,
    raw_rmc = 8,
    raw_rot = 9,
    raw_ths = 10,
    raw_ttm = 11,
    raw_vtg = 12,
    raw_zda = 13,
    raw_dpgga = 14,
    raw_pternr_navq = 15,
    raw_pternr_rxq = 16,
    raw_pternr_sats = 17,
    raw_lumo_ephem = 18,
    raw_lumo_meas = 19,
    raw_lumo_pvt = 20,
    raw_vardi_alm = 21,
    raw_vardi_ephem = 22,
    raw_vardi_meas = 23,
    raw_vardi_pvt = 24,
    raw_orsk_alm = 25,
    raw_orsk_ephem = 26,
    raw_orsk_meas = 27,
    raw_orsk_pvt = 28,
    raw_rimba_alm = 29,
    raw_rimba_ephem = 30,
    raw_rimba_meas1 = 31,
    raw_rimba_meas3 = 32,
    raw_rimba_pvt = 33,
    raw_ddktessa_pvt = 34,
    raw_ternquill_pvt = 35,
    raw_rtcm = 36,
    raw_tss1 = 37,
    // First and last of the raw receiver streams that are passed through unchanged.
    raw_receiver_first = raw_lumo_ephem,
    raw_receiver_last = raw_ternquill_pvt,
};

// A set of raw output kinds (42 members). Values of 42 and above are never members: insert
// and remove ignore them and contains reports false.
//
// Codec: bool "all"; when false, a u16 count and that many kinds, one byte each, ascending.
class rawMsgSet_t {
public:
    static constexpr unsigned int capacity = 42;

    // Empty.
    rawMsgSet_t() = default;
    // true: every kind is a member; false: empty.
    explicit rawMsgSet_t(bool all);

    void insert(rawMsgType_t t);
    void remove(rawMsgType_t t);
    bool contains(rawMsgType_t t) const;
    void insertAll();
    void removeAll();
    bool isEmpty() const { return bits_ == 0; }
    bool containsAll() const;
    unsigned int count() const;

    // Members as bits (bit n = kind n); bits 42 to 63 are always clear.
    std::uint64_t bits() const { return bits_; }

    bool operator==(const rawMsgSet_t& o) const { return bits_ == o.bits_; }
    bool operator!=(const rawMsgSet_t& o) const { return bits_ != o.bits_; }

private:
    std::uint64_t bits_ = 0;
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const rawMsgSet_t& set);
// Replaces the set's contents; stops at the end of a short frame; ignores kinds of 42 and up.
msg_decoder_t& operator>>(msg_decoder_t& dec, rawMsgSet_t& set);

// NMEA dialect. Any value above 0 behaves as 3.01.
enum nmeaVersion_t : unsigned char {
    nmea_version_2_1 = 0,  // "2.1"
    nmea_version_3_01 = 1, // "3.01"
};

// Talker forced onto every standard sentence. Text forms exist for none, GP, GN, GL and IN
// only; GA and GB arrive through messages alone.
enum force_talker_t : unsigned char {
    force_talker_none = 0,
    force_talker_gp = 1,
    force_talker_gn = 2,
    force_talker_gl = 3,
    force_talker_ga = 4,
    force_talker_gb = 5,
    force_talker_in = 6,
};

// How a value is reported over its period.
enum dataReportMode_t : unsigned char {
    data_report_immediate = 0, // "immediate"
    data_report_average = 1,   // "average"
    data_report_peak = 2,      // "peak"
};

// Display text: "Immediate", "Average", "Peak", else "Unknown".
std::string toString(dataReportMode_t mode);

// Datums of the DTM sentence; datum_unknown is what an unrecognised code parses to.
enum datumType_t : unsigned char {
    datum_w84 = 0, // "W84"
    datum_w72 = 1, // "W72"
    datum_s85 = 2, // "S85"
    datum_p90 = 3, // "P90"
    datum_999 = 4, // "999", user defined
    datum_unknown = 5,
};

// The NMEA datum code, or "" for a value without one.
std::string datumTypeToNmeaCode(datumType_t datum);
// The datum of an exactly matching code, else datum_unknown.
datumType_t datumTypeFromNmeaCode(const std::string& code);

// Source of the GGA reference station number.
enum gga_ref_type_t : unsigned char {
    gga_ref_qvt = 0,  // "qvt": beam and mode of the extended navigation mode
    gga_ref_nmea = 1, // "nmea": reference id of the differential message
};

// How the GGA quality field reports a correction of type 2.
enum ggaQuality_t : unsigned char {
    gga_quality_as_reported = 1, // "2"
    gga_quality_as_5 = 2,        // "5"
};

// Settings texts. Writers give every value a text that reads back to a defined value;
// readers map unknown texts to the documented fallback.
std::ostream& operator<<(std::ostream& os, nmeaVersion_t v);
bool operator>>(const std::string& text, nmeaVersion_t& v); // "2.1" -> 0, else 1
std::ostream& operator<<(std::ostream& os, force_talker_t v);
bool operator>>(const std::string& text, force_talker_t& v); // unknown -> none
std::ostream& operator<<(std::ostream& os, dataReportMode_t v);
bool operator>>(const std::string& text, dataReportMode_t& v); // unknown -> immediate
std::ostream& operator<<(std::ostream& os, gga_ref_type_t v);
bool operator>>(const std::string& text, gga_ref_type_t& v); // "qvt" -> 0, else 1
std::ostream& operator<<(std::ostream& os, ggaQuality_t v);
bool operator>>(const std::string& text, ggaQuality_t& v); // "5" -> 2, else 1

// These have no settings text: they print as numbers (never as a raw byte).
std::ostream& operator<<(std::ostream& os, constellation_t v);
std::ostream& operator<<(std::ostream& os, rawMsgType_t v);
std::ostream& operator<<(std::ostream& os, datumType_t v);

} // namespace tern
