// Builders of firmware test files, written independently of the decoders under test.
#pragma once

#include "support/process.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace fw_test {

using bytes_t = std::vector<unsigned char>;

inline bytes_t random_bytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    bytes_t v(n);
    for (auto& b : v) b = static_cast<unsigned char>(gen());
    return v;
}

inline std::string as_string(const bytes_t& v) {
    return std::string(v.begin(), v.end());
}

// One S-record line: type, address of `addr_len` bytes, data, checksum and "\n".
inline std::string srec_line(unsigned type, uint32_t addr, unsigned addr_len, const bytes_t& data) {
    bytes_t body;
    for (unsigned i = addr_len; i-- > 0;)
        body.push_back(static_cast<unsigned char>(addr >> (8 * i)));
    body.insert(body.end(), data.begin(), data.end());
    unsigned sum = static_cast<unsigned>(body.size() + 1);
    char buf[8];
    std::snprintf(buf, sizeof buf, "S%u%02X", type, static_cast<unsigned>(body.size() + 1));
    std::string line = buf;
    for (unsigned char b : body) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        line += buf;
        sum += b;
    }
    std::snprintf(buf, sizeof buf, "%02X\n", ~sum & 0xFF);
    return line + buf;
}

// The hex digests a checksum program (sha256sum, md5sum) prints for `paths`, in their order.
inline std::vector<std::string> digests_of(const std::string& program,
                                           const std::vector<std::string>& paths) {
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), paths.begin(), paths.end());
    std::istringstream out(tern_test::run_program(argv).out);
    std::vector<std::string> sums;
    for (std::string line; std::getline(out, line);) sums.push_back(line.substr(0, line.find(' ')));
    return sums;
}

} // namespace fw_test
