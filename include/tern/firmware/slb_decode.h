// SLB engine images: one image, or several in a combined file under a SHA-256 digest; and the
// flash blocks an image is sent as.
//
// Single image (little-endian numbers):
//   0   7      magic: "Bin+Chk" (engine family QVTALFA) or "QVTBRAV" (family QVTBRAV)
//   7   9      version: three 3-digit decimal numbers, major minor build
//   16  2      manufacturer id           18  2   device id
//   20  4      base address              24  4   sector flags
//   28  2      (not read)                30  2   number of sections n (at least 1)
//   32  8n     per section: flash address (4) and length (4)
//   32+8n      section data, sections in table order
//
// Combined file:
//   0   12     "QVTCOMBINED" and a zero byte
//   12  1      file version              13  1   number of images (at least 1)
//   14  2      (not read)
//   16  ...    image blocks: 48-byte block header, then (block length - 48) bytes of one
//              single image. Block header: 0-3 block length (header included, at least 48),
//              4-15 engine family name (zero-terminated), 16/17/18 major/minor/build
//   end-32 32  SHA-256 digest of every byte before it
//
// An image is sent section by section in flash blocks of at most 10000 bytes; each block is a
// start report, data reports of at most 1000 bytes and an end report with the block's CRC
// (crc_checksum from 0 over the block's bytes).
#pragma once

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

// One image of a combined file, from its block header.
struct slb_fw_header_t {
    std::string engine_id; // engine family name
    unsigned major = 0;
    unsigned minor = 0;
    unsigned build = 0;
    uint32_t length = 0; // block length - 48
    int64_t offset = 0;  // file offset of the image, just after its block header
};

// One image being read or sent. Reads through a stream it borrows from its slb_decode_t.
class slb_fw_t {
public:
    // One report of get_data.
    struct data_control_t {
        enum { flash_start = 0, data = 1, flash_end = 2 };
        unsigned kind = 0;       // flash_start, data or flash_end
        unsigned length = 0;     // start/end: the block's length; data: bytes in the buffer
        unsigned flash_addr = 0; // start/end: the block's flash address; data: the chunk's
        unsigned short crc = 0;  // end: CRC of the block; data: CRC so far
    };

    static const char* const engine_id_unknown; // "unknown"
    static const char* const engine_id_qvtalfa; // "QVTALFA"
    static const char* const engine_id_qvtbrav; // "QVTBRAV"

    static constexpr unsigned flash_size = 10000; // bytes per flash block, at most
    static constexpr unsigned chunk_size = 1000;  // bytes per data report, at most

    // An image at offset 0 whose family the magic decides, filling the whole file.
    slb_fw_t();
    // An image of a combined file, which must fit in its block.
    explicit slb_fw_t(const slb_fw_header_t& header);
    // Either of the above: an image of a combined file, or with no header a whole-file image.
    explicit slb_fw_t(const slb_fw_header_t* header);

    // Reads and checks the header and section table; true when the image is sound and fits.
    bool scan(FILE* file);

    const std::string& get_err() const { return err_; }
    const std::string& get_engine_id() const { return engine_id_; }
    const std::string& get_version_str() const { return version_; }
    unsigned get_mfg_id() const;
    unsigned get_device_id() const;
    uint32_t get_base_addr() const;
    uint32_t get_sector_flags() const;
    unsigned get_num_sections() const { return static_cast<unsigned>(sections_.size()); }
    uint32_t get_section_addr(unsigned section) const;
    uint32_t get_section_length(unsigned section) const;
    uint32_t get_total_len() const { return total_len_; }
    bool at_end() const { return at_end_; }

    // Positions the sender at flash block `flash` of section `section`.
    void start_flash(unsigned section, unsigned flash);
    // Positions the sender at flash block `flash` of the current section.
    void section_flash(unsigned flash);
    // Seeks the stream to the next byte to send.
    bool seek_to_data();
    // The next report; data reports fill `buf` (at least chunk_size bytes). False at the end
    // (at_end() true) or on a read error (get_err() says which).
    bool get_data(unsigned char* buf, data_control_t& ctl);

    void dump(std::ostream& os) const;
    // The sending state, one "name = value" line each.
    void snapshot(std::ostream& os) const;

private:
    struct section_t {
        uint32_t addr = 0;
        uint32_t length = 0;
        int64_t data_offset = 0; // file offset of the section's data
    };

    bool fail(const std::string& what);
    uint32_t le(unsigned at, unsigned size) const;

    std::string err_ = "not initialized";
    FILE* file_ = nullptr;
    uint32_t total_len_ = 0;
    int64_t start_ = 0;
    int64_t limit_ = -1; // length of the block holding the image; -1: to the end of the file
    std::string engine_id_ = engine_id_unknown;
    std::string version_;
    unsigned char header_[32] = {};
    std::vector<section_t> sections_;
    bool at_end_ = true;
    unsigned section_ = 0;
    uint32_t section_len_ = 0;
    uint32_t section_flashes_ = 0;
    uint32_t section_offset_ = 0;
    bool sent_start_ = false;
    unsigned flash_ = 0;
    uint32_t flash_len_ = 0;
    uint32_t flash_sent_ = 0;
    unsigned short crc_ = 0;
    bool sent_end_ = false;
    uint32_t flash_addr_ = 0;
    uint32_t image_offset_ = 0;
};

// Opens an SLB file, single or combined, checks it and hands out its images.
class slb_decode_t {
public:
    slb_decode_t();
    slb_decode_t(const slb_decode_t&) = delete;
    slb_decode_t& operator=(const slb_decode_t&) = delete;
    ~slb_decode_t();

    // Opens and checks the file: a single image as a whole; a combined file by its digest, its
    // blocks, which must fill it up to the digest, and every image in them. False (reason in
    // get_err(), file closed) otherwise; a file that starts with an image's magic is refused
    // with the image's own reason.
    bool scan(const std::string& path);
    void close();
    bool is_open() const { return file_ != nullptr; }
    const std::string& get_err() const { return err_; }
    // 0 for a single image.
    unsigned get_file_version() const;
    // 1 for a single image.
    unsigned get_num_firmwares() const;
    // The digest stored in / computed over a combined file.
    bool get_file_checksum(unsigned char sum[32]);
    bool compute_file_checksum(unsigned char sum[32]);
    // A new, scanned image owned by the caller; null (reason in get_err()) when there is none.
    slb_fw_t* get_fw(unsigned index);
    slb_fw_t* get_fw_by_engine(const std::string& engine_id);
    // The file length for a single image; the largest image of a combined file.
    uint32_t get_max_fw_size() const;
    const std::vector<slb_fw_header_t>& headers() const { return fws_; }
    void dump(std::ostream& os);

private:
    bool fail(const std::string& what);
    bool fail_errno(const std::string& what);
    bool starts_as_image();
    bool scan_combined();
    bool copy_sum(const unsigned char* from, unsigned char* sum, const char* single);

    std::string err_ = "not initialized";
    bool single_ = true;
    int64_t file_len_ = 0;
    FILE* file_ = nullptr;
    unsigned char header_[16] = {};
    std::vector<slb_fw_header_t> fws_;
    unsigned char stored_sum_[32] = {};
    unsigned char computed_sum_[32] = {};
};

namespace tern {
using ::slb_decode_t;
using ::slb_fw_header_t;
using ::slb_fw_t;
} // namespace tern
