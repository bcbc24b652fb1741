// An output stream over a fixed buffer that the caller owns.
#pragma once

#include <cstddef>
#include <ostream>
#include <streambuf>

namespace tern {

// Stream buffer over a caller's fixed buffer. It never grows: a character that does not fit
// is dropped and counted, and writing still reports success, so the stream stays good and
// a too-long sentence is simply cut.
class bufferStreambuf_t : public std::streambuf {
public:
    // A null buffer is taken as capacity 0.
    bufferStreambuf_t(void* buffer, unsigned int capacity);

    // Bytes actually stored (at most the capacity).
    unsigned int validLength() const { return static_cast<unsigned int>(pptr() - pbase()); }
    unsigned int capacity() const { return static_cast<unsigned int>(epptr() - pbase()); }
    // Characters dropped because the buffer was full.
    unsigned long overflowCount() const { return overflow_; }
    // Starts over on another buffer: nothing stored, overflow count 0. Lets one stream serve
    // many buffers in turn without being built again.
    void reset(void* buffer, unsigned int capacity);

    // For a writer that formats in place: up to freeLength() bytes may be written at
    // freeSpace(), and commit(n) then stores the first n of them (n at most freeLength()).
    char* freeSpace() const { return pptr(); }
    std::size_t freeLength() const { return static_cast<std::size_t>(epptr() - pptr()); }
    void commit(std::size_t n) { advance(static_cast<std::streamsize>(n)); }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char_type* s, std::streamsize n) override;
    // Only reports the current position (for tellp); the buffer cannot be repositioned.
    pos_type seekoff(off_type off, std::ios_base::seekdir dir,
                     std::ios_base::openmode which) override;

private:
    // pbump takes an int: steps in pieces for buffers beyond 2 GiB.
    void advance(std::streamsize n);

    unsigned long overflow_ = 0;
};

// Output stream writing into a caller's fixed buffer, formatting in the classic locale.
class bufferStream_t : public std::ostream {
public:
    bufferStream_t(void* buffer, unsigned int capacity);
    bufferStream_t(const bufferStream_t&) = delete;
    bufferStream_t& operator=(const bufferStream_t&) = delete;

    bufferStreambuf_t* bufferStreambuf() { return &buf_; }
    const bufferStreambuf_t* bufferStreambuf() const { return &buf_; }
    unsigned int validLength() const { return buf_.validLength(); }
    // Starts over on another buffer (see bufferStreambuf_t::reset); the stream's flags stay.
    void reset(void* buffer, unsigned int capacity) { buf_.reset(buffer, capacity); }

private:
    bufferStreambuf_t buf_;
};

} // namespace tern
