#include <tern/msg/cmd_msgs.h>

#include "util/sanitizer_priv.h"

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

namespace {

// The memory of dropped commands that a thread keeps for its next ones: at most `capacity`
// blocks (64 KiB), the rest goes back to the heap. Each thread has its own, so no lock is
// taken; a command deleted on another thread than its maker's joins that thread's store.
// When the thread ends its store is emptied and closed: commands deleted after that (by the
// destructors of statics, say) go straight back to the heap.
struct cmd_store_t {
    static constexpr unsigned int capacity = 64;
    enum : unsigned char { unused, open, closed };
    void* slots[capacity];
    unsigned int count;
    unsigned char state;
};
// Plain data, so that reaching it costs no guard and it outlives the thread's destructors.
thread_local cmd_store_t cmd_store;

// Empties the thread's store when the thread ends; set up by the thread's first command.
struct cmd_store_drain_t {
    void arm() {}
    ~cmd_store_drain_t() {
        cmd_store_t& s = cmd_store;
        s.state = cmd_store_t::closed;
        while (s.count > 0) ::operator delete(s.slots[--s.count]);
    }
};
thread_local cmd_store_drain_t cmd_store_drain;

// Under AddressSanitizer every command goes to the heap and back, so that a use after
// delete is still reported rather than landing in a recycled command.
constexpr bool cmd_recycling = !TERN_ASAN;

// The thread's first command sets up the drain; a closed store takes no part.
__attribute__((noinline)) bool open_store(cmd_store_t& s) {
    if (s.state == cmd_store_t::unused) {
        cmd_store_drain.arm();
        s.state = cmd_store_t::open;
    }
    return s.state == cmd_store_t::open;
}

cmd_store_t* store_for(std::size_t size) {
    if (!cmd_recycling || size != sizeof(cmd_device_write_t)) return nullptr;
    cmd_store_t* s = &cmd_store;
    // Looked up once: the compiler would otherwise ask for the thread's block again.
    asm("" : "+r"(s));
    return s->state == cmd_store_t::open || open_store(*s) ? s : nullptr;
}

void* cmd_take(std::size_t size) {
    cmd_store_t* s = store_for(size);
    return s && s->count > 0 ? s->slots[--s->count] : nullptr;
}

bool cmd_keep(void* p, std::size_t size) {
    cmd_store_t* s = store_for(size);
    if (!s || s->count == cmd_store_t::capacity) return false;
    s->slots[s->count++] = p;
    return true;
}

} // namespace

void* cmd_device_write_t::operator new(std::size_t size) {
    if (void* p = cmd_take(size)) return p;
    return ::operator new(size);
}

void* cmd_device_write_t::operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (void* p = cmd_take(size)) return p;
    return ::operator new(size, std::nothrow);
}

void cmd_device_write_t::operator delete(void* p, std::size_t size) noexcept {
    if (p && !cmd_keep(p, size)) ::operator delete(p);
}

void cmd_device_write_t::operator delete(void* p, const std::nothrow_t&) noexcept {
    ::operator delete(p);
}

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
