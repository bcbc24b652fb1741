// Hex text for golden byte vectors in tests.
#pragma once

#include <string>
#include <vector>

namespace tern_test {

// "02 04 00" (blanks optional) to bytes.
std::vector<unsigned char> from_hex(const std::string& hex);
// Bytes to "02 04 00".
std::string to_hex(const unsigned char* data, std::size_t len);
inline std::string to_hex(const std::vector<unsigned char>& v) {
    return to_hex(v.data(), v.size());
}

} // namespace tern_test
