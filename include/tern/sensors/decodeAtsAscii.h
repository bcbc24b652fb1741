// Acoustic tracking messages turned into navigation data about a beacon. The message syntax
// is that of the decode library (<tern/decode/atsAsciiMsg.h>).
#pragma once

#include <list>

namespace tern {

class msg_t;
class atsAsciiMsg_t;

// Appends the data of one parsed tracker message, all stamped with its UTC date and time and
// carrying the beacon identifier as target identifier:
//   - data_pos_target_status_t with the error code text, when the message has one; a code
//     other than 0 ends the message there (no position is taken from a failed fix);
//   - data_pos_offset_vessel_t when both X and Y are present;
//   - data_pos_target_depth_t when the depth is present.
// False, appending nothing, on a checksum error, a missing date, time or beacon identifier,
// or an error code that is not a decimal number; otherwise whether anything was appended.
// The caller owns the messages.
bool decodeAtsAscii(const atsAsciiMsg_t& msg, std::list<msg_t*>& out);

} // namespace tern
