// Typed messages and their framed binary codec.
//
// A message travels as one self-delimiting frame:
//
//   STX | L (u16) | header word (u32) | payload (L-4 bytes) | CRC-16 (u16) | ETX
//
// The header word holds the category (bits 31..24), the port (23..16) and the type (15..0).
// The CRC (CRC-16/CCITT-FALSE) covers the header word and the payload. Every multi-byte
// number is little-endian; enumerations and bools are one byte; strings are a length byte
// followed by the bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <ios>
#include <list>
#include <locale>
#include <ostream>
#include <string>
#include <type_traits>

namespace tern {

namespace endian {

// Host to little-endian and back, for every numeric wire type (floating types included).
template <class T>
inline T htole(T v) {
    static_assert(std::is_arithmetic<T>::value, "numeric types only");
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return v;
#else
    unsigned char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    for (unsigned i = 0; i < sizeof(T) / 2; ++i) {
        unsigned char t = b[i];
        b[i] = b[sizeof(T) - 1 - i];
        b[sizeof(T) - 1 - i] = t;
    }
    std::memcpy(&v, b, sizeof(T));
    return v;
#endif
}

template <class T>
inline T letoh(T v) {
    return htole(v);
}

} // namespace endian

constexpr unsigned char STX = 0x02;
constexpr unsigned char ETX = 0x03;

// CRC-16/CCITT-FALSE (polynomial 0x1021, not reflected, no final XOR) from `init`.
unsigned short crc_checksum(unsigned short init, const unsigned char* data, unsigned int len);

// The frame checksum: crc_checksum(0xFFFF, data, len).
inline unsigned short calc_checksum(const unsigned char* data, unsigned int len) {
    return crc_checksum(0xFFFF, data, len);
}

class msg_encoder_t;
class msg_decoder_t;

// Base of every message: category, type and the port the message concerns.
class msg_t {
public:
    enum category_t : std::uint32_t {
        category_cmd = 1,  // commands
        category_fb = 2,   // feedback
        category_data = 3, // navigation data
    };

    category_t category;
    unsigned int type;
    unsigned int port;

    msg_t(category_t cat, unsigned int typ, unsigned int prt = 255)
        : category(cat), type(typ), port(prt) {}
    msg_t(const msg_t&) = default;
    msg_t& operator=(const msg_t&) = default;
    virtual ~msg_t();

    // Writes the payload; the base writes nothing.
    virtual void encodeContents(msg_encoder_t& enc) const;
    // Reads the payload in the order encodeContents wrote it; the base reads nothing.
    virtual void decodeContents(msg_decoder_t& dec);
    // Text form: "**** cat C type T port P" and a line end, in fixed-point notation.
    virtual void dump(std::ostream& os) const;
};

// While it lives, `os` writes numbers as the message dumps do (classic locale, fixed-point,
// six decimals); afterwards the stream has its own locale, flags and precision back. Every
// dump holds one, so a caller's stream is left as it was found.
class dump_format_t {
public:
    explicit dump_format_t(std::ostream& os);
    ~dump_format_t();
    dump_format_t(const dump_format_t&) = delete;
    dump_format_t& operator=(const dump_format_t&) = delete;

private:
    std::ostream& os_;
    std::locale locale_;
    std::ios::fmtflags flags_;
    std::streamsize precision_;
};

// Writes each message of the list with its dump, in list order.
void dump(const std::list<msg_t*>& msgs, std::ostream& os);

// Builds one frame in a fixed 1024-byte buffer. A message that does not fit is refused:
// the encoder then reports failure and size() is 0, so a cut frame is never sent.
class msg_encoder_t {
public:
    static constexpr unsigned int max_frame = 1024;
    // Longest string and counted list that the one-byte counts carry.
    static constexpr unsigned int max_count8 = 255;

    msg_encoder_t() = default;
    msg_encoder_t(const msg_encoder_t&) = delete;
    msg_encoder_t& operator=(const msg_encoder_t&) = delete;

    // Builds the whole frame of `msg`, starting from an empty buffer. False (and size 0)
    // when the message does not fit in one frame.
    bool encodeMessage(const msg_t& msg);
    void encodeHeader(const msg_t& msg);
    void encodeFinish();

    void encodeBlob(const void* data, unsigned int len);
    // Writes the text's length and bytes: at most `maxlen` bytes when maxlen is non-zero,
    // and never more than 255 (the length is one byte).
    void encodeString(const std::string& s, unsigned int maxlen = 0);
    // Writes a list count as one byte and returns how many entries the caller must write:
    // lists longer than 255 send their first 255.
    unsigned int encodeCount8(std::size_t n);
    // The same with a two-byte count (at most 65535 entries).
    unsigned int encodeCount16(std::size_t n);

    template <class T>
    void encodeNumber(const T& v) {
        static_assert(std::is_arithmetic<T>::value, "numeric types only");
        if (!room(sizeof(T))) return;
        T le = endian::htole(v);
        std::memcpy(buffer_ + pos_, &le, sizeof(T));
        pos_ += static_cast<unsigned int>(sizeof(T));
    }

    // Converts to the wire type W, then writes it.
    template <class W, class T>
    void encodeAs(const T& v) {
        encodeNumber<W>(static_cast<W>(v));
    }

    unsigned int size() const { return size_; }
    const unsigned char* data() const { return buffer_; }
    // Bytes written so far (header included).
    unsigned int pos() const { return pos_; }
    // True once a field did not fit; the frame is then refused.
    bool overflowed() const { return overflow_; }

private:
    // Room for n more payload bytes, keeping the 3 bytes of checksum and end byte free.
    bool room(std::size_t n) {
        if (overflow_ || pos_ + n > max_frame - 3) {
            overflow_ = true;
            return false;
        }
        return true;
    }

