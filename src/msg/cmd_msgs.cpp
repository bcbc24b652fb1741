#include <tern/msg/cmd_msgs.h>

#include <algorithm>
#include <cstring>
#include <ostream>

namespace tern {

void cmd_time_device_t::encodeContents(msg_encoder_t& enc) const {
    enc << time_device;
}
void cmd_time_device_t::decodeContents(msg_decoder_t& dec) {
    dec >> time_device;
}

void cmd_port_cfg_t::encodeContents(msg_encoder_t& enc) const {
    enc << auto_cfg;
    if (!auto_cfg) enc << cfg.baud << cfg.data_bits << cfg.parity << cfg.stop_bits;
    enc << cfg.flow_control << cfg.use_rts;
}

void cmd_port_cfg_t::decodeContents(msg_decoder_t& dec) {
    dec >> auto_cfg;
    if (!auto_cfg) dec >> cfg.baud >> cfg.data_bits >> cfg.parity >> cfg.stop_bits;
    dec >> cfg.flow_control >> cfg.use_rts;
}

void cmd_device_type_cfg_t::encodeContents(msg_encoder_t& enc) const {
    enc << device_type;
}
void cmd_device_type_cfg_t::decodeContents(msg_decoder_t& dec) {
    dec >> device_type;
}

void cmd_device_name_t::encodeContents(msg_encoder_t& enc) const {
    enc << device_name;
}
void cmd_device_name_t::decodeContents(msg_decoder_t& dec) {
    dec >> device_name;
}

void cmd_port_lock_t::encodeContents(msg_encoder_t& enc) const {
    enc << lock;
}
void cmd_port_lock_t::decodeContents(msg_decoder_t& dec) {
    dec >> lock;
}

void cmd_settings_t::encodeContents(msg_encoder_t& enc) const {
    enc << action;
}
void cmd_settings_t::decodeContents(msg_decoder_t& dec) {
    dec >> action;
}

// ---- cmd_upload_t

void cmd_upload_t::set_data(const void* src, unsigned int n) {
    n = std::min(n, max_data);
    if (src && n)
        std::memcpy(data, src, n);
    else
        n = 0;
    count = static_cast<unsigned short>(n);
}

void cmd_upload_t::encodeContents(msg_encoder_t& enc) const {
    const unsigned int n = std::min<unsigned int>(count, max_data);
    enc << static_cast<unsigned short>(n);
    enc.encodeBlob(data, n);
}

void cmd_upload_t::decodeContents(msg_decoder_t& dec) {
    unsigned short n = 0;
    dec >> n;
    if (dec.is_short()) return;
    if (n > dec.remaining()) {
        // Let the decoder see the missing bytes, so the message is refused as short;
        // nothing is written because the read cannot be satisfied.
        dec.decodeBlob(data, n);
        return;
    }
    const unsigned int keep = std::min<unsigned int>(n, max_data);
    dec.decodeBlob(data, keep);
    // A longer frame than any encoder makes: drop what the inline buffer cannot hold.
    unsigned char sink[64];
    for (unsigned int left = n - keep; left > 0;) {
        const unsigned int step = std::min<unsigned int>(left, sizeof sink);
        dec.decodeBlob(sink, step);
        left -= step;
    }
    count = static_cast<unsigned short>(keep);
}

void cmd_brightness_t::encodeContents(msg_encoder_t& enc) const {
    enc << brightness;
}
void cmd_brightness_t::decodeContents(msg_decoder_t& dec) {
    dec >> brightness;
}

void cmd_log_cfg_t::encodeContents(msg_encoder_t& enc) const {
    enc << action;
    if (action == action_set) enc << channel << cfg;
}

void cmd_log_cfg_t::decodeContents(msg_decoder_t& dec) {
    dec >> action;
    if (action == action_set) dec >> channel >> cfg;
}

void cmd_csv_output_cfg_t::encodeContents(msg_encoder_t& enc) const {
    enc << cfg;
}
void cmd_csv_output_cfg_t::decodeContents(msg_decoder_t& dec) {
    dec >> cfg;
}

void cmd_dev_settings_t::encodeContents(msg_encoder_t& enc) const {
    enc << action << name;
}
void cmd_dev_settings_t::decodeContents(msg_decoder_t& dec) {
    dec >> action >> name;
}

void cmd_alm_request_t::encodeContents(msg_encoder_t& enc) const {
    enc << alm_type;
    const unsigned int n = enc.encodeCount8(sats.size());
    for (unsigned int i = 0; i < n; ++i) enc << sats[i];
}

void cmd_alm_request_t::decodeContents(msg_decoder_t& dec) {
    // Appends to the list held (the decoding constructor starts from an empty one).
    dec >> alm_type;
    unsigned char n = 0;
    dec >> n;
    for (unsigned int i = 0; i < n; ++i) {
        unsigned char sat = 0;
        dec >> sat;
        if (dec.is_short()) break;
        sats.push_back(sat);
    }
}

void cmd_alm_import_t::encodeContents(msg_encoder_t& enc) const {
    enc << alm;
}
void cmd_alm_import_t::decodeContents(msg_decoder_t& dec) {
    dec >> alm;
}

void cmd_net_port_cfg_t::encodeContents(msg_encoder_t& enc) const {
    enc << name << desc;
    enc.encodeString(short_name, max_short_name);
    enc << cfg << number;
}

void cmd_net_port_cfg_t::decodeContents(msg_decoder_t& dec) {
    dec >> name >> desc;
    dec.decodeString(short_name, max_short_name);
    dec >> cfg >> number;
}

void cmd_tks_ip_read_t::encodeContents(msg_encoder_t& enc) const {
    enc << name;
}
void cmd_tks_ip_read_t::decodeContents(msg_decoder_t& dec) {
    dec >> name;
}

void cmd_satdefs_read_t::encodeContents(msg_encoder_t& enc) const {
    enc << name;
}
void cmd_satdefs_read_t::decodeContents(msg_decoder_t& dec) {
    dec >> name;
}

void cmd_snapshot_t::encodeContents(msg_encoder_t& enc) const {
    enc << path << title << notes << has_net_cfg;
    if (has_net_cfg) enc << net_cfg;
}

void cmd_snapshot_t::decodeContents(msg_decoder_t& dec) {
    dec >> path >> title >> notes >> has_net_cfg;
    if (has_net_cfg) dec >> net_cfg;
}

void cmd_webmon_site_cfg_t::encodeContents(msg_encoder_t& enc) const {
    enc << cfg;
}
void cmd_webmon_site_cfg_t::decodeContents(msg_decoder_t& dec) {
    dec >> cfg;
}

void cmd_webmon_server_cfg_read_t::encodeContents(msg_encoder_t& enc) const {
    enc << name;
}
void cmd_webmon_server_cfg_read_t::decodeContents(msg_decoder_t& dec) {
    dec >> name;
}

void cmd_raw_fb_set_t::encodeContents(msg_encoder_t& enc) const {
    enc << set;
}
void cmd_raw_fb_set_t::decodeContents(msg_decoder_t& dec) {
    dec >> set;
}

void cmd_rot_sample_size_t::encodeContents(msg_encoder_t& enc) const {
    enc << action;
    if (action == action_set) enc << sample_size;
}

void cmd_rot_sample_size_t::decodeContents(msg_decoder_t& dec) {
    dec >> action;
    if (action == action_set) dec >> sample_size;
}

// ---- cmd_device_write_t

cmd_device_write_t::cmd_device_write_t(const cmd_device_write_t& o) : msg_t(o) {
    len = static_cast<unsigned short>(std::min<unsigned int>(o.len, max_data));
    std::memcpy(data, o.data, len);
    set_external(o.ext_buf_, true);
}

cmd_device_write_t& cmd_device_write_t::operator=(const cmd_device_write_t& o) {
    if (this == &o) return *this;
    msg_t::operator=(o);
    len = static_cast<unsigned short>(std::min<unsigned int>(o.len, max_data));
    std::memcpy(data, o.data, len);
    set_external(o.ext_buf_, true);
    return *this;
}

cmd_device_write_t::~cmd_device_write_t() {
    clear_ext_buf();
}

void cmd_device_write_t::set_external(refd_buf_t* buf, bool take_ref) {
    // Take the new reference before dropping the old one: the two may be the same buffer,
    // whose last reference could otherwise go first.
    if (buf && take_ref) buf->ref();
    refd_buf_t* old = ext_buf_;
    ext_buf_ = buf;
    refd_buf_t::release(old);
}

void cmd_device_write_t::clear_ext_buf() {
    refd_buf_t* old = ext_buf_;
    ext_buf_ = nullptr;
    refd_buf_t::release(old);
}

void cmd_device_write_t::set_data(const void* src, unsigned int n) {
    n = std::min(n, max_data);
    if (src && n)
        std::memcpy(data, src, n);
    else
        n = 0;
    len = static_cast<unsigned short>(n);
}

const unsigned char* cmd_device_write_t::write_data() const {
    return ext_buf_ ? ext_buf_->data() : data;
}

unsigned int cmd_device_write_t::write_len() const {
    return ext_buf_ ? ext_buf_->len() : std::min<unsigned int>(len, max_data);
}

// ---- cmd_time_sync_t

void cmd_time_sync_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    msg_t::dump(os);
    os << "utc_tstamp " << utc_tstamp << '\n';
}

} // namespace tern
