// Motorola S-record reading: one record per text line, and the loader that hands out the
// payload of S3 records in frames.
//
// Line:  S t cc aaaa[aa[aa]] dd... kk [blanks] [CR] LF
//   t   type digit: 0 header, 1/2/3 data with 16/24/32-bit address, 5 record count,
//       7/8/9 end with 32/24/16-bit start address (4 and 6 are not accepted)
//   cc  count: the number of bytes after it (address, data and checksum), two hex digits
//   kk  checksum: ~(cc + every byte before kk) & 0xFF
// Hex digits of either case are accepted. Count rules: types 0 and 1 at least 3, 2 at least 4,
// 3 at least 5; 5 and 9 exactly 3, 7 exactly 5, 8 exactly 4. A line is every byte up to its
// line feed (the last line may lack it): a NUL is a bad character of its line, anything but
// blanks and CR after the checksum is refused, and so is a line of more than 516 characters
// with its line end, so a record whose line feed was lost is never passed over.
#pragma once

#include <tern/thread/desc.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <ostream>
#include <string>

class srec_priv_t;

// One S-record: its type (255 while empty), count and the bytes after the count field.
class srec_t {
public:
    srec_t();
    srec_t(const srec_t& other);
    srec_t& operator=(const srec_t& other);
    ~srec_t();

    unsigned type() const;
    // The count field: address, data and checksum bytes.
    unsigned len() const;
    // The bytes after the count field (len() of them).
    const unsigned char* all_data() const;
    // The last byte; 0 when the count is 0.
    unsigned char checksum() const;
    // The first 2, 3 or 4 bytes as a big-endian number.
    uint32_t addr16() const;
    uint32_t addr24() const;
    uint32_t addr32() const;
    // Data bytes between the address (2, 3 or 4 bytes by type) and the checksum; 0 for types
    // without data or with a count too short for any.
    unsigned data_len() const;
    // The data bytes of types 0 to 3; null for other types.
    const unsigned char* data() const;

private:
    friend class srec_decode_t;
    std::unique_ptr<srec_priv_t> priv_;
};

// "S", type, count, address, data and checksum in upper-case hex, and a line end; types 5, 7,
// 8 and 9 are written with their address only.
std::ostream& operator<<(std::ostream& os, const srec_t& rec);

class srec_decode_priv_t;

// Reads S-records from a stream it does not own. Every error text starts with "line N: ".
class srec_decode_t : public desc_t {
public:
    srec_decode_t();
    srec_decode_t(const srec_decode_t&) = delete;
    srec_decode_t& operator=(const srec_decode_t&) = delete;
    ~srec_decode_t() override;

    // Uses `file` (not owned); the next line read carries the number `first_line`.
    void init(FILE* file, unsigned first_line = 1);
    // The new record count (1 or more) when a valid record was read into `rec`; 0 at the end
    // of the file (description empty) or when not initialised ("not initialized"); -1 on an
    // error, the description saying why.
    int get_rec(srec_t& rec);
    unsigned rec_num() const;
    unsigned line_num() const;
    FILE* file() const;

private:
    std::unique_ptr<srec_decode_priv_t> priv_;
};

class srec_loader_priv_t;

// Hands out the data of S3 records as frames of contiguous bytes. With the skip flag set
// (the default) records of other types are passed over; with it clear an S7 record ends the
// data and any other type is an error. A gap in the addresses closes the frame; the next frame
// starts at the address after the gap, so nothing is dropped.
class srec_loader_t {
public:
    srec_loader_t();
    srec_loader_t(const srec_loader_t&) = delete;
    srec_loader_t& operator=(const srec_loader_t&) = delete;
    ~srec_loader_t();

    // Clears everything but the skip flag.
    void reset();
    bool skip() const;
    void skip(bool on);
    // Fills `buf` with the next frame of at most `max` bytes. Returns the file position after
    // the records read so far, 0 when no data is left, -1 on an error (the decoder's
    // description says why; every later call fails too).
    int load(srec_decode_t& dec, unsigned char* buf, unsigned max);
    // Counts the calls of load: 1 to 255, then 1 again.
    unsigned char frame() const;
    unsigned size() const;
    uint32_t addr() const;

private:
    std::unique_ptr<srec_loader_priv_t> priv_;
};

// True when the name ends in ".s19" in any case.
bool srec_filename_check(const std::string& name);

namespace tern {
using ::srec_decode_t;
using ::srec_filename_check;
using ::srec_loader_t;
using ::srec_t;
} // namespace tern
