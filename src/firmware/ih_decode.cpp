#include <tern/firmware/ih_decode.h>

#include "firmware/hex_priv.h"
#include "firmware/open_priv.h"

#include <cerrno>
#include <cstring>
#include <locale>
#include <sstream>

using tern_fw::hex_byte;

class ih_decode_t::reader_t : public tern_fw::line_reader_t<ih_decode_t::line_size> {};

ih_decode_t::ih_decode_t() : reader_(std::make_unique<reader_t>()) {}

ih_decode_t::~ih_decode_t() {
    close();
}

void ih_decode_t::close() {
    if (file_) fclose(file_);
    file_ = nullptr;
    eof_ = false;
}

bool ih_decode_t::fail_line(const char* what) {
    err_ = "line " + std::to_string(line_num_) + ": " + what;
    return false;
}

bool ih_decode_t::scan(const std::string& path) {
    close();
    total_len_ = min_addr_ = max_addr_ = 0;
    std::string why;
    file_ = tern_fw::open_file(path, why);
    if (!file_) {
        err_ = "failed to open file: " + why;
        return false;
    }
    eof_ = false;
    line_num_ = 0;
    base_ = 0;
    delivered_ = 0;
    uint32_t lo = UINT32_MAX, hi = 0, total = 0;
    uint32_t addr;
    unsigned len;
    unsigned char data[255];
    while (get_data_rec(addr, len, data)) {
        // An empty data record holds no byte, so it moves neither end of the range.
        if (len == 0) continue;
        if (addr < lo) lo = addr;
        const uint32_t end = addr + (len - 1);
        if (end > hi) hi = end;
        total += len;
    }
    if (!eof_) {
        close();
        return false;
    }
    if (total) {
        min_addr_ = lo;
        max_addr_ = hi;
    }
    total_len_ = total;
    if (!rewind()) {
        close();
        return false;
    }
    err_.clear();
    return true;
}

bool ih_decode_t::rewind() {
    if (!file_) {
        err_ = "not initialized";
        return false;
    }
    if (fseek(file_, 0, SEEK_SET) != 0) {
        err_ = std::string("failed to seek to start of file: ") + strerror(errno);
        return false;
    }
    clearerr(file_);
    eof_ = false;
    delivered_ = 0;
    base_ = 0;
    line_num_ = 0;
    return true;
}

bool ih_decode_t::get_data_rec(uint32_t& addr, unsigned& len, unsigned char* data) {
    if (!file_) {
        err_ = "not initialized";
        return false;
    }
    if (eof_) return false;
    for (;;) {
        bool too_long = false;
        const size_t n = reader_->read(file_, too_long);
        if (n == 0) {
            err_ = "missing end-of-file record";
            return false;
        }
        ++line_num_;
        const char* s = reader_->data();
        if (too_long) return fail_line("line longer than any record");
        // Eleven characters of record and the line end: LF, or CR LF.
        const size_t eol = n >= 2 && s[n - 2] == '\r' && s[n - 1] == '\n' ? 2 : 1;
        if (n < 11 + eol) return fail_line("invalid line length");
        if (s[n - 1] != '\n') return fail_line("missing line terminator");
        if (s[0] != ':') return fail_line("missing colon at start of line");
        unsigned type, ahi, alo, count;
        if (!hex_byte(s + 7, type)) return fail_line("failed to interpret record type");
        if (!hex_byte(s + 3, ahi) || !hex_byte(s + 5, alo))
            return fail_line("failed to interpret base address");
        if (!hex_byte(s + 1, count)) return fail_line("failed to interpret record length");
        unsigned sum = type + ahi + alo + count;
        size_t pos = 9;
        for (unsigned i = 0; i < count; ++i, pos += 2) {
            unsigned b;
            if (pos + 2 > n || !hex_byte(s + pos, b))
                return fail_line("failed to interpret data byte");
            data[i] = static_cast<unsigned char>(b);
            sum += b;
        }
        unsigned check;
        if (pos + 2 > n || !hex_byte(s + pos, check))
            return fail_line("failed to interpret checksum");
        if (((sum + check) & 0xFF) != 0) return fail_line("checksum did not match");
        if (!tern_fw::only_blanks(s + pos + 2, s + n - 1))
            return fail_line("unexpected characters after checksum");
        switch (type) {
        case 0:
            // An address past the top of memory does not wrap to its bottom.
            if (uint64_t(base_) + (ahi << 8 | alo) + count > uint64_t(1) << 32)
                return fail_line("data runs past 0xFFFFFFFF");
            addr = (ahi << 8 | alo) + base_;
            len = count;
            delivered_ += count;
            return true;
        case 1:
            eof_ = true;
            return false;
        case 2:
        case 4:
            if (count != 2) return fail_line("invalid record length");
            base_ =
                type == 2 ? (data[0] << 8 | data[1]) << 4 : uint32_t(data[0]) << 24 | data[1] << 16;
            break;
        default:
            err_ = "invalid record type";
            return false;
        }
    }
}

void ih_decode_t::dump(std::ostream& os) const {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << "Min addr: " << min_addr_ << "\nMax addr: " << max_addr_ << "\nTotal len: " << total_len_
      << '\n';
    os << s.str();
}
