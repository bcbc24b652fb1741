#include <tern/firmware/md5.h>

// The state keeps the layout callers see; libcrypto's block function does the compression.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>

#include <cstdint>
#include <cstring>

namespace {

// Runs the compression over `blocks` 64-byte blocks at p.
void md5_blocks(md5_state_t* pms, const md5_byte_t* p, size_t blocks) {
    MD5_CTX c = {};
    c.A = pms->abcd[0];
    c.B = pms->abcd[1];
    c.C = pms->abcd[2];
    c.D = pms->abcd[3];
    for (; blocks; --blocks, p += 64) MD5_Transform(&c, p);
    pms->abcd[0] = c.A;
    pms->abcd[1] = c.B;
    pms->abcd[2] = c.C;
    pms->abcd[3] = c.D;
}

} // namespace

extern "C" void md5_init(md5_state_t* pms) {
    pms->count[0] = pms->count[1] = 0;
    pms->abcd[0] = 0x67452301;
    pms->abcd[1] = 0xefcdab89;
    pms->abcd[2] = 0x98badcfe;
    pms->abcd[3] = 0x10325476;
    std::memset(pms->buf, 0, sizeof pms->buf);
}

extern "C" void md5_append(md5_state_t* pms, const md5_byte_t* data, size_t nbytes) {
    if (nbytes == 0) return;
    size_t offset = pms->count[0] >> 3 & 63;
    const uint64_t bits = (uint64_t(pms->count[1]) << 32 | pms->count[0]) + uint64_t(nbytes) * 8;
    pms->count[0] = static_cast<md5_word_t>(bits);
    pms->count[1] = static_cast<md5_word_t>(bits >> 32);
    if (offset) {
        const size_t copy = nbytes < 64 - offset ? nbytes : 64 - offset;
        std::memcpy(pms->buf + offset, data, copy);
        if (offset + copy < 64) return;
        md5_blocks(pms, pms->buf, 1);
        data += copy;
        nbytes -= copy;
    }
    md5_blocks(pms, data, nbytes / 64);
    data += nbytes / 64 * 64;
    nbytes %= 64;
    if (nbytes) std::memcpy(pms->buf, data, nbytes);
}

extern "C" void md5_finish(md5_state_t* pms, md5_byte_t digest[16]) {
    static const md5_byte_t pad[64] = {0x80};
    md5_byte_t length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<md5_byte_t>(pms->count[i >> 2] >> ((i & 3) * 8));
    const size_t used = pms->count[0] >> 3 & 63;
    md5_append(pms, pad, (used < 56 ? 56 : 120) - used);
    md5_append(pms, length, 8);
    for (int i = 0; i < 16; ++i)
        digest[i] = static_cast<md5_byte_t>(pms->abcd[i >> 2] >> ((i & 3) * 8));
}
