#include <tern/firmware/slb_decode.h>

#include <tern/firmware/sha256sum.h>
#include <tern/msg/msg.h>

#include "firmware/open_priv.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <locale>
#include <memory>
#include <sstream>

const char* const slb_fw_t::engine_id_unknown = "unknown";
const char* const slb_fw_t::engine_id_qvtalfa = "QVTALFA";
const char* const slb_fw_t::engine_id_qvtbrav = "QVTBRAV";

namespace {

const char magic_alfa[] = "Bin+Chk";
const char magic_brav[] = "QVTBRAV";
const unsigned char magic_combined[12] = {'Q', 'V', 'T', 'C', 'O', 'M', 'B', 'I', 'N', 'E', 'D', 0};
constexpr unsigned block_header_len = 48;
constexpr unsigned digest_len = 32;

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The system's message for a failed read: a short file sets no errno.
std::string read_error(FILE* f) {
    return feof(f) ? "unexpected end of file" : strerror(errno);
}

bool read_all(FILE* f, void* buf, size_t len) {
    return fread(buf, 1, len, f) == len;
}

std::ostringstream classic_stream() {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    return s;
}

} // namespace

slb_fw_t::slb_fw_t() = default;

slb_fw_t::slb_fw_t(const slb_fw_header_t& header)
    : start_(header.offset), limit_(header.length), engine_id_(header.engine_id) {}

slb_fw_t::slb_fw_t(const slb_fw_header_t* header) {
    if (header) *this = slb_fw_t(*header);
}

bool slb_fw_t::fail(const std::string& what) {
    err_ = what;
    return false;
}

uint32_t slb_fw_t::le(unsigned at, unsigned size) const {
    uint32_t v = 0;
    for (unsigned i = size; i-- > 0;) v = v << 8 | header_[at + i];
    return v;
}

unsigned slb_fw_t::get_mfg_id() const {
    return le(16, 2);
}
unsigned slb_fw_t::get_device_id() const {
    return le(18, 2);
}
uint32_t slb_fw_t::get_base_addr() const {
    return le(20, 4);
}
uint32_t slb_fw_t::get_sector_flags() const {
    return le(24, 4);
}
uint32_t slb_fw_t::get_section_addr(unsigned s) const {
    return s < sections_.size() ? sections_[s].addr : 0;
}
uint32_t slb_fw_t::get_section_length(unsigned s) const {
    return s < sections_.size() ? sections_[s].length : 0;
}

bool slb_fw_t::scan(FILE* file) {
    err_ = "not initialized";
    sections_.clear();
    total_len_ = 0;
    at_end_ = true;
    file_ = file;
    if (!file_) return false;
    // Everything the header promises must lie within the image's room: its block in a
    // combined file, else the rest of the file. Counted in 64 bits, so no header can wrap it.
    int64_t room = limit_;
    if (room < 0) {
        if (fseeko(file_, 0, SEEK_END) != 0)
            return fail(std::string("failed to seek to starting offset of firmware: ") +
                        strerror(errno));
        room = static_cast<int64_t>(ftello(file_)) - start_;
    }
    if (fseeko(file_, start_, SEEK_SET) != 0)
        return fail(std::string("failed to seek to starting offset of firmware: ") +
                    strerror(errno));
    if (room < 32 || !read_all(file_, header_, 32))
        return fail("failed to read firmware header: " +
                    (room < 32 ? std::string("unexpected end of file") : read_error(file_)));

    const bool alfa = std::memcmp(header_, magic_alfa, 7) == 0;
    const bool brav = std::memcmp(header_, magic_brav, 7) == 0;
    if (engine_id_ == engine_id_qvtalfa || engine_id_ == engine_id_qvtbrav) {
        if (!(engine_id_ == engine_id_qvtalfa ? alfa : brav))
            return fail("failed to find magic string at start of header");
    } else if (engine_id_ != engine_id_unknown) {
        return fail("invalid engine ID detected: " + engine_id_);
    } else if (alfa) {
        engine_id_ = engine_id_qvtalfa;
    } else if (brav) {
        engine_id_ = engine_id_qvtbrav;
    } else {
        return fail("unknown engine ID found");
    }

    const unsigned n = le(30, 2);
    if (n == 0) return fail("firmware has no sections");
    const int64_t table_end = 32 + 8 * int64_t(n);
    if (table_end > room)
        return fail("firmware truncated: section table needs " + std::to_string(table_end) +
                    " bytes; " + std::to_string(room) + " there");
    std::vector<unsigned char> table(8 * size_t(n));
    if (!read_all(file_, table.data(), table.size()))
        return fail("failed to read section headers: " + read_error(file_));
    sections_.resize(n);
    int64_t at = table_end;
    for (unsigned i = 0; i < n; ++i) {
        sections_[i].addr = le32(&table[8 * i]);
        sections_[i].length = le32(&table[8 * i + 4]);
        sections_[i].data_offset = start_ + at;
        at += sections_[i].length;
    }
    if (at > room) {
        sections_.clear();
        return fail("firmware truncated: sections need " + std::to_string(at) + " bytes; " +
                    std::to_string(room) + " there");
    }

    unsigned v[3] = {0, 0, 0};
    for (unsigned i = 0; i < 9; ++i) {
        const unsigned char c = header_[7 + i];
        if (c < '0' || c > '9') {
            sections_.clear();
            return fail("failed to extract version information from header");
        }
        v[i / 3] = v[i / 3] * 10 + (c - '0');
    }
    version_ = std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]);
    total_len_ = static_cast<uint32_t>(at - table_end);
    err_ = "<no error>";
    return true;
}

