// Hex text for golden byte vectors in tests.
#pragma once

#include <glib.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace tern_test {

// "02 04 00" (blanks optional) to bytes.
inline std::vector<unsigned char> from_hex(const std::string& hex) {
    std::vector<unsigned char> out;
    int hi = -1;
    for (char c : hex) {
        if (g_ascii_isspace(c)) continue;
        const int v = g_ascii_xdigit_value(c);
        if (v < 0) throw std::invalid_argument("bad hex digit in test vector");
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(static_cast<unsigned char>(hi * 16 + v));
            hi = -1;
        }
    }
    if (hi >= 0) throw std::invalid_argument("odd number of hex digits in test vector");
    return out;
}

// Bytes to "02 04 00".
inline std::string to_hex(const unsigned char* data, std::size_t len) {
    std::string out;
    char b[4];
    for (std::size_t i = 0; i < len; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", data[i]);
        out += b;
    }
    return out;
}
inline std::string to_hex(const std::vector<unsigned char>& v) {
    return to_hex(v.data(), v.size());
}

} // namespace tern_test
