// One log channel: appends the bytes it is given to files on a mounted USB volume.
//
// File names (daily, hourly and log_start modes), in the directory `log_path`:
//
//   <prefix><yyyymmdd>_<hhmmss>+0000<suffix>     e.g. raw_20240131_000000+0000.raw
//
// The time is UTC: the start of the day, the start of the hour, or the data time at which
// logging (re)started. In fixed mode `log_path` is the file itself. A new or empty file starts
// with the channel's header. Closed files are flushed to the medium by a separate process, and
// old files of the channel are deleted on a worker thread.
#pragma once

#include <tern/log/log_cfg.h>

#include <cstddef>
#include <memory>
#include <string>

class usb_dev_t;

namespace tern {

class log_channel_priv_t;

class log_channel_t {
public:
    // Channel flag: the owner wants to hear of new files and of the channel being disabled.
    static constexpr unsigned int flag_notify = 1;
    // Error flags.
    static constexpr unsigned int err_device_not_found = 1;
    static constexpr unsigned int err_logging_data = 2;
    // Bits of the result of log_data.
    static constexpr unsigned int result_failed = 1;   // not written; the channel is disabled
    static constexpr unsigned int result_new_file = 2; // a file was opened for this write

    log_channel_t(log_channel_type_t type, unsigned int flags, const std::string& suffix);
    // Closes the file (flushed in the background).
    ~log_channel_t();
    log_channel_t(const log_channel_t&) = delete;
    log_channel_t& operator=(const log_channel_t&) = delete;

    log_channel_type_t type() const;
    unsigned int channel_flags() const;
    unsigned int error_flags() const;
    const log_cfg_t& log_cfg() const;
    const std::string& filename_prefix() const;
    void set_filename_prefix(const std::string& prefix);
    const std::string& file_header() const;
    // Taken by the next new or empty file; an open file keeps its own.
    void set_file_header(const std::string& header);
    // The file written to (or about to be); empty before the first daily or hourly write.
    const std::string& current_path() const;

    // Stores the configuration and starts the channel afresh: errors cleared, file closed, the
    // volume looked up and the directories made.
    void set_log_cfg(const log_cfg_t& cfg);

    // Appends the bytes as one block; 0 without doing anything when disabled, when `len` is 0
    // or while the volume is missing (the data is then dropped). See the result bits above.
    // A short write (full medium, file-size limit) takes back only the part of this block that
    // reached the file, so a file shared by channels ends on the last whole block.
    unsigned int log_data(const void* data, std::size_t len);

    // A volume event starts the channel afresh when the volume holds the log path (for a
    // change: before or after it).
    void usb_dev_new(const usb_dev_t& dev);
    void usb_dev_changed(const usb_dev_t& old_dev, const usb_dev_t& new_dev);
    void usb_dev_gone(const usb_dev_t& dev);

private:
    std::unique_ptr<log_channel_priv_t> priv_;
};

// Reads the time stamp of a log file name: the 20 characters "yyyymmdd_hhmmss+0000" that end
// the name before its last `ext_len` characters. False when the name has none.
bool time_from_filename(const std::string& name, std::size_t ext_len, double& t);

} // namespace tern