void slb_fw_t::section_flash(unsigned flash) {
    flash_ = flash;
    section_offset_ = 0;
    flash_len_ = 0;
    const uint64_t offset = uint64_t(flash) * flash_size;
    if (offset < section_len_) {
        section_offset_ = static_cast<uint32_t>(offset);
        flash_len_ = std::min<uint32_t>(flash_size, section_len_ - section_offset_);
    } else {
        section_offset_ = section_len_;
    }
    flash_addr_ = (section_ < sections_.size() ? sections_[section_].addr : 0) + section_offset_;
    flash_sent_ = 0;
    crc_ = 0;
    // A block with no bytes (an empty section) has nothing to report: it counts as sent.
    sent_start_ = sent_end_ = flash_len_ == 0;
}

void slb_fw_t::start_flash(unsigned section, unsigned flash) {
    section_ = section;
    section_len_ = get_section_length(section);
    section_flashes_ = (section_len_ + flash_size - 1) / flash_size;
    section_flash(flash);
    uint32_t before = 0;
    for (unsigned i = 0; i < section && i < sections_.size(); ++i) before += sections_[i].length;
    image_offset_ = before + section_offset_;
    at_end_ = section >= sections_.size();
}

bool slb_fw_t::seek_to_data() {
    if (!file_ || section_ >= sections_.size())
        return fail("failed to seek to data: not initialized");
    if (fseeko(file_, sections_[section_].data_offset + section_offset_, SEEK_SET) != 0)
        return fail(std::string("failed to seek to data: ") + strerror(errno));
    return true;
}

bool slb_fw_t::get_data(unsigned char* buf, data_control_t& ctl) {
    for (;;) {
        if (at_end_) return false;
        if (flash_sent_ >= flash_len_) {
            if (!sent_end_) {
                sent_end_ = true;
                ctl.kind = data_control_t::flash_end;
                ctl.length = flash_len_;
                ctl.crc = crc_;
                ctl.flash_addr = flash_addr_;
                return true;
            }
            if (flash_ + 1 < section_flashes_) {
                section_flash(flash_ + 1);
            } else if (section_ + 1 < sections_.size()) {
                start_flash(section_ + 1, 0);
            } else {
                at_end_ = true;
                return false;
            }
            continue;
        }
        if (!sent_start_) {
            sent_start_ = true;
            ctl.kind = data_control_t::flash_start;
            ctl.length = flash_len_;
            ctl.flash_addr = flash_addr_;
            ctl.crc = 0;
            return true;
        }
        const uint32_t n = std::min<uint32_t>(chunk_size, flash_len_ - flash_sent_);
        if (!seek_to_data()) return false;
        if (!read_all(file_, buf, n)) return fail("failed to read data: " + read_error(file_));
        crc_ = tern::crc_checksum(crc_, buf, n);
        ctl.kind = data_control_t::data;
        ctl.length = n;
        ctl.flash_addr = flash_addr_ + flash_sent_;
        ctl.crc = crc_;
        flash_sent_ += n;
        section_offset_ += n;
        image_offset_ += n;
        return true;
    }
}

void slb_fw_t::dump(std::ostream& os) const {
    std::ostringstream s = classic_stream();
    s << "Engine ID: " << engine_id_ << "\nVersion: " << version_ << "\nMfg ID: " << get_mfg_id()
      << "\nDevice ID: " << get_device_id() << "\nBase Addr: " << get_base_addr()
      << "\nSector Flags: " << get_sector_flags() << "\nNumber of Sections: " << sections_.size()
      << "\nTotal Len: " << total_len_ << "\nSection - Address - Length: \n";
    for (size_t i = 0; i < sections_.size(); ++i)
        s << i << " - " << sections_[i].addr << " - " << sections_[i].length << '\n';
    os << s.str();
}

