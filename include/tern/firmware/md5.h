/* MD5 digest (RFC 1321) with an incremental C interface. */
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned char md5_byte_t;
typedef unsigned int md5_word_t;

/* Running state: bit count (low word first), the four chaining words, a partial block. */
typedef struct md5_state_s {
    md5_word_t count[2];
    md5_word_t abcd[4];
    md5_byte_t buf[64];
} md5_state_t;

void md5_init(md5_state_t* pms);
void md5_append(md5_state_t* pms, const md5_byte_t* data, size_t nbytes);
/* Pads, and writes the 16-byte digest. */
void md5_finish(md5_state_t* pms, md5_byte_t digest[16]);

#ifdef __cplusplus
}
#endif
