// Plain references that the benchmarks measure the library against in the same run.
#pragma once

#include <cstdint>

namespace bench_ref {

// The textbook CRC-16/CCITT: one 256-entry table, one byte per step.
struct crc_table_t {
    std::uint16_t t[256];
    constexpr crc_table_t() : t{} {
        for (unsigned b = 0; b < 256; ++b) {
            unsigned crc = b << 8;
            for (int i = 0; i < 8; ++i) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
            t[b] = static_cast<std::uint16_t>(crc);
        }
    }
};

inline std::uint16_t crc_bytewise(const unsigned char* data, unsigned len) {
    static constexpr crc_table_t table;
    unsigned crc = 0xFFFF;
    while (len--) crc = (table.t[(crc >> 8) ^ *data++] ^ (crc << 8)) & 0xFFFF;
    return static_cast<std::uint16_t>(crc);
}

} // namespace bench_ref
