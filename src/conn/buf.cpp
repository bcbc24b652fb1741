#include <tern/conn/buf.h>

#include <cstring>
#include <new>

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

namespace tern {

struct buf_t::priv_t {
    bool owned = true;
    unsigned char* data = nullptr;
    unsigned int length = 0;
    unsigned int capacity = 0;
};

buf_t::buf_t() : priv_(new priv_t) {}

buf_t::buf_t(void* mem, unsigned int size) : priv_(new priv_t) {
    priv_->owned = false;
    priv_->data = static_cast<unsigned char*>(mem);
    priv_->capacity = mem ? size : 0;
}

buf_t::~buf_t() {
    if (priv_->owned) delete[] priv_->data;
}

bool buf_t::grow(unsigned int size) {
    if (priv_->capacity >= size) return true;
    if (!priv_->owned) return false;
    auto* mem = new (std::nothrow) unsigned char[size];
    if (!mem) return false;
    if (priv_->length) std::memcpy(mem, priv_->data, priv_->length);
    delete[] priv_->data;
    priv_->data = mem;
    priv_->capacity = size;
    return true;
}

unsigned int buf_t::len() const {
    return priv_->length;
}

unsigned int buf_t::capacity() const {
    return priv_->capacity;
}

unsigned char* buf_t::data() const {
    return priv_->data;
}

void buf_t::add(unsigned int n) {
    priv_->length = n >= priv_->capacity - priv_->length ? priv_->capacity : priv_->length + n;
}

void buf_t::consume(unsigned int n) {
    if (priv_->length > n) {
        std::memmove(priv_->data, priv_->data + n, priv_->length - n);
        priv_->length -= n;
    } else {
        priv_->length = 0;
    }
}

void buf_t::clear() {
    priv_->length = 0;
}

unsigned char* buf_t::free_space() const {
    return priv_->length < priv_->capacity ? priv_->data + priv_->length : nullptr;
}

unsigned int buf_t::free_size() const {
    return priv_->capacity - priv_->length;
}

} // namespace tern
