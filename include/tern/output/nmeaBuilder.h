// Base of the NMEA-0183 sentence builders, and the field formatters they share.
//
// Every sentence is framed the same way:
//
//   $<talker><id>,<field>,<field>,...,<field>*HH<CR><LF>
//
// where HH is the exclusive-or of every byte between "$" and "*" as two upper-case
// hexadecimal digits. An empty field is nothing between its commas; the number of commas of
// a sentence never changes. Numbers are written in the classic locale, whatever the locale of
// the process; a value that is NaN or infinite is written as an empty field.
#pragma once

#include <tern/decode/dateTime.h>
#include <tern/output/messageBuilder.h>

#include <iosfwd>
#include <string>

namespace tern {

class data_fix_mode_t;
class data_pr_stats_t;
class data_sat_track_t;
class data_sat_use_t;

// The talker of a forced talker: "GP", "GN", "GL", "GA", "GB", "IN"; "" for none or unknown.
std::string forceTalkerString(force_talker_t talker);

// Constellation bits of satellite numbers: 1 to 64 GPS (1), 65 to 96 GLONASS (2), 174 to 209
// Galileo (4), 139 to 173 BeiDou (8); other numbers give 0.
unsigned int satConstellationBit(unsigned int sat);
// The talker of a set of constellation bits: "GN" for more than one, "GL", "GA", "GB" for
// one of those, else "GP".
std::string talkerFromConstellationBits(unsigned int bits);

class nmeaBuilder_t : public messageBuilder_t {
public:
    explicit nmeaBuilder_t(rawMsgType_t type) : messageBuilder_t(type) {}

    nmeaVersion_t nmeaVersion() const { return version_; }
    void setNmeaVersion(nmeaVersion_t v) { version_ = v; }
    bool strict() const { return strict_; }
    void setStrict(bool on) { strict_ = on; }
    force_talker_t forceTalker() const { return force_talker_; }
    void setForceTalker(force_talker_t t) { force_talker_ = t; }

    // Takes nmea_version, strict_nmea and force_talker.
    void setConfig(const output_cfg_t& cfg) override;
    // "*HH" CR LF after a non-empty text.
    void addChecksum(const char* text, unsigned int len, std::ostream& os) override;

    // Each gives the forced talker when there is one, else:
    // - from the satellite numbers of one satellite-use message;
    std::string talkerString(const data_sat_use_t& use) const;
    // - from every satellite-use message of the cache stamped within 2.0 s before the latest
    //   one (none: "GP");
    std::string talkerString(const outputDataCache_t& cache) const;
    // - by constellation: "GP", "GL", "GA", "GB", else "";
    std::string talkerString(const data_sat_track_t& track) const;
    // - "GN" for combined statistics, else by constellation as for tracking.
    std::string talkerString(const data_pr_stats_t& stats) const;

    // The GGA quality number of a fix mode. NMEA 2.1 knows 0 to 3 only: RTK fixed and float
    // become 2 (differential), other values above 3 become 0.
    unsigned int ggaFixMode(const data_fix_mode_t& mode) const;

private:
    nmeaVersion_t version_ = nmea_version_3_01;
    bool strict_ = false;
    force_talker_t force_talker_ = force_talker_none;
};

// hhmmss.ss of a UTC time stamp. The stamp is rounded to hundredths once, so 23:59:59.996
// is written 000000.00 (and dates taken from the same rounded stamp move to the next day).
class nmeaTimestamp_t {
public:
    explicit nmeaTimestamp_t(double utc);
    explicit nmeaTimestamp_t(const dateTime_t& dt);

    // False for a stamp that is not finite or outside the years 0 to 9999: nothing is written.
    bool valid() const { return valid_; }
    int hour() const { return hour_; }
    int minute() const { return minute_; }
    int centiseconds() const { return centis_; } // of the minute, 0 to 5999
    int year() const { return year_; }
    int month() const { return month_; }
    int day() const { return day_; }

private:
    nmeaTimestamp_t() = default;
    void set(double utc);
    bool valid_ = false;
    int hour_ = 0, minute_ = 0, centis_ = 0;
    int year_ = 0, month_ = 0, day_ = 0;
};
std::ostream& operator<<(std::ostream& os, const nmeaTimestamp_t& t);

// ddmm.mmmmmm,N (strict: ddmm.mmmmm with 0.000005 added to the minutes). Minutes that round
// up to 60 carry into the degrees. Not finite: the empty pair ",".
class nmeaLatitude_t {
public:
    nmeaLatitude_t(double radians, bool strict) : rad_(radians), strict_(strict) {}
    double rad_;
    bool strict_;
};
std::ostream& operator<<(std::ostream& os, const nmeaLatitude_t& v);

// dddmm.mmmmmm,E as the latitude, with three degree digits and E or W.
class nmeaLongitude_t {
public:
    nmeaLongitude_t(double radians, bool strict) : rad_(radians), strict_(strict) {}
    double rad_;
    bool strict_;
};
std::ostream& operator<<(std::ostream& os, const nmeaLongitude_t& v);

// Metres, 2 decimals when strict, else 3.
class nmeaHeight_t {
public:
    nmeaHeight_t(double metres, bool strict) : m_(metres), strict_(strict) {}
    double m_;
    bool strict_;
};
std::ostream& operator<<(std::ostream& os, const nmeaHeight_t& v);

// An angle in radians as degrees in [0, 360), 1 decimal when strict, else 3; a value that
// rounds to 360 is written as 0. Nothing for NaN.
class nmeaHeading_t {
public:
    nmeaHeading_t(double radians, bool strict) : rad_(radians), strict_(strict) {}
    double rad_;
    bool strict_;
};
std::ostream& operator<<(std::ostream& os, const nmeaHeading_t& v);

// "*HH" CR LF.
class nmeaTail_t {
public:
    explicit nmeaTail_t(unsigned char checksum) : sum_(checksum) {}
    unsigned char sum_;
};
std::ostream& operator<<(std::ostream& os, const nmeaTail_t& v);

// Exclusive-or of the bytes of `text`, skipping a leading "$" and stopping before the first
// "*" or CR or after `len` bytes; 0 for len 0.
unsigned char nmea_checksum(const char* text, unsigned int len);
// Appends the tail ("*HH" CR LF) to a sentence (nothing to an empty one); returns the sum.
unsigned char nmea_checksum(std::string& sentence);

// Text of a GGA differential type code: "--", "UNK", "EST", "MAN", "SIM", "None", "DGPS",
// "PPS", "RTK-F", "RTK-I" for 0 to 9, else "Unknown".
std::string diffTypeGGAToString(unsigned int code);

} // namespace tern
