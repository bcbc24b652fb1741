// Builders of firmware test files, written independently of the decoders under test.
#pragma once

#include "support/process.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <ostream>
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

// One case of a table in tests/cases/firmware: its name and its other fields.
struct case_t {
    std::string name;
    std::vector<std::string> fields;
};

// Only the name in test listings and failure messages; the fields may hold any byte.
inline void PrintTo(const case_t& c, std::ostream* os) {
    *os << c.name;
}

// The bytes a field stands for: \n, \r, \t, \0, \\ and \xHH are escapes, the rest is literal.
inline std::string unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        if (c == 'x' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == '0' ? '\0' : c;
        }
    }
    return out;
}

// The cases of tests/cases/firmware/`file`: one a line, its fields separated by " | " and
// trimmed, the first its name; blank lines and lines starting with "#" are left out.
inline std::vector<case_t> read_cases(const std::string& file) {
    std::ifstream in(std::string(TERN_TEST_DATA_DIR) + "/../cases/firmware/" + file);
    std::vector<case_t> cases;
    auto trim = [](const std::string& f) {
        const size_t a = f.find_first_not_of(' '), b = f.find_last_not_of(' ');
        return a == std::string::npos ? std::string() : f.substr(a, b - a + 1);
    };
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        case_t c;
        size_t at = 0;
        for (size_t bar; (bar = line.find(" | ", at)) != std::string::npos; at = bar + 3)
            c.fields.push_back(unescape(trim(line.substr(at, bar - at))));
        c.fields.push_back(unescape(trim(line.substr(at))));
        c.name = c.fields.front();
        c.fields.erase(c.fields.begin());
        cases.push_back(c);
    }
    return cases;
}

// CRC-16, polynomial 0x1021, bit by bit.
inline unsigned short crc_ccitt(unsigned short crc, const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        crc = static_cast<unsigned short>(crc ^ (p[i] << 8));
        for (int k = 0; k < 8; ++k)
            crc = static_cast<unsigned short>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

// Runs srec_cat on a binary image placed at `offset`, writing `out` in `format` with extra
// options; true when it worked.
inline bool srec_cat(const std::string& bin, uint32_t offset, const std::string& out,
                     const std::vector<std::string>& format) {
    std::vector<std::string> argv = {"/usr/bin/srec_cat",    bin,  "-binary", "-offset",
                                     std::to_string(offset), "-o", out};
    argv.insert(argv.end(), format.begin(), format.end());
    return tern_test::run_program(argv).status == 0;
}

// The first hex digest word of a checksum program's output over a file.
inline std::string digest_of(const std::string& program, const std::string& path) {
    const auto r = tern_test::run_program({program, path});
    return r.out.substr(0, r.out.find(' '));
}

// Every byte of `image` at `offset` upwards, and nothing else.
inline void expect_image_at(const std::map<uint32_t, unsigned char>& mem, uint32_t offset,
                            const bytes_t& image) {
    ASSERT_EQ(mem.size(), image.size());
    size_t i = 0;
    for (const auto& kv : mem) {
        ASSERT_EQ(kv.first, offset + i);
        ASSERT_EQ(kv.second, image[i]) << "at " << kv.first;
        ++i;
    }
}

} // namespace fw_test