    unsigned int size_ = 0;
    unsigned int pos_ = 0;
    bool overflow_ = false;
    unsigned char buffer_[max_frame];
};

// Finds frames in received bytes and reads fields from a loaded frame. Reads never leave the
// frame: a field that the payload does not hold is left unchanged and marks the decoder
// short, and such a message must not be trusted (creation by number refuses it).
class msg_decoder_t {
public:
    msg_decoder_t() = default;

    // Looks at the front of the unconsumed received bytes and returns how many the caller
    // must consume (0: more bytes are needed). When non-zero, is_valid() tells whether they
    // were a complete frame, now loaded, or garbage to drop.
    unsigned int decode_init(const unsigned char* data, unsigned int len);

    bool is_valid() const { return valid_; }
    // A read wanted more bytes than the payload holds.
    bool is_short() const { return short_; }
    unsigned int category() const { return category_; }
    unsigned int type() const { return type_; }
    unsigned int port() const { return port_; }
    unsigned int frame_size() const { return frame_size_; }
    const unsigned char* frame() const { return frame_; }
    unsigned int pos() const { return pos_; }
    // Payload bytes not read yet.
    unsigned int remaining() const { return pos_ < end() ? end() - pos_ : 0; }

    // Fills `msg` from the loaded frame: its port, then its payload.
    void decodeMessage(msg_t& msg);
    void decodeHeader(msg_t& msg);
    void decodeFinish() {}

    void decodeBlob(void* data, unsigned int len);
    // Reads a string; keeps its first `maxlen` bytes when maxlen is non-zero and smaller,
    // and always moves past the whole string.
    void decodeString(std::string& s, unsigned int maxlen = 0);

    template <class T>
    void decodeNumber(T& v) {
        static_assert(std::is_arithmetic<T>::value, "numeric types only");
        if (!take(sizeof(T))) return;
        T le;
        std::memcpy(&le, frame_ + pos_, sizeof(T));
        v = endian::letoh(le);
        pos_ += static_cast<unsigned int>(sizeof(T));
    }

    // Reads the wire type W and converts it to T; T is unchanged when the payload is short.
    template <class W, class T>
    void decodeAs(T& v) {
        if (!take(sizeof(W))) return;
        W w{};
        decodeNumber<W>(w);
        v = static_cast<T>(w);
    }

private:
    static unsigned int consume_garbage(const unsigned char* data, unsigned int len);
    unsigned int end() const { return frame_size_ >= 3 ? frame_size_ - 3 : 0; }
    bool take(std::size_t n) {
        if (pos_ + n > end()) {
            short_ = true;
            pos_ = end();
            return false;
        }
        return true;
    }

    bool valid_ = false;
    bool short_ = false;
    unsigned int category_ = 0;
    unsigned int port_ = 0;
    unsigned int type_ = 0;
    unsigned int frame_size_ = 0;
    unsigned int pos_ = 0;
    const unsigned char* frame_ = nullptr;
};

// Stream operators for the primitive field types. Bools are one byte (any non-zero byte
// decodes as true); enumerations are one unsigned byte.
#define TERN_MSG_NUMBER_OPS(T)                                                                     \
    inline msg_encoder_t& operator<<(msg_encoder_t& e, T v) {                                      \
        e.encodeNumber<T>(v);                                                                      \
        return e;                                                                                  \
    }                                                                                              \
    inline msg_decoder_t& operator>>(msg_decoder_t& d, T& v) {                                     \
        d.decodeNumber<T>(v);                                                                      \
        return d;                                                                                  \
    }
TERN_MSG_NUMBER_OPS(unsigned char)
TERN_MSG_NUMBER_OPS(signed char)
TERN_MSG_NUMBER_OPS(unsigned short)
TERN_MSG_NUMBER_OPS(short)
TERN_MSG_NUMBER_OPS(unsigned int)
TERN_MSG_NUMBER_OPS(int)
TERN_MSG_NUMBER_OPS(unsigned long long)
TERN_MSG_NUMBER_OPS(float)
TERN_MSG_NUMBER_OPS(double)
#undef TERN_MSG_NUMBER_OPS

inline msg_encoder_t& operator<<(msg_encoder_t& e, bool v) {
    e.encodeNumber<unsigned char>(v ? 1 : 0);
    return e;
}
inline msg_decoder_t& operator>>(msg_decoder_t& d, bool& v) {
    unsigned char b = v ? 1 : 0;
    d.decodeNumber<unsigned char>(b);
    v = b != 0;
    return d;
}

inline msg_encoder_t& operator<<(msg_encoder_t& e, const std::string& s) {
    e.encodeString(s, 0);
    return e;
}
inline msg_decoder_t& operator>>(msg_decoder_t& d, std::string& s) {
    d.decodeString(s, 0);
    return d;
}

template <class E, typename std::enable_if<std::is_enum<E>::value, int>::type = 0>
inline msg_encoder_t& operator<<(msg_encoder_t& e, E v) {
    e.encodeAs<unsigned char, E>(v);
    return e;
}
template <class E, typename std::enable_if<std::is_enum<E>::value, int>::type = 0>
inline msg_decoder_t& operator>>(msg_decoder_t& d, E& v) {
    d.decodeAs<unsigned char, E>(v);
    return d;
}

inline msg_encoder_t& operator<<(msg_encoder_t& e, const msg_t& m) {
    e.encodeMessage(m);
    return e;
}
inline msg_decoder_t& operator>>(msg_decoder_t& d, msg_t& m) {
    d.decodeMessage(m);
    return d;
}

} // namespace tern
