#include "support/hex.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace tern_test {

std::vector<unsigned char> from_hex(const std::string& hex) {
    std::vector<unsigned char> out;
    int hi = -1;
    for (char c : hex) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        const int v = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        if (v < 0 || v > 15) throw std::invalid_argument("bad hex digit in test vector");
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

std::string to_hex(const unsigned char* data, std::size_t len) {
    std::string out;
    char b[4];
    for (std::size_t i = 0; i < len; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", data[i]);
        out += b;
    }
    return out;
}

} // namespace tern_test
