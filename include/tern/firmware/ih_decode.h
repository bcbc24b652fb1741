// Intel hex reading: a processor image as data records with absolute addresses.
//
// Line:  :ll aaaa tt dd... cc  then LF or CR LF (blanks may stand before the line end)
//   ll    number of data bytes          aaaa  record address (big-endian)
//   tt    00 data, 01 end of file, 02 extended segment address (base = value * 16),
//         04 extended linear address (base = value << 16); 02 and 04 carry two data bytes
//   cc    checksum: the 8-bit sum of every byte of the line, cc included, is 0
// A data byte's address is the record address plus the current base; data running past
// 0xFFFFFFFF is refused, as is any other text after the checksum and a line of more than 524
// characters with its line end, so a record whose line feed was lost is never passed over.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <ostream>
#include <string>

// Checks a whole Intel hex file on scan, then hands its data records out in file order.
// Error texts of line checks start with "line N: ".
class ih_decode_t {
public:
    ih_decode_t();
    ih_decode_t(const ih_decode_t&) = delete;
    ih_decode_t& operator=(const ih_decode_t&) = delete;
    ~ih_decode_t();

    // Opens the file and reads it to its end-of-file record, keeping the lowest and highest
    // data address and the total data length; then rewinds. False (reason in get_err()) when
    // the file cannot be read or any line is bad.
    bool scan(const std::string& path);
    // Back to the first record.
    bool rewind();
    // The next data record: absolute address, length and up to 255 bytes into `data`. False at
    // the end-of-file record (is_eof() true) or on an error (get_err() says which).
    bool get_data_rec(uint32_t& addr, unsigned& len, unsigned char* data);

    bool is_open() const { return file_ != nullptr; }
    void close();
    bool is_eof() const { return eof_; }
    uint32_t get_min_addr() const { return min_addr_; }
    uint32_t get_max_addr() const { return max_addr_; }
    uint32_t get_total_len() const { return total_len_; }
    const std::string& get_err() const { return err_; }
    // "Min addr: ", "Max addr: " and "Total len: " lines in decimal.
    void dump(std::ostream& os) const;

private:
    static constexpr int line_size = 525; // a line of up to 524 characters and its terminator

    bool fail_line(const char* what);

    std::string err_ = "not initialized";
    FILE* file_ = nullptr;
    bool eof_ = false;
    class reader_t;
    std::unique_ptr<reader_t> reader_;
    unsigned line_num_ = 0;
    uint32_t total_len_ = 0;
    uint32_t delivered_ = 0;
    uint32_t base_ = 0;
    uint32_t min_addr_ = 0;
    uint32_t max_addr_ = 0;
};

namespace tern {
using ::ih_decode_t;
} // namespace tern
