#include <tern/firmware/sha256sum.h>

#include <openssl/evp.h>

// libcrypto does the work, with the processor's SHA instructions where it finds them.
class sha256sum_priv_t {
public:
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    bool ok = false; // false once libcrypto failed on the bytes added since start()

    sha256sum_priv_t() { start(); }
    ~sha256sum_priv_t() { EVP_MD_CTX_free(ctx); }
    sha256sum_priv_t(const sha256sum_priv_t&) = delete;
    sha256sum_priv_t& operator=(const sha256sum_priv_t&) = delete;

    void start() { ok = ctx && EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) == 1; }
};

sha256sum_t::sha256sum_t() : priv_(std::make_unique<sha256sum_priv_t>()) {}

sha256sum_t::sha256sum_t(const sha256sum_t& other) : sha256sum_t() {
    *this = other;
}

sha256sum_t& sha256sum_t::operator=(const sha256sum_t& other) {
    if (this != &other)
        priv_->ok =
            priv_->ctx && other.priv_->ok && EVP_MD_CTX_copy_ex(priv_->ctx, other.priv_->ctx) == 1;
    return *this;
}

sha256sum_t::~sha256sum_t() = default;

void sha256sum_t::add_data(const void* data, size_t len) {
    if (priv_->ok && len) priv_->ok = EVP_DigestUpdate(priv_->ctx, data, len) == 1;
}

bool sha256sum_t::get_sum(unsigned char sum[32]) {
    unsigned int n = 0;
    const bool ok = priv_->ok && EVP_DigestFinal_ex(priv_->ctx, sum, &n) == 1 && n == 32;
    // The zeros are no digest, only defined bytes: compared as one, they would match a file
    // that ends in 32 zero bytes.
    if (!ok)
        for (int i = 0; i < 32; ++i) sum[i] = 0;
    priv_->start();
    return ok;
}

namespace {
const char digits[] = "0123456789abcdef";
void put_hex(std::string& s, unsigned char b) {
    s += digits[b >> 4];
    s += digits[b & 15];
}
} // namespace

std::string sha256sum_t::sum_string(const unsigned char sum[32]) {
    std::string s;
    s.reserve(64);
    for (int i = 0; i < 32; ++i) put_hex(s, sum[i]);
    return s;
}

std::string sha256sum_t::sum_string(const unsigned char sum[32], const std::string& sep) {
    std::string s;
    for (int w = 0; w < 8; ++w) {
        if (w) s += sep;
        for (int i = 0; i < 4; ++i) put_hex(s, sum[4 * w + i]);
    }
    return s;
}
