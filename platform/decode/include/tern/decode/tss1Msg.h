// TSS1 motion record: parsing and building.
//
// The record is 25 characters in fixed columns, then CR LF (27 bytes in all):
//
//   :XXAAAA SHHHHQSRRRR SPPPP<CR><LF>
//   0         1         2
//   0123456789012345678901234
//
//   col  0      ':'
//   col  1-2    XX    horizontal acceleration, 2 hexadecimal digits, unsigned, 3.83 cm/s²
//   col  3-6    AAAA  vertical acceleration, 4 hexadecimal digits, 16-bit two's complement,
//                     0.0625 cm/s²
//   col  7      ' '
//   col  8-12   SHHHH heave: sign and 4 decimal digits, centimetres, positive up
//   col 13      Q     status letter: u U g G h H f F (status_t values 0 to 7 in order)
//   col 14-18   SRRRR roll: sign and 4 decimal digits, hundredths of a degree
//   col 19      ' '
//   col 20-24   SPPPP pitch: sign and 4 decimal digits, hundredths of a degree
//
// The sign is ' ' for zero and positive values, '-' for negative ones (a parsed record may
// also use '+'). Hexadecimal digits are written upper case and read in either case.
//
// Units on this side of the format are those of the navigation data: roll and pitch in
// radians, heave in metres (positive up), accelerations in m/s². Signs pass through unchanged.
//
// An absent quantity (not set, NaN, or a status outside the eight values) is written as
// blanks over its whole field, sign included, and a parsed field made only of blanks is
// absent. Values beyond a field's width are clamped to the largest value it holds: ±99.99°,
// ±99.99 m, 0 to 255 × 3.83 cm/s² (a negative horizontal acceleration becomes 0), and
// -32768 to 32767 × 0.0625 cm/s².
#pragma once

#include <cstddef>
#include <string>

namespace tern {

// One parsed TSS1 record.
class tss1Msg_t {
public:
    // Sensor status, in the order of the record's status letters u U g G h H f F: lower case
    // while the solution settles, upper case once it is settled.
    enum status_t : unsigned char {
        status_unaided_settling = 0,       // 'u'
        status_unaided = 1,                // 'U'
        status_gps_aided_settling = 2,     // 'g'
        status_gps_aided = 3,              // 'G'
        status_heading_aided_settling = 4, // 'h'
        status_heading_aided = 5,          // 'H'
        status_full_aided_settling = 6,    // 'f'
        status_full_aided = 7,             // 'F'
    };

    // Presence bits, shared with tss1MsgBuilder_t.
    enum : unsigned char {
        roll_present = 1u << 0,
        pitch_present = 1u << 1,
        heave_present = 1u << 2,
        horizontal_acceleration_present = 1u << 3,
        vertical_acceleration_present = 1u << 4,
        status_present = 1u << 5,
    };

    // An invalid record with nothing present.
    tss1Msg_t() = default;
    tss1Msg_t(const char* data, unsigned int length) { init(data, length); }

    // Parses one record: exactly the 25 columns, optionally followed by CR LF, a lone LF or a
    // lone CR. Anything else (another length, a wrong separator, a character that does not
    // belong in its field, a half-blank field) makes the whole record invalid.
    void init(const char* data, unsigned int length);

    bool isValid() const { return valid_; }
    // The presence bits of the quantities found (0 when the record is invalid).
    unsigned char presenceMask() const { return valid_ ? mask_ : 0; }

    // Each returns false, leaving `value` unchanged, when the record is invalid or the
    // quantity is absent. Units as in the header comment.
    bool getRoll(double& value) const { return get(roll_present, roll_, value); }
    bool getPitch(double& value) const { return get(pitch_present, pitch_, value); }
    bool getHeave(double& value) const { return get(heave_present, heave_, value); }
    bool getHorizontalAcceleration(double& value) const {
        return get(horizontal_acceleration_present, horizontalAcceleration_, value);
    }
    bool getVerticalAcceleration(double& value) const {
        return get(vertical_acceleration_present, verticalAcceleration_, value);
    }
    bool getStatus(status_t& value) const;

    // The status letter of a status value, or ' ' for a value outside the eight.
    static char statusLetter(status_t status);

private:
    bool get(unsigned char bit, double held, double& value) const {
        if (!valid_ || (mask_ & bit) == 0) return false;
        value = held;
        return true;
    }

    bool valid_ = false;
    unsigned char mask_ = 0;
    status_t status_ = status_unaided_settling;
    double roll_ = 0.0;
    double pitch_ = 0.0;
    double heave_ = 0.0;
    double horizontalAcceleration_ = 0.0;
    double verticalAcceleration_ = 0.0;
};

// Assembles a TSS1 record from values; each setter marks its quantity present.
class tss1MsgBuilder_t {
public:
    // Bytes of a built record, CR LF included.
    static constexpr std::size_t record_size = 27;

    void setRoll(double radians) { set(tss1Msg_t::roll_present, roll_, radians); }
    void setPitch(double radians) { set(tss1Msg_t::pitch_present, pitch_, radians); }
    void setHeave(double metres) { set(tss1Msg_t::heave_present, heave_, metres); }
    void setHorizontalAcceleration(double metresPerSecond2) {
        set(tss1Msg_t::horizontal_acceleration_present, horizontalAcceleration_, metresPerSecond2);
    }
    void setVerticalAcceleration(double metresPerSecond2) {
        set(tss1Msg_t::vertical_acceleration_present, verticalAcceleration_, metresPerSecond2);
    }
    void setStatus(tss1Msg_t::status_t status) {
        status_ = status;
        mask_ = static_cast<unsigned char>(mask_ | tss1Msg_t::status_present);
    }

    // Bit 0 roll, 1 pitch, 2 heave, 3 horizontal and 4 vertical acceleration, 5 status.
    unsigned char presenceMask() const { return mask_; }

    // The complete record, CR LF included (always 27 bytes).
    std::string build() const;
    // The same into `out` (record_size bytes at least), with no allocation; returns its length.
    std::size_t build(char* out) const;

private:
    void set(unsigned char bit, double& field, double value) {
        field = value;
        mask_ = static_cast<unsigned char>(mask_ | bit);
    }

    unsigned char mask_ = 0;
    tss1Msg_t::status_t status_ = tss1Msg_t::status_unaided_settling;
    double roll_ = 0.0;
    double pitch_ = 0.0;
    double heave_ = 0.0;
    double horizontalAcceleration_ = 0.0;
    double verticalAcceleration_ = 0.0;
};

} // namespace tern
