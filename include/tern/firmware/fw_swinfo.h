// What the Cobalt and Harbor firmware families share: S-record files of components, each
// opened by a software-information header and closed by an S7 record.
//
// Component in an .s19 file:
//   S0 records without data        ignored anywhere in the header
//   S0 with 19 data bytes          marker "QVT SWINFO VER 001" and a zero byte
//   S0 records                     their data, concatenated, is the 64-byte header block:
//                                  4 major, 5 minor, 6 build, 7 component type,
//                                  32 product type, 33 spin number (other bytes kept)
//   S3 records                     data at 32-bit addresses, ascending without overlap,
//                                  none past 0xFFFFFFFF
//   S7 record                      end of the component
// The families differ in their texts (Harbor's start with a capital), in how much of the
// marker they compare and in the component types they know; cobalt_fw_pkg.h and
// harbor_fw_pkg.h give the public names.
#pragma once

#include <tern/firmware/srec_decode.h>
#include <tern/thread/desc.h>

#include <cstdint>
#include <cstdio>
#include <list>
#include <string>
#include <vector>

// The rules of one family.
struct fw_family_t {
    bool capital;               // texts start with a capital letter
    size_t marker_len;          // characters of the marker record compared
    int (*component)(unsigned); // component of a header type; -1 when not accepted
    int dir_product;            // preferred product of a directory listing
};

// The 64-byte software-information header of one component.
class fw_swinfo_header_t : public desc_t {
public:
    static constexpr unsigned block_len = 64;

    // Reads the header from a decoder at a component's start: 1 when the block was read, 0 at
    // the end of the file before a full header, -1 on an error (description says which).
    int read(srec_decode_t& dec);

    uint8_t version_major() const { return block_[4]; }
    uint8_t version_minor() const { return block_[5]; }
    uint8_t build_number() const { return block_[6]; }
    uint8_t type() const { return block_[7]; }
    uint8_t product_type() const { return block_[32]; }
    uint8_t spin_number() const { return block_[33]; }
    const unsigned char* block() const { return block_; }
    // major.minor.build, and .spin when the spin number is not 0.
    std::string version_str() const;

protected:
    explicit fw_swinfo_header_t(const fw_family_t& family) : family_(&family) {}

private:
    const fw_family_t* family_;
    unsigned char block_[block_len] = {};
};

// One component found in a file.
template <class Component, class Header>
struct fw_comp_info_tmpl_t {
    using header_t = Header;
    Component component = Component(0);
    long offset = 0;   // file offset of the component's first header record
    unsigned size = 0; // bytes from offset to just after the S7 record
    unsigned first_line = 0;
    Header header;
    uint32_t min_addr = 0; // lowest and highest data address
    uint32_t max_addr = 0;
};

// One listed component.
template <class Component>
struct fw_scan_rec_tmpl_t {
    unsigned index = 0; // of the component within its file
    Component component = Component(0);
    unsigned product_type = 0;
    std::string version;
};

// Walks a file and lists its components, one step per scan_iter().
template <class Family>
class fw_scan_tmpl_t : public desc_t {
public:
    using info_t = typename Family::info_t;

    fw_scan_tmpl_t() = default;
    fw_scan_tmpl_t(const fw_scan_tmpl_t&) = delete;
    fw_scan_tmpl_t& operator=(const fw_scan_tmpl_t&) = delete;
    ~fw_scan_tmpl_t() override { close(); }

    // Opens the file; the components found are appended to `infos`.
    bool open(const std::string& path, std::list<info_t>& infos);
    // One step: the file position after a header, the record count after a record; 0 when
    // the file ended cleanly between components; -1 on an error (description says which).
    int scan_iter();
    void close();
    bool is_open() const { return file_ != nullptr; }
    // The file size in bytes, for progress.
    long total_size() const { return total_; }

private:
    void begin();
    int fail_line(const char* what);

    FILE* file_ = nullptr;
    std::list<info_t>* infos_ = nullptr;
    long total_ = 0;
    srec_decode_t dec_;
    srec_t rec_;
    info_t cur_;
    bool have_header_ = false;
    bool have_data_ = false;
    uint64_t next_free_ = 0; // the address after the component's last byte so far
};

// Feeds one component's data to the upload in frames.
template <class Family>
class fw_comp_loader_tmpl_t : public desc_t {
public:
    fw_comp_loader_tmpl_t() = default;
    fw_comp_loader_tmpl_t(const fw_comp_loader_tmpl_t&) = delete;
    fw_comp_loader_tmpl_t& operator=(const fw_comp_loader_tmpl_t&) = delete;
    ~fw_comp_loader_tmpl_t() override { close(); }

    // Opens the file at a component (offset and first line from its comp_info) and reads
    // past its header.
    bool open(const std::string& path, long offset, unsigned first_line);
    // The next frame of at most `max` bytes into `buf`: bytes of the file this component has
    // used so far, 0 when no data is left, -1 on an error.
    int load(unsigned char* buf, unsigned max);
    unsigned char frame() const { return loader_.frame(); }
    unsigned size() const { return loader_.size(); }
    uint32_t addr() const { return loader_.addr(); }
    void close();
    bool is_open() const { return file_ != nullptr; }

private:
    FILE* file_ = nullptr;
    long offset_ = 0;
    srec_decode_t dec_;
    srec_loader_t loader_;
};

// Keeps, for every component that has a variant of product `preferred`, only such variants;
// the names at the same positions go with their records.
template <class Rec>
void filter_preferred_product(int preferred, std::vector<Rec>& recs,
                              std::vector<std::string>* names = nullptr);

// Lists the components of one file (index, component, product, version); filtered by product
// when `preferred` is 0 or more. False (and nothing listed) when the file is not sound.
template <class Family>
bool fw_scan_file(const std::string& path, std::vector<typename Family::rec_t>& recs,
                  int preferred);

// Lists every ".s19" file of a directory (in name order) that holds exactly one component of
// the family's preferred product; filtered by product when `preferred` is 0 or more.
template <class Family>
void fw_scan_dir(const std::string& dir, std::vector<std::string>& names,
                 std::vector<typename Family::rec_t>& recs, int preferred);
