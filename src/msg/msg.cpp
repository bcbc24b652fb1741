#include <tern/msg/msg.h>

#include <algorithm>
#include <locale>
#include <ostream>

namespace tern {

msg_t::~msg_t() = default;

void msg_t::encodeContents(msg_encoder_t&) const {}

void msg_t::decodeContents(msg_decoder_t&) {}

dump_format_t::dump_format_t(std::ostream& os)
    : os_(os), locale_(os.getloc()), flags_(os.flags()), precision_(os.precision()) {
    // Text leaves the library in the same form whatever locale the program chose.
    os.imbue(std::locale::classic());
    os.flags(std::ios::dec | std::ios::fixed);
    os.precision(6);
    os.width(0);
}

dump_format_t::~dump_format_t() {
    os_.imbue(locale_);
    os_.flags(flags_);
    os_.precision(precision_);
}

void msg_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    os << "**** cat " << static_cast<unsigned>(category) << " type " << type << " port " << port
       << '\n';
}

void dump(const std::list<msg_t*>& msgs, std::ostream& os) {
    for (const msg_t* m : msgs) m->dump(os);
}

bool msg_encoder_t::encodeMessage(const msg_t& msg) {
    encodeHeader(msg);
    msg.encodeContents(*this);
    encodeFinish();
    return size_ != 0;
}

void msg_encoder_t::encodeHeader(const msg_t& msg) {
    size_ = 0;
    pos_ = 0;
    overflow_ = false;
    buffer_[pos_++] = STX;
    buffer_[pos_++] = 0; // length, filled in by encodeFinish
    buffer_[pos_++] = 0;
    const std::uint32_t word = (static_cast<std::uint32_t>(msg.category) << 24) |
                               ((msg.port & 0xFFu) << 16) | (msg.type & 0xFFFFu);
    encodeNumber<std::uint32_t>(word);
}

void msg_encoder_t::encodeFinish() {
    if (overflow_ || pos_ < 7 || pos_ + 3 > max_frame) {
        overflow_ = true;
        size_ = 0;
        return;
    }
    const unsigned short crc = calc_checksum(buffer_ + 3, pos_ - 3);
    const unsigned short crc_le = endian::htole(crc);
    std::memcpy(buffer_ + pos_, &crc_le, 2);
    pos_ += 2;
    buffer_[pos_++] = ETX;
    size_ = pos_;
    const unsigned short len_le = endian::htole(static_cast<unsigned short>(size_ - 6));
    std::memcpy(buffer_ + 1, &len_le, 2);
}

void msg_encoder_t::encodeBlob(const void* data, unsigned int len) {
    if (!room(len)) return;
    if (len) std::memcpy(buffer_ + pos_, data, len);
    pos_ += len;
}

void msg_encoder_t::encodeString(const std::string& s, unsigned int maxlen) {
    std::size_t n = s.size();
    if (maxlen && n > maxlen) n = maxlen;
    n = std::min<std::size_t>(n, max_count8);
    if (!room(1 + n)) return;
    buffer_[pos_++] = static_cast<unsigned char>(n);
    std::memcpy(buffer_ + pos_, s.data(), n);
    pos_ += static_cast<unsigned int>(n);
}

unsigned int msg_encoder_t::encodeCount8(std::size_t n) {
    const auto count = static_cast<unsigned char>(std::min<std::size_t>(n, max_count8));
    encodeNumber<unsigned char>(count);
    return count;
}

unsigned int msg_encoder_t::encodeCount16(std::size_t n) {
    const auto count = static_cast<unsigned short>(std::min<std::size_t>(n, 0xFFFF));
    encodeNumber<unsigned short>(count);
    return count;
}

unsigned int msg_decoder_t::consume_garbage(const unsigned char* data, unsigned int len) {
    const void* next = len > 1 ? std::memchr(data + 1, STX, len - 1) : nullptr;
    return next ? static_cast<unsigned int>(static_cast<const unsigned char*>(next) - data) : len;
}

unsigned int msg_decoder_t::decode_init(const unsigned char* data, unsigned int len) {
    valid_ = false;
    short_ = false;
    frame_ = nullptr;
    frame_size_ = 0;
    pos_ = 0;
    if (len == 0) return 0;
    if (data[0] != STX) return consume_garbage(data, len);
    if (len < 6) return 0;
    unsigned short l_le;
    std::memcpy(&l_le, data + 1, 2);
    const unsigned int l = endian::letoh(l_le);
    // A length below 4 cannot hold the header word: no frame starts here.
    if (l < 4) return consume_garbage(data, len);
    if (l + 6 > len) return 0;
    if (data[l + 5] != ETX) return consume_garbage(data, len);
    unsigned short crc_le;
    std::memcpy(&crc_le, data + 3 + l, 2);
    if (calc_checksum(data + 3, l) != endian::letoh(crc_le)) return consume_garbage(data, len);

    valid_ = true;
    frame_ = data;
    frame_size_ = l + 6;
    pos_ = 3;
    std::uint32_t word = 0;
    decodeNumber<std::uint32_t>(word);
    category_ = word >> 24;
    port_ = (word >> 16) & 0xFF;
    type_ = word & 0xFFFF;
    return frame_size_;
}

void msg_decoder_t::decodeMessage(msg_t& msg) {
    decodeHeader(msg);
    msg.decodeContents(*this);
    decodeFinish();
}

void msg_decoder_t::decodeHeader(msg_t& msg) {
    msg.port = port_;
    pos_ = 7;
    // Without a loaded frame there is nothing to read: every field is missing.
    short_ = !valid_;
}

void msg_decoder_t::decodeBlob(void* data, unsigned int len) {
    if (!take(len)) return;
    if (len) std::memcpy(data, frame_ + pos_, len);
    pos_ += len;
}

void msg_decoder_t::decodeString(std::string& s, unsigned int maxlen) {
    unsigned char n = 0;
    if (!take(1)) return;
    decodeNumber<unsigned char>(n);
    if (!take(n)) return;
    const unsigned int keep = (maxlen && n > maxlen) ? maxlen : n;
    s.assign(reinterpret_cast<const char*>(frame_ + pos_), keep);
    pos_ += n;
}

} // namespace tern
