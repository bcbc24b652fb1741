#include <tern/firmware/srec_decode.h>

#include "firmware/hex_priv.h"

#include <glib.h>

#include <algorithm>
#include <cstring>
#include <vector>

using tern_fw::hex_byte;

class srec_priv_t {
public:
    unsigned type = 255;
    unsigned count = 0;
    std::vector<unsigned char> buf; // grows to the longest record seen, never shrinks

    unsigned byte(unsigned i) const { return i < count ? buf[i] : 0u; }
};

srec_t::srec_t() : priv_(std::make_unique<srec_priv_t>()) {}
srec_t::srec_t(const srec_t& other) : priv_(std::make_unique<srec_priv_t>(*other.priv_)) {}
srec_t& srec_t::operator=(const srec_t& other) {
    *priv_ = *other.priv_;
    return *this;
}
srec_t::~srec_t() = default;

unsigned srec_t::type() const {
    return priv_->type;
}
unsigned srec_t::len() const {
    return priv_->count;
}
const unsigned char* srec_t::all_data() const {
    return priv_->buf.data();
}
unsigned char srec_t::checksum() const {
    return priv_->count ? priv_->buf[priv_->count - 1] : static_cast<unsigned char>(0);
}
uint32_t srec_t::addr16() const {
    return priv_->byte(0) << 8 | priv_->byte(1);
}
uint32_t srec_t::addr24() const {
    return addr16() << 8 | priv_->byte(2);
}
uint32_t srec_t::addr32() const {
    return addr24() << 8 | priv_->byte(3);
}

unsigned srec_t::data_len() const {
    const unsigned n = priv_->count;
    switch (priv_->type) {
    case 0:
    case 1:
        return n >= 4 ? n - 3 : 0;
    case 2:
        return n > 4 ? n - 4 : 0;
    case 3:
        return n >= 6 ? n - 5 : 0;
    default:
        return 0;
    }
}

const unsigned char* srec_t::data() const {
    switch (priv_->type) {
    case 0:
    case 1:
        return priv_->buf.data() + 2;
    case 2:
        return priv_->buf.data() + 3;
    case 3:
        return priv_->buf.data() + 4;
    default:
        return nullptr;
    }
}

std::ostream& operator<<(std::ostream& os, const srec_t& rec) {
    if (rec.type() > 9) return os;
    static const char digits[] = "0123456789ABCDEF";
    std::string line = "S";
    line += static_cast<char>('0' + rec.type());
    auto put = [&](unsigned b) {
        line += digits[b >> 4 & 15];
        line += digits[b & 15];
    };
    // A valid record's count is exactly its address, data and checksum, so writing every byte
    // after the count gives the address-only form of types 5, 7, 8 and 9 by itself.
    put(rec.len());
    for (unsigned i = 0; i < rec.len(); ++i) put(rec.all_data()[i]);
    line += '\n';
    return os << line;
}

// ---------------------------------------------------------------------------------------------

namespace {
// The longest record (count 255) is 514 characters; with CR LF its line is 516.
constexpr size_t line_size = 517;

// Fewest and most count bytes of each type digit; 0/0 for digits that are not record types.
struct count_rule_t {
    unsigned min, max;
};
constexpr count_rule_t count_rules[10] = {{3, 255}, {3, 255}, {4, 255}, {5, 255}, {0, 0},
                                          {3, 3},   {0, 0},   {5, 5},   {4, 4},   {3, 3}};
} // namespace

class srec_decode_priv_t {
public:
    FILE* file = nullptr;
    unsigned records = 0;
    unsigned line = 0;
    tern_fw::line_reader_t<line_size> reader;
};

srec_decode_t::srec_decode_t() : priv_(std::make_unique<srec_decode_priv_t>()) {}
srec_decode_t::~srec_decode_t() = default;

void srec_decode_t::init(FILE* file, unsigned first_line) {
    priv_->file = file;
    priv_->records = 0;
    priv_->line = first_line - 1;
    clear_desc();
}

unsigned srec_decode_t::rec_num() const {
    return priv_->records;
}
unsigned srec_decode_t::line_num() const {
    return priv_->line;
}
FILE* srec_decode_t::file() const {
    return priv_->file;
}

