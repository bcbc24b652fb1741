#include <tern/conn/buf.h>

#include <cstring>

namespace tern {

refd_buf_t::refd_buf_t(const void* src, unsigned int size) {
    if (size == 0) return;
    data_ = new unsigned char[size];
    size_ = size;
    if (src)
        std::memcpy(data_, src, size);
    else
        std::memset(data_, 0, size);
}

refd_buf_t::~refd_buf_t() {
    delete[] data_;
}

} // namespace tern
