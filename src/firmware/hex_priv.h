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

// After the checksum of a record only blanks and a carriage return may stand before the line
// end; anything else (a second record whose line feed was lost, most often) is refused.
inline bool only_blanks(const char* p, const char* end) {
    for (; p < end; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\r') return false;
    return true;
}

// One line of a text file at a time, its line end included: the bytes up to the line feed,
// whatever they are. A NUL in a line is one more character of it, never its end, so a decoder
// sees it and refuses the line.
template <size_t N>
class line_reader_t {
public:
    // Reads the next line of at most N - 1 characters; its length, 0 at the end of the stream
    // or on a read error. A longer line sets `too_long` and is read to its line end, so the
    // next call starts on the line after it.
    size_t read(FILE* f, bool& too_long) {
        too_long = false;
        // fgets ends what it stored with a NUL; with no other NUL left in the buffer that is
        // the last one, wherever NULs of the line itself stand.
        std::memset(buf_, 0xFF, dirty_);
        dirty_ = N;
        if (!fgets(buf_, static_cast<int>(N), f)) return 0;
        size_t len = strlen(buf_);
        if (len == 0 || buf_[len - 1] != '\n')
            len = static_cast<size_t>(static_cast<const char*>(memrchr(buf_, 0, N)) - buf_);
        dirty_ = len + 1;
        if (len == N - 1 && buf_[len - 1] != '\n') {
            too_long = true;
            int c;
            while ((c = getc(f)) != EOF && c != '\n') {
            }
        }
        return len;
    }
    const char* data() const { return buf_; }

private:
    char buf_[N] = {};
    size_t dirty_ = N; // bytes fgets may have written since the buffer was last cleared
};

} // namespace tern_fw
