// Acoustic tracker ASCII message: one beacon fix per line, in NMEA style.
//
//   $ATS,yyyymmdd,hhmmss.sss,id,x,y,depth,code*HH<CR><LF>
//
//   yyyymmdd    UTC date, 8 digits; the month and day must exist in that year
//   hhmmss.sss  UTC time, 6 digits, then optionally "." and one or more fraction digits;
//               hour 0-23, minute 0-59, second 0-60 (a leap second is allowed)
//   id          beacon identifier, any printable text without "," or "*"
//   x, y        beacon offsets in the vessel frame, metres: an optional sign, digits, and
//               optionally "." and more digits (no exponent, no nan or inf)
//   depth       beacon depth, metres, same number form
//   code        the tracker's error code text ("0" when the fix is good), printable text
//   HH          checksum: the exclusive-or of every byte between "$" and "*", two
//               hexadecimal digits in either case
//
// Any field may be empty (absent). A line with fewer fields has the missing ones absent; a
// line with more than these seven fields, or one not starting "$ATS,", has none present. The
// line end (CR LF, LF or CR) is optional.
#pragma once

#include <string>
#include <tern/decode/dateTime.h>

namespace tern {

// One acoustic tracker message. The bytes are copied, so the source may go away.
class atsAsciiMsg_t {
public:
    atsAsciiMsg_t() = default;
    // A null `data` is taken as an empty message.
    atsAsciiMsg_t(const char* data, unsigned int length);

    // True unless the message ends in "*HH" (then an optional line end) and HH matches the
    // exclusive-or of the bytes between "$" and "*".
    bool checksumError() const { return checksumError_; }

    // Each returns true, filling its argument, only when the field is present and well
    // formed; otherwise the argument is unchanged. They ignore the checksum.
    bool decodeDate(date_t& date) const;
    bool decodeTimeOfDay(timeOfDay_t& time) const;
    bool decodeBeaconId(std::string& id) const;
    bool decodeErrorCode(std::string& code) const;
    bool decodeBeaconX(double& x) const;
    bool decodeBeaconY(double& y) const;
    bool decodeBeaconDepth(double& depth) const;

private:
    enum field_index_t : unsigned int {
        field_date = 0,
        field_time,
        field_id,
        field_x,
        field_y,
        field_depth,
        field_code,
        field_count
    };

    // The text of a field; false when the message is malformed or the field absent/empty.
    bool field(field_index_t index, std::string& text) const;
    bool decodeNumber(field_index_t index, double& value) const;
    bool decodeText(field_index_t index, std::string& value) const;

    std::string fields_[field_count];
    bool wellFormed_ = false;
    bool checksumError_ = true;
};

} // namespace tern
