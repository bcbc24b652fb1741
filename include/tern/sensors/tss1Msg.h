// TSS1 motion records from a motion sensor, turned into navigation data. The record's layout
// is that of the decode library (<tern/decode/tss1Msg.h>).
#pragma once

#include <list>

namespace tern {

class msg_t;

// Parses one TSS1 record (`len` bytes, line end optional) and appends, each stamped with
// `time`: data_roll_t, data_pitch_t and data_heave_t for the quantities present, in that
// order, then data_motion_t when the status and both accelerations are present. The heave is
// the record's: positive up (EM attitude frames give it positive down). Returns whether
// anything was appended; the caller owns the messages.
bool decodeTss(const char* data, unsigned len, double time, std::list<msg_t*>& out);

} // namespace tern
