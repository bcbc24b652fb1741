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
//
// Time of a write: the time given with the data, else the data clock. A daily or hourly write
// goes into the file of the period that holds its time, whichever way the clock moved: data
// stamped at the first instant of a period opens the new file, and data stamped before the
// current period (a clock that went back) goes back to the file of its own period.
//
// Auto-delete: each file opening makes one pass due, deleting the channel's files whose name
// is at or before (the time of the write, in whole seconds) minus the age. The channel follows
// the times of its writes: a step of more than clock_jump seconds either way from the write
// before is a jump, and after a jump a due pass waits until the writes have gone on without one
// for clock_settle seconds; the first writes of a channel, before any jump, count as steady.
// So a few data stamped far ahead (or behind) among ordinary data never age the files: the
// pass is made later, at the time of the ordinary data. A clock that wanders by less than
// clock_jump is taken as it is.
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
    // Auto-delete's view of the clock, in seconds (see the top of this file).
    static constexpr double clock_jump = 60.0;
    static constexpr double clock_settle = 60.0;

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
    // The first form writes at the data clock; the second at `t`, the data's own time (seconds
    // since 1970 UTC; not finite: the data clock), so the block lands in the file of its period.
    // A short write (full medium, file-size limit) takes back only the part of this block that
    // reached the file, so a file shared by channels ends on the last whole block.
    unsigned int log_data(const void* data, std::size_t len);
    unsigned int log_data(const void* data, std::size_t len, double t);

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
