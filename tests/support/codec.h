// Encoding single records and fields outside a message class, for golden payload tests.
#pragma once

#include <tern/msg/msg.h>

#include "support/hex.h"

#include <string>
#include <vector>

namespace tern_test {

// The whole frame of `m` (empty when the encoder refuses it).
inline std::vector<unsigned char> frame_of(const tern::msg_t& m) {
    tern::msg_encoder_t enc;
    enc.encodeMessage(m);
    return std::vector<unsigned char>(enc.data(), enc.data() + enc.size());
}

// The payload of `m`'s frame as hex ("<no frame>" when the encoder refuses it).
inline std::string payload_hex(const tern::msg_t& m) {
    const auto f = frame_of(m);
    return f.size() >= 10 ? to_hex(f.data() + 7, f.size() - 10) : std::string("<no frame>");
}

// A frame of any length around `payload`, as a peer could send it (the encoder stops at 1024).
inline std::vector<unsigned char> raw_frame(unsigned int cat, unsigned int type, unsigned int port,
                                            const std::vector<unsigned char>& payload) {
    const auto len = static_cast<unsigned int>(payload.size() + 4);
    std::vector<unsigned char> f = {tern::STX,
                                    static_cast<unsigned char>(len & 0xFF),
                                    static_cast<unsigned char>(len >> 8),
                                    static_cast<unsigned char>(type & 0xFF),
                                    static_cast<unsigned char>((type >> 8) & 0xFF),
                                    static_cast<unsigned char>(port),
                                    static_cast<unsigned char>(cat)};
    f.reserve(f.size() + payload.size() + 3);
    for (unsigned char b : payload) f.push_back(b); // insert() trips a false -Wstringop-overread
    const unsigned short crc = tern::calc_checksum(f.data() + 3, len);
    f.push_back(static_cast<unsigned char>(crc & 0xFF));
    f.push_back(static_cast<unsigned char>(crc >> 8));
    f.push_back(tern::ETX);
    return f;
}

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
    const auto frame = raw_frame(tern::msg_t::category_fb, 1, 0xFF, from_hex(hex));
    tern::msg_t hdr(tern::msg_t::category_fb, 1);
    tern::msg_decoder_t dec;
    dec.decode_init(frame.data(), static_cast<unsigned>(frame.size()));
    dec.decodeHeader(hdr);
    dec >> v;
    return !dec.is_short();
}

} // namespace tern_test