int srec_decode_t::get_rec(srec_t& rec) {
    srec_decode_priv_t& p = *priv_;
    if (!p.file) {
        clear_desc() << "not initialized";
        return 0;
    }
    bool too_long = false;
    const size_t len = p.reader.read(p.file, too_long);
    if (len == 0) {
        if (ferror(p.file)) {
            clear_desc() << "line " << p.line + 1 << ": failed to get line";
            return -1;
        }
        clear_desc();
        return 0;
    }
    ++p.line;
    const char* s = p.reader.data();
    auto fail = [&]() -> std::ostream& { return clear_desc() << "line " << p.line << ": "; };
    if (too_long) {
        fail() << "line longer than any record";
        return -1;
    }
    if (s[0] != 'S') {
        fail() << "failed to find S to start record";
        return -1;
    }
    const unsigned digit = static_cast<unsigned char>(s[1]) - '0';
    if (digit > 9 || count_rules[digit].max == 0) {
        fail() << "failed to get valid type code";
        return -1;
    }
    unsigned count = 0;
    if (len < 4 || !hex_byte(s + 2, count)) {
        fail() << "failed to get record length";
        return -1;
    }
    if (count < count_rules[digit].min || count > count_rules[digit].max) {
        fail() << "invalid length for this record type";
        return -1;
    }
    srec_priv_t& r = *rec.priv_;
    if (r.buf.size() < count) r.buf.resize(count);
    unsigned got = 0;
    unsigned sum = count;
    for (size_t pos = 4; got < count && pos + 2 <= len; pos += 2, ++got) {
        unsigned b;
        if (!hex_byte(s + pos, b)) break;
        r.buf[got] = static_cast<unsigned char>(b);
        sum += b;
    }
    if (got < count) {
        fail() << "failed to get " << count << " bytes; got " << got;
        return -1;
    }
    const unsigned stored = r.buf[count - 1];
    const unsigned computed = ~(sum - stored) & 0xFF;
    if (computed != stored) {
        fail() << "checksum mismatch: expected " << stored << "; computed " << computed;
        return -1;
    }
    const size_t end = s[len - 1] == '\n' ? len - 1 : len;
    if (!tern_fw::only_blanks(s + 4 + 2 * size_t(count), s + end)) {
        fail() << "unexpected characters after checksum";
        return -1;
    }
    r.type = digit;
    r.count = count;
    return static_cast<int>(++p.records);
}

// ---------------------------------------------------------------------------------------------

class srec_loader_priv_t {
public:
    bool skip = true;
    bool started = false;
    bool ended = false;
    bool failed = false;
    uint32_t addr = 0;
    uint32_t size = 0;
    srec_t rec;
    unsigned pending = 0; // bytes of rec not yet copied
    unsigned char frame = 0;
};

srec_loader_t::srec_loader_t() : priv_(std::make_unique<srec_loader_priv_t>()) {}
srec_loader_t::~srec_loader_t() = default;

void srec_loader_t::reset() {
    const bool keep = priv_->skip;
    *priv_ = srec_loader_priv_t();
    priv_->skip = keep;
}

bool srec_loader_t::skip() const {
    return priv_->skip;
}
void srec_loader_t::skip(bool on) {
    priv_->skip = on;
}
unsigned char srec_loader_t::frame() const {
    return priv_->frame;
}
unsigned srec_loader_t::size() const {
    return priv_->size;
}
uint32_t srec_loader_t::addr() const {
    return priv_->addr;
}

int srec_loader_t::load(srec_decode_t& dec, unsigned char* buf, unsigned max) {
    srec_loader_priv_t& p = *priv_;
    if (p.failed) return -1;
    p.frame = p.frame == 255 ? 1 : static_cast<unsigned char>(p.frame + 1);
    if (p.started) p.addr += p.size;
    p.size = 0;
    while (p.size < max) {
        if (p.pending == 0) {
            if (p.ended) break;
            const int r = dec.get_rec(p.rec);
            if (r < 0) {
                p.failed = true;
                return -1;
            }
            if (r == 0) break;
            const unsigned type = p.rec.type();
            if (type == 3) {
                p.pending = p.rec.data_len();
            } else if (!p.skip) {
                if (type == 7) {
                    p.ended = true;
                } else {
                    dec.clear_desc()
                        << "line " << dec.line_num() << ": unexpected record type S" << type;
                    p.failed = true;
                    return -1;
                }
            }
            continue;
        }
        const unsigned done = p.rec.data_len() - p.pending;
        const uint32_t at = p.rec.addr32() + done;
        if (p.size == 0) {
            // A new frame starts wherever the data is, also after a gap in the addresses.
            p.addr = at;
        } else if (at != p.addr + p.size) {
            break;
        }
        const unsigned n = std::min(p.pending, max - p.size);
        std::memcpy(buf + p.size, p.rec.data() + done, n);
        p.size += n;
        p.pending -= n;
    }
    if (p.size == 0) return 0;
    p.started = true;
    return static_cast<int>(ftell(dec.file()));
}

bool srec_filename_check(const std::string& name) {
    return name.size() >= 4 && g_ascii_strcasecmp(name.c_str() + name.size() - 4, ".s19") == 0;
}
