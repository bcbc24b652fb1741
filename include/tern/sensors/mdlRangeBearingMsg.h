// Fanbeam range/bearing message from a laser range/bearing sensor: fixed character columns,
// counted from 0. The characters between the fields are not examined.
//
//   TT RRRRRRR BBBBBB CC
//   0         1
//   01234567890123456789
//
//   col  0-1    TT       target number, decimal
//   col  3-9    RRRRRRR  range, decimal number as the sensor writes it (no unit conversion)
//   col 11-16   BBBBBB   bearing in degrees, decimal number
//   col 18-19   CC       optional checksum: two hexadecimal digits, the exclusive-or of the
//                        bytes in columns 0 to 17
//
// A message shorter than 17 characters is invalid; one with a checksum that does not match
// is invalid. A number field counts only when its conversion takes every one of its
// characters (leading blanks allowed, trailing ones not) and gives a finite value; its sign,
// when written, is one character, '+' or '-' ("+-123.4" is no number).
#pragma once

#include <list>
#include <memory>

namespace tern {

class msg_t;

// One parsed range/bearing message.
class mdlRangeBearingMsg_t {
public:
    // An invalid message with nothing present.
    mdlRangeBearingMsg_t();
    mdlRangeBearingMsg_t(const char* data, unsigned len);
    mdlRangeBearingMsg_t(const mdlRangeBearingMsg_t& o);
    mdlRangeBearingMsg_t& operator=(const mdlRangeBearingMsg_t& o);
    ~mdlRangeBearingMsg_t();

    // Parses `len` bytes of `data` (a null `data` is no bytes); reads nothing beyond them.
    void init(const char* data, unsigned len);

    bool isFormatValid() const;
    // Each false, leaving the argument untouched, when its field is absent.
    bool targetNumber(unsigned& number) const;
    bool range(double& range) const;
    bool bearing(double& radians) const;

private:
    struct priv_t;
    std::unique_ptr<priv_t> priv_;
};

// Appends the reading of a valid message, stamped with `time`, as a data_range_bearing_t:
// target identifier the target number in decimal (empty when absent), the range as the sensor
// gives it and the bearing in radians, both at full precision. Nothing when the format is not
// valid or the range or the bearing is absent. Returns whether a message was appended; the
// caller owns it.
bool rangeBearingDataMsg(const mdlRangeBearingMsg_t& msg, double time, std::list<msg_t*>& out);

} // namespace tern
