// Byte blocks shared between messages.
#pragma once

#include <memory>

#include <tern/thread/refd.h>

namespace tern {

// Growable receive buffer: valid bytes always sit at the front. It either owns its memory
// (and may grow it) or wraps memory of the caller (fixed size).
class buf_t {
public:
    // Owning, empty, capacity 0.
    buf_t();
    // Wraps `size` bytes at `mem`; never grows beyond them and never frees them.
    buf_t(void* mem, unsigned int size);
    buf_t(const buf_t&) = delete;
    buf_t& operator=(const buf_t&) = delete;
    ~buf_t();

    // Makes the capacity at least `size`, keeping the valid bytes; never shrinks. False when
    // more is asked of wrapped memory or the allocation fails.
    bool grow(unsigned int size);
    unsigned int len() const;
    unsigned int capacity() const;
    unsigned char* data() const;
    // Declares n more bytes valid after they were written at free_space() (clamped to capacity).
    void add(unsigned int n);
    // Drops the first n bytes and moves the rest to the front; n >= len() empties.
    void consume(unsigned int n);
    void clear();
    // First free byte, or null when full.
    unsigned char* free_space() const;
    // capacity() - len().
    unsigned int free_size() const;

private:
    struct priv_t;
    std::unique_ptr<priv_t> priv_;
};

// A read-only block of bytes.
class vbuf_t {
public:
    virtual ~vbuf_t() = default;
    virtual const unsigned char* data() const = 0;
    virtual unsigned int len() const = 0;
};

// A reference-counted copy of a byte range, shared between messages without copying again.
class refd_buf_t : public vbuf_t, public refd_t {
public:
    refd_buf_t(const void* src, unsigned int size);
    ~refd_buf_t() override;

    const unsigned char* data() const override { return data_; }
    unsigned int len() const override { return size_; }

    // Drops one reference and deletes the buffer when it was the last; null is ignored.
    static void release(refd_buf_t* buf) {
        if (buf && buf->unref()) delete buf;
    }

private:
    unsigned char* data_ = nullptr;
    unsigned int size_ = 0;
};

} // namespace tern
