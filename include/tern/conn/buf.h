// Byte blocks shared between messages.
#pragma once

#include <tern/thread/refd.h>

namespace tern {

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
