// Configuration of one log channel and the channel types.
#pragma once

#include <iosfwd>
#include <string>

namespace tern {

class msg_encoder_t;
class msg_decoder_t;

// Log channel kinds; one channel per kind. The owning process picks the raw-data kinds.
enum log_channel_type_t : unsigned char {
    log_channel_raw = 0,  // receiver data as received
    log_channel_csv = 1,  // one CSV line per second
    log_channel_nmea = 2, // generated output sentences
    log_channel_sensor = 3,
};

std::ostream& operator<<(std::ostream& os, log_channel_type_t v); // as a number

// Settings of one log channel.
class log_cfg_t {
public:
    // How files are named and switched.
    enum switch_file_t : unsigned char {
        switch_daily = 0,     // "daily": one file per UTC day
        switch_hourly = 1,    // "hourly": one file per UTC hour
        switch_log_start = 2, // "log_start": one file per start of logging
        switch_fixed = 3,     // "fixed": the log path is the file
    };

    bool log_enabled = false;
    switch_file_t switch_file = switch_daily;
    // Directory of the files; in fixed mode the file itself.
    std::string log_path;
    bool log_diag_mode = false;
    // Files older than this many seconds are deleted; 0 keeps them.
    unsigned int log_auto_delete_age = 0;

    void reset() { *this = log_cfg_t(); }

    bool operator==(const log_cfg_t& o) const;
    bool operator!=(const log_cfg_t& o) const { return !(*this == o); }
};

// Settings text of the switch mode; unknown values write "daily", unknown texts read as daily.
std::ostream& operator<<(std::ostream& os, log_cfg_t::switch_file_t v);
bool operator>>(const std::string& text, log_cfg_t::switch_file_t& v);

// enabled (bool), switch mode (byte), path (string), diag mode (bool), delete age (u32).
msg_encoder_t& operator<<(msg_encoder_t& enc, const log_cfg_t& cfg);
msg_decoder_t& operator>>(msg_decoder_t& dec, log_cfg_t& cfg);

} // namespace tern