void slb_fw_t::snapshot(std::ostream& os) const {
    std::ostringstream s = classic_stream();
    s << "at_end = " << at_end_ << "\nsent_header = " << sent_start_
      << "\nsent_flash = " << sent_end_ << "\nsection = " << section_
      << "\nsection_len = " << section_len_ << "\nsection_flashes = " << section_flashes_
      << "\nsection_offset = " << section_offset_ << "\nflash = " << flash_
      << "\nflash_len = " << flash_len_ << "\nflash_offset = " << flash_sent_
      << "\nflash_addr = " << flash_addr_ << '\n';
    os << s.str();
}

// ---------------------------------------------------------------------------------------------

slb_decode_t::slb_decode_t() = default;
slb_decode_t::~slb_decode_t() {
    close();
}

void slb_decode_t::close() {
    if (file_) fclose(file_);
    file_ = nullptr;
}

bool slb_decode_t::fail(const std::string& what) {
    err_ = what;
    close();
    return false;
}

bool slb_decode_t::fail_errno(const std::string& what) {
    return fail(what + strerror(errno));
}

bool slb_decode_t::scan(const std::string& path) {
    err_ = "not initialized";
    close();
    fws_.clear();
    single_ = true;
    file_len_ = 0;
    std::memset(header_, 0, sizeof header_);
    std::string why;
    file_ = tern_fw::open_file(path, why);
    if (!file_) return fail("failed to open file: " + why);

    slb_fw_t single;
    if (single.scan(file_)) {
        if (fseeko(file_, 0, SEEK_END) != 0) return fail_errno("failed to seek to end of file: ");
        file_len_ = ftello(file_);
        err_ = "<no error>";
        return true;
    }
    // A file that starts as an image is a damaged image, whose own reason says what is wrong;
    // anything else can only be a combined file.
    if (starts_as_image()) return fail(single.get_err());
    single_ = false;
    return scan_combined();
}

bool slb_decode_t::starts_as_image() {
    unsigned char magic[7];
    return fseeko(file_, 0, SEEK_SET) == 0 && read_all(file_, magic, sizeof magic) &&
           (std::memcmp(magic, magic_alfa, 7) == 0 || std::memcmp(magic, magic_brav, 7) == 0);
}

bool slb_decode_t::scan_combined() {
    if (fseeko(file_, 0, SEEK_SET) != 0) return fail_errno("failed to seek to start of file: ");
    if (!read_all(file_, header_, sizeof header_))
        return fail("failed to read combined header: " + read_error(file_));
    if (std::memcmp(header_, magic_combined, sizeof magic_combined) != 0)
        return fail("failed to locate magic string at start of header");

    if (fseeko(file_, -int(digest_len), SEEK_END) != 0)
        return fail_errno("failed to seek to checksum: ");
    if (!read_all(file_, stored_sum_, digest_len))
        return fail("failed to read file checksum: " + read_error(file_));
    if (fseeko(file_, -int(digest_len), SEEK_END) != 0)
        return fail_errno("failed to seek to end of data: ");
    const int64_t data_len = ftello(file_);
    if (data_len < 0) return fail_errno("failed to get length of data: ");
    if (data_len < int64_t(sizeof header_))
        return fail("failed to read combined header: checksum overlaps it");
    if (fseeko(file_, 0, SEEK_SET) != 0) return fail_errno("failed to seek to start of data: ");
    sha256sum_t sum;
    unsigned char piece[1024];
    for (int64_t left = data_len; left > 0;) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(left, sizeof piece));
        if (!read_all(file_, piece, n))
            return fail("failed to read data for sum: " + read_error(file_));
        sum.add_data(piece, n);
        left -= int64_t(n);
    }
    if (!sum.get_sum(computed_sum_)) return fail("failed to compute checksum");
    if (std::memcmp(computed_sum_, stored_sum_, digest_len) != 0)
        return fail("computed checksum does not match one in file");

    if (fseeko(file_, 16, SEEK_SET) != 0)
        return fail_errno("failed to seek to first firmware block: ");
    const unsigned count = header_[13];
    if (count == 0) return fail("combined file holds no firmware");
    for (unsigned i = 0; i < count; ++i) {
        const std::string which = " of firmware " + std::to_string(i);
        unsigned char block[block_header_len];
        const int64_t block_at = ftello(file_);
        if (block_at < 0 || data_len - block_at < int64_t(block_header_len))
            return fail("failed to read block header for firmware: " +
                        std::string(block_at < 0 ? strerror(errno) : "runs into the checksum"));
        if (!read_all(file_, block, block_header_len))
            return fail("failed to read block header for firmware: " + read_error(file_));
        slb_fw_header_t h;
        h.offset = ftello(file_);
        if (h.offset < 0) return fail_errno("failed to get offset of firmware block: ");
        const uint32_t block_len = le32(block);
        if (block_len < block_header_len)
            return fail("invalid block length" + which + ": " + std::to_string(block_len) +
                        " is below 48");
        if (int64_t(block_len) > data_len - block_at)
            return fail("invalid block length" + which + ": " + std::to_string(block_len) +
                        " runs past the checksum");
        const void* nul = std::memchr(block + 4, 0, 12);
        if (!nul) return fail("engine family name" + which + " is not terminated");
        h.engine_id.assign(reinterpret_cast<const char*>(block + 4),
                           static_cast<const unsigned char*>(nul) - (block + 4));
        h.major = block[16];
        h.minor = block[17];
        h.build = block[18];
        h.length = block_len - block_header_len;
        fws_.push_back(h);
        if (fseeko(file_, h.offset + h.length, SEEK_SET) != 0)
            return fail_errno("failed to seek to start of next firmware block: ");
    }
    // Bytes between the last block and the digest would be a block the count leaves out.
    const int64_t blocks_end = ftello(file_);
    if (blocks_end != data_len)
        return fail("firmware blocks end " + std::to_string(data_len - blocks_end) +
                    " bytes before the checksum");
    // The file is checked end to end: every image must be sound and fit its block now, not
    // only when it is sent.
    for (size_t i = 0; i < fws_.size(); ++i) {
        slb_fw_t fw(fws_[i]);
        if (!fw.scan(file_))
            return fail("failed to initialize firmware " + std::to_string(i) +
                        " from header: " + fw.get_err());
    }
    err_ = "<no error>";
    return true;
}

