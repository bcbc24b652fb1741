// SHA-256 digest (FIPS 180-4), fed in pieces.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

class sha256sum_priv_t;

// Digest of the bytes given to add_data since construction.
class sha256sum_t {
public:
    sha256sum_t();
    sha256sum_t(const sha256sum_t& other);
    sha256sum_t& operator=(const sha256sum_t& other);
    ~sha256sum_t();

    void add_data(const void* data, size_t len);
    // Writes the 32-byte digest of everything added, then starts afresh. False (and 32 zero
    // bytes, which are no digest) when libcrypto could not compute it.
    bool get_sum(unsigned char sum[32]);

    // 64 lower-case hex digits.
    static std::string sum_string(const unsigned char sum[32]);
    // The eight 32-bit words of the digest, 8 lower-case hex digits each, joined by `sep`.
    static std::string sum_string(const unsigned char sum[32], const std::string& sep);

private:
    std::unique_ptr<sha256sum_priv_t> priv_;
};

namespace tern {
using ::sha256sum_t;
} // namespace tern
