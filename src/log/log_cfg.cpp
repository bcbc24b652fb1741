#include "tern/log/log_cfg.h"

#include "tern/msg/msg.h"

#include <ostream>

namespace tern {

std::ostream& operator<<(std::ostream& os, log_channel_type_t v) {
    return os << static_cast<unsigned int>(v);
}

bool log_cfg_t::operator==(const log_cfg_t& o) const {
    return log_enabled == o.log_enabled && switch_file == o.switch_file && log_path == o.log_path &&
           log_diag_mode == o.log_diag_mode && log_auto_delete_age == o.log_auto_delete_age;
}

std::ostream& operator<<(std::ostream& os, log_cfg_t::switch_file_t v) {
    switch (v) {
    case log_cfg_t::switch_hourly:
        return os << "hourly";
    case log_cfg_t::switch_log_start:
        return os << "log_start";
    case log_cfg_t::switch_fixed:
        return os << "fixed";
    default:
        return os << "daily";
    }
}

bool operator>>(const std::string& text, log_cfg_t::switch_file_t& v) {
    if (text == "hourly")
        v = log_cfg_t::switch_hourly;
    else if (text == "log_start")
        v = log_cfg_t::switch_log_start;
    else if (text == "fixed")
        v = log_cfg_t::switch_fixed;
    else
        v = log_cfg_t::switch_daily;
    return true;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const log_cfg_t& cfg) {
    enc << cfg.log_enabled << cfg.switch_file << cfg.log_path << cfg.log_diag_mode
        << cfg.log_auto_delete_age;
    return enc;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, log_cfg_t& cfg) {
    dec >> cfg.log_enabled >> cfg.switch_file >> cfg.log_path >> cfg.log_diag_mode >>
        cfg.log_auto_delete_age;
    return dec;
}

} // namespace tern