unsigned slb_decode_t::get_file_version() const {
    return single_ ? 0 : header_[12];
}

unsigned slb_decode_t::get_num_firmwares() const {
    return single_ ? 1 : static_cast<unsigned>(fws_.size());
}

bool slb_decode_t::copy_sum(const unsigned char* from, unsigned char* sum, const char* single) {
    if (!file_) return fail("not initialized");
    if (single_) {
        err_ = single;
        return false;
    }
    std::memcpy(sum, from, digest_len);
    return true;
}

bool slb_decode_t::get_file_checksum(unsigned char sum[32]) {
    return copy_sum(stored_sum_, sum, "file is old single-format - no checksum");
}

bool slb_decode_t::compute_file_checksum(unsigned char sum[32]) {
    return copy_sum(computed_sum_, sum, "file is old single-format - checksum is undefined");
}

slb_fw_t* slb_decode_t::get_fw(unsigned index) {
    if (!file_) {
        err_ = "not initialized";
        return nullptr;
    }
    std::unique_ptr<slb_fw_t> fw;
    if (single_ && index == 0)
        fw = std::make_unique<slb_fw_t>();
    else if (!single_ && index < fws_.size())
        fw = std::make_unique<slb_fw_t>(fws_[index]);
    if (!fw) {
        err_ = "firmware index out of range";
        return nullptr;
    }
    if (!fw->scan(file_)) {
        err_ = "failed to initialize firmware from header: " + fw->get_err();
        return nullptr;
    }
    return fw.release();
}

slb_fw_t* slb_decode_t::get_fw_by_engine(const std::string& engine_id) {
    if (single_ && file_) {
        std::unique_ptr<slb_fw_t> fw(get_fw(0));
        if (fw && fw->get_engine_id() == engine_id) return fw.release();
        if (fw) err_ = "no firmware matches engine";
        return nullptr;
    }
    for (size_t i = 0; i < fws_.size(); ++i)
        if (fws_[i].engine_id == engine_id) return get_fw(static_cast<unsigned>(i));
    err_ = file_ ? "no firmware matches engine" : "not initialized";
    return nullptr;
}

uint32_t slb_decode_t::get_max_fw_size() const {
    if (single_) return static_cast<uint32_t>(file_len_);
    uint32_t most = 0;
    for (const slb_fw_header_t& h : fws_) most = std::max(most, h.length);
    return most;
}

void slb_decode_t::dump(std::ostream& os) {
    std::ostringstream s = classic_stream();
    if (!file_) {
        os << "Not initialized\n";
        return;
    }
    s << "File Version: " << get_file_version();
    if (get_file_version() == 0) s << " (old single firmware format)";
    s << "\nNumber of firmwares: " << get_num_firmwares() << '\n';
    if (single_) s << "Single Firmware\n";
    for (unsigned i = 0; i < get_num_firmwares(); ++i) {
        if (!single_) {
            const slb_fw_header_t& h = fws_[i];
            s << "Firmware " << i << ": " << h.engine_id << " " << h.major << "." << h.minor << "."
              << h.build << " length " << h.length << " offset " << h.offset << '\n';
        }
        std::unique_ptr<slb_fw_t> fw(get_fw(i));
        if (fw)
            fw->dump(s);
        else
            s << "Error: " << err_ << '\n';
    }
    os << s.str();
}
