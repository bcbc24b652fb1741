#include "fw_test_util.h"
#include "support/scratch.h"

#include <tern/firmware/md5.h>
#include <tern/firmware/sha256sum.h>

#include <gtest/gtest.h>

#include <algorithm>

using namespace fw_test;

namespace {

std::string hex(const unsigned char* p, size_t n) {
    static const char d[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += d[p[i] >> 4];
        s += d[p[i] & 15];
    }
    return s;
}

// Lengths around the 55/56/64-byte padding boundaries, and long ones, fed in uneven pieces.
class Digest : public ::testing::TestWithParam<size_t> {};

TEST_P(Digest, MatchesTheSystemTools) {
    tern_test::temp_dir_t dir;
    const bytes_t data = random_bytes(GetParam(), static_cast<unsigned>(GetParam()) + 1);
    const std::string path = dir.write("data", as_string(data));

    sha256sum_t sha;
    md5_state_t md5;
    md5_init(&md5);
    size_t piece = 1;
    for (size_t at = 0; at < data.size(); at += piece, piece = piece * 3 % 97 + 1) {
        const size_t n = std::min(piece, data.size() - at);
        sha.add_data(data.data() + at, n);
        md5_append(&md5, data.data() + at, n);
    }
    unsigned char s[32], m[16];
    sha.get_sum(s);
    md5_finish(&md5, m);
    EXPECT_EQ(sha256sum_t::sum_string(s), digest_of("/usr/bin/sha256sum", path));
    EXPECT_EQ(hex(m, 16), digest_of("/usr/bin/md5sum", path));
}

INSTANTIATE_TEST_SUITE_P(Lengths, Digest,
                         ::testing::Values(0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 1000, 100003));

// The digests themselves are compared with the system's tools above; here the word form and
// that get_sum starts afresh (the empty message's digest next).
TEST(Sha256, WordFormAndAFreshStartAfterGetSum) {
    sha256sum_t sha;
    sha.add_data("abc", 3);
    unsigned char s[32];
    sha.get_sum(s);
    EXPECT_EQ(sha256sum_t::sum_string(s, " "),
              "ba7816bf 8f01cfea 414140de 5dae2223 b00361a3 96177a9c b410ff61 f20015ad");
    sha.get_sum(s);
    EXPECT_EQ(sha256sum_t::sum_string(s),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

} // namespace
