// Encoding single records and fields outside a message class, for golden payload tests.
#pragma once

#include <tern/msg/msg.h>

#include "support/hex.h"

#include <string>
#include <vector>

namespace tern_test {

// The whole frame of `m` (empty when the encoder refuses it).
std::vector<unsigned char> frame_of(const tern::msg_t& m);

// The payload of `m`'s frame as hex ("<no frame>" when the encoder refuses it).
std::string payload_hex(const tern::msg_t& m);

// A frame of any length around `payload`, as a peer could send it (the encoder stops at 1024).
std::vector<unsigned char> raw_frame(unsigned int cat, unsigned int type, unsigned int port,
                                     const std::vector<unsigned char>& payload);

// The payload bytes (as "AA BB ...") that `enc << v` writes.
template <class T>
std::string payload_of(const T& v) {
    tern::msg_encoder_t enc;
    enc.encodeHeader(tern::msg_t(tern::msg_t::category_fb, 1));
    enc << v;
    enc.encodeFinish();
    return to_hex(enc.data() + 7, enc.size() - 10);
}

// Decodes the payload `hex` into `v` with `dec >> v`; false when the payload ran short.
template <class T>
bool decode_into(const std::string& hex, T& v) {
    const auto bytes = from_hex(hex);
    tern::msg_t hdr(tern::msg_t::category_fb, 1);
    tern::msg_encoder_t enc;
    enc.encodeHeader(hdr);
    enc.encodeBlob(bytes.data(), static_cast<unsigned>(bytes.size()));
    enc.encodeFinish();
    tern::msg_decoder_t dec;
    dec.decode_init(enc.data(), enc.size());
    dec.decodeHeader(hdr);
    dec >> v;
    return !dec.is_short();
}

} // namespace tern_test
