#include "support/codec.h"

namespace tern_test {

std::vector<unsigned char> frame_of(const tern::msg_t& m) {
    tern::msg_encoder_t enc;
    enc.encodeMessage(m);
    return std::vector<unsigned char>(enc.data(), enc.data() + enc.size());
}

std::string payload_hex(const tern::msg_t& m) {
    const auto f = frame_of(m);
    return f.size() >= 10 ? to_hex(f.data() + 7, f.size() - 10) : std::string("<no frame>");
}

std::vector<unsigned char> raw_frame(unsigned int cat, unsigned int type, unsigned int port,
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

} // namespace tern_test
