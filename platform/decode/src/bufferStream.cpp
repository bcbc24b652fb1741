#include <tern/decode/bufferStream.h>

#include <algorithm>
#include <cstring>
#include <locale>

namespace tern {

bufferStreambuf_t::bufferStreambuf_t(void* buffer, unsigned int capacity) {
    reset(buffer, capacity);
}

void bufferStreambuf_t::reset(void* buffer, unsigned int capacity) {
    char* begin = static_cast<char*>(buffer);
    if (begin == nullptr) capacity = 0;
    setp(begin, begin + capacity);
    overflow_ = 0;
}

bufferStreambuf_t::int_type bufferStreambuf_t::overflow(int_type c) {
    // Only called when the buffer is full (or to flush with eof): the character is lost.
    if (!traits_type::eq_int_type(c, traits_type::eof())) ++overflow_;
    return traits_type::not_eof(c);
}

std::streamsize bufferStreambuf_t::xsputn(const char_type* s, std::streamsize n) {
    if (n <= 0) return 0;
    const std::streamsize room = epptr() - pptr();
    const std::streamsize fits = std::min(room, n);
    if (fits > 0) {
        std::memcpy(pptr(), s, static_cast<std::size_t>(fits));
        advance(fits);
    }
    overflow_ += static_cast<unsigned long>(n - fits);
    // Report everything as written so the stream stays good.
    return n;
}

void bufferStreambuf_t::advance(std::streamsize n) {
    while (n > 0) {
        const int step = static_cast<int>(std::min<std::streamsize>(n, 1 << 30));
        pbump(step);
        n -= step;
    }
}

bufferStreambuf_t::pos_type bufferStreambuf_t::seekoff(off_type off, std::ios_base::seekdir dir,
                                                       std::ios_base::openmode which) {
    if (off == 0 && dir == std::ios_base::cur && (which & std::ios_base::out))
        return pos_type(static_cast<off_type>(pptr() - pbase()));
    return pos_type(off_type(-1));
}

bufferStream_t::bufferStream_t(void* buffer, unsigned int capacity)
    : std::ostream(nullptr), buf_(buffer, capacity) {
    rdbuf(&buf_);
    imbue(std::locale::classic());
}

} // namespace tern
