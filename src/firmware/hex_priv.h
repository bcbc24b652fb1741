// Hex digit pairs and line reading shared by the S-record and Intel hex decoders.
#pragma once

#include <cstdio>
#include <cstring>

namespace tern_fw {

// Value of each character as a hex digit of either case; 16 for any other character.
struct hex_table_t {
    unsigned char v[256];
    constexpr hex_table_t() : v() {
        for (int i = 0; i < 256; ++i) v[i] = 16;
        for (int i = 0; i < 10; ++i) v['0' + i] = static_cast<unsigned char>(i);
        for (int i = 0; i < 6; ++i) {
            v['a' + i] = static_cast<unsigned char>(10 + i);
            v['A' + i] = static_cast<unsigned char>(10 + i);
        }
    }
};
inline constexpr hex_table_t hex_table{};

// Two hex digits at p to a byte; false when either is not a hex digit.
inline bool hex_byte(const char* p, unsigned& out) {
    const unsigned hi = hex_table.v[static_cast<unsigned char>(p[0])];
    const unsigned lo = hex_table.v[static_cast<unsigned char>(p[1])];
    out = hi << 4 | lo;
    return (hi | lo) < 16;
}

// Reads one line of at most size - 1 characters into buf (terminated) and returns its length,
// 0 at the end of the stream or on a read error. A line longer than the buffer comes back in
// pieces, as fgets gives it.
inline size_t read_line(FILE* f, char* buf, int size) {
    if (!fgets(buf, size, f)) return 0;
    return strlen(buf);
}

} // namespace tern_fw
