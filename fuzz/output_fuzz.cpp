// Feeds arbitrary frames through creation by number into an output builder with every
// sentence enabled (first byte picks the dialect, talker and filter settings), and checks
// that every produced sentence is framed: "$"...,"*HH" CR LF within 1024 bytes, or a TSS1
// record.
#include <tern/msg/catalogue.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/output/nmeaBuilder.h>
#include <tern/output/outputBuilder.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

tern::output_cfg_t config(std::uint8_t b) {
    tern::output_cfg_t c;
    c.setFlagBits(~0ULL);
    c.nmea_version = (b & 1) ? tern::nmea_version_2_1 : tern::nmea_version_3_01;
    c.strict_nmea = (b & 2) != 0;
    c.force_talker = static_cast<tern::force_talker_t>((b >> 2) & 7);
    c.dpgga_cfg.filter_enable = (b & 32) != 0;
    c.dpgga_cfg.fix_mode_max = (b & 64) != 0;
    c.gga_ref_type = (b & 128) ? tern::gga_ref_qvt : tern::gga_ref_nmea;
    c.dpgga_cfg.min_3D_time = 2;
    return c;
}

void check(const tern::cmd_device_write_t& cmd) {
    const unsigned n = cmd.write_len();
    const char* s = reinterpret_cast<const char*>(cmd.write_data());
    if (n == 0 || n > tern::cmd_device_write_t::max_data) std::abort();
    if (s[0] == ':') {
        if (n != 27) std::abort();
        return;
    }
    if (s[0] != '$' || n < 6 || std::memcmp(s + n - 2, "\r\n", 2) != 0 || s[n - 5] != '*')
        std::abort();
    // Nothing inside may break the framing.
    for (unsigned i = 1; i < n - 5; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '$' || c == '*' || c < 0x20 || c >= 0x7F) std::abort();
    }
    static const char hex[] = "0123456789ABCDEF";
    const unsigned char sum = tern::nmea_checksum(s, n);
    if (s[n - 4] != hex[sum >> 4] || s[n - 3] != hex[sum & 15]) std::abort();
    // Never "nan" or "inf" (copied names of DTM and NAVQ may hold any letters).
    if (std::memcmp(s + 3, "DTM", 3) == 0 || std::memcmp(s, "$PQVTR,NAVQ", 11) == 0) return;
    for (const char* bad : {"nan", "inf"})
        for (unsigned i = 0; i + 3 <= n; ++i)
            if (std::memcmp(s + i, bad, 3) == 0) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    tern::outputBuilder_t ob;
    ob.setConfig(config(data[0]));
    ob.setRawFbSet(tern::rawMsgSet_t(true));
    tern::outputBuilder_t::msgList_t out;
    tern::msg_decoder_t dec;
    std::size_t off = 1;
    while (off < size) {
        const unsigned n = dec.decode_init(data + off, static_cast<unsigned>(size - off));
        if (n == 0) break;
        if (dec.is_valid()) {
            std::unique_ptr<tern::msg_t> msg = tern::create_msg(dec);
            if (const auto* d = dynamic_cast<const tern::data_msg_t*>(msg.get()))
                ob.handleDataMessage(*d, out);
        }
        off += n;
    }
    for (tern::msg_t* m : out) {
        if (const auto* cmd = dynamic_cast<const tern::cmd_device_write_t*>(m)) check(*cmd);
        delete m;
    }
    return 0;
}
