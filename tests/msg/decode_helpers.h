// Decoding whole frames into held messages, shared by the msg tests.
#pragma once

#include <tern/msg/msg.h>

#include "support/codec.h"
#include "support/hex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tern_test {

// Loads the frame `f` into `dec`, which must take all of it as one valid frame.
inline void load(tern::msg_decoder_t& dec, const std::vector<unsigned char>& f) {
    ASSERT_EQ(dec.decode_init(f.data(), static_cast<unsigned>(f.size())), f.size());
    ASSERT_TRUE(dec.is_valid());
}

// Decodes the frame `f` into `m`, which keeps whatever the frame does not set. Returns the
// payload bytes left unread, or -1 when the payload ran short.
inline int decode_frame(const std::vector<unsigned char>& f, tern::msg_t& m) {
    tern::msg_decoder_t dec;
    load(dec, f);
    dec.decodeMessage(m);
    return dec.is_short() ? -1 : static_cast<int>(dec.remaining());
}

// The same for a payload given as hex, framed with m's own category and type.
inline int decode_payload(const std::string& hex, tern::msg_t& m) {
    return decode_frame(raw_frame(m.category, m.type, 1, from_hex(hex)), m);
}

} // namespace tern_test
