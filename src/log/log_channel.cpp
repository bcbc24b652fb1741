#include "tern/log/log_channel.h"

#include "tern/config/path_util.h"
#include "tern/thread/glibTimer.h"
#include "tern/thread/thread.h"
#include "tern/usb/usb_dev.h"
#include "tern/usb/usb_mgr.h"
#include "tern/util/processUtil.h"
#include "tern/util/time_util.h"

#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <list>
#include <sstream>

namespace tern {

namespace {

constexpr std::size_t stamp_len = 20; // "20240131_000000+0000"

bool all_digits(const std::string& s, std::size_t pos, std::size_t n, int& value) {
    value = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

// Days from 1970-01-01 to a proleptic Gregorian date.
long long days_from_civil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

// Whether a relative path names a parent directory anywhere: such a path leaves its base.
bool climbs(const std::string& rel) {
    std::list<std::string> parts;
    path_split(rel, parts);
    for (const std::string& p : parts)
        if (p == "..") return true;
    return false;
}

// Deletes the channel's own files older than the cut-off, on its own thread. It touches only
// the file system, and only names the channel itself makes: its prefix, a time stamp and its
// suffix. Another channel's files in the same directory (even with the same suffix) and the
// file being written are never candidates.
class auto_del_t : public thread_nojoin_t {
public:
    auto_del_t(std::string path, std::string prefix, std::string suffix, double cutoff)
        : path_(std::move(path)), prefix_(std::move(prefix)), suffix_(std::move(suffix)),
          cutoff_(cutoff) {}

protected:
    void run() override {
        const std::string dir = dir_name(path_);
        const std::string own = base_name(path_);
        GDir* d = g_dir_open(dir.c_str(), 0, nullptr);
        if (!d) return;
        while (const gchar* entry = g_dir_read_name(d)) {
            const std::string name = entry;
            if (name == own || !ours(name)) continue;
            const std::string full = dir + path_sep() + name;
            struct stat st;
            if (::lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            double t = 0;
            if (!time_from_filename(name, suffix_.size(), t) || t > cutoff_) continue;
            delete_file(full);
        }
        g_dir_close(d);
    }

private:
    bool ours(const std::string& name) const {
        return name.size() == prefix_.size() + stamp_len + suffix_.size() &&
               name.compare(0, prefix_.size(), prefix_) == 0 &&
               name.compare(name.size() - suffix_.size(), suffix_.size(), suffix_) == 0;
    }

    std::string path_, prefix_, suffix_;
    double cutoff_;
};

} // namespace

bool time_from_filename(const std::string& name, std::size_t ext_len, double& t) {
    if (name.size() < ext_len + stamp_len) return false;
    const std::size_t p = name.size() - ext_len - stamp_len;
    if (name[p + 8] != '_' || name.compare(p + 15, 5, "+0000") != 0) return false;
    int year, mon, day, hour, min, sec;
    if (!all_digits(name, p, 4, year) || !all_digits(name, p + 4, 2, mon) ||
        !all_digits(name, p + 6, 2, day) || !all_digits(name, p + 9, 2, hour) ||
        !all_digits(name, p + 11, 2, min) || !all_digits(name, p + 13, 2, sec))
        return false;
    if (year < 1900 || mon > 12 || day < 1 || day > 31 || hour > 23 || min > 59 || sec > 59)
        return false;
    // Month 0 reads as the month before January, as the C library's mktime takes it.
    long long y = year, m = mon;
    if (m == 0) {
        m = 12;
        --y;
    }
    t = static_cast<double>(
        days_from_civil(y, static_cast<unsigned>(m), static_cast<unsigned>(day)) * 86400 +
        hour * 3600 + min * 60 + sec);
    return true;
}

class log_channel_priv_t {
public:
    log_channel_priv_t(log_channel_type_t t, unsigned int f, const std::string& s)
        : type(t), flags(f), suffix(s) {
        del_timer.connect(this, &log_channel_priv_t::retry_auto_del);
    }
    ~log_channel_priv_t() { close_file(); }

    void init();
    void init_path();
    bool split_log_path(std::string& base, std::string& rest) const;
    std::string complete_path(double t) const;
    void check_switch_file(double t, unsigned int& result);
    // Notes the time of a write: a step of more than clock_jump either way starts a new run.
    void observe(double t);
    bool steady() const { return first_run || last_t - run_start >= log_channel_t::clock_settle; }
    // Deletes old files when a deletion is due and the clock allows it; `t` is the time of
    // the write (from_clock: the data clock, read again here).
    void check_auto_del(double t, bool from_clock);
    void retry_auto_del() { check_auto_del(0.0, true); }
    void close_file();
    // Appends the whole block; false (the file as it was before) when it cannot.
    bool write_block(const void* data, std::size_t len);
    void fail() {
        errors |= log_channel_t::err_logging_data;
        cfg.log_enabled = false;
    }

    log_channel_type_t type;
    unsigned int flags;
    log_cfg_t cfg;
    std::FILE* file = nullptr;
    std::string suffix;
    std::string prefix;
    std::string header;
    std::string path;
    unsigned int errors = 0;
    // The period of the current daily or hourly file: [period_start, next_switch).
    double period_start = 0.0;
    double next_switch = 0.0;
    // The channel's view of the clock: the time of the last write and where its run began.
    double last_t = 0.0;
    double run_start = 0.0;
    bool written = false;  // last_t holds a time
    bool first_run = true; // no jump seen yet
    bool del_due = false;  // a file was opened and its auto-delete pass is still to come
    gtimer_t<log_channel_priv_t> del_timer;
};

void log_channel_priv_t::init() {
    errors = 0;
    close_file();
    del_timer.stop();
    del_due = false;
    if (cfg.log_path.empty()) cfg.log_enabled = false;
    if (!cfg.log_enabled) return;
    init_path();
    std::string base, rest;
    if (!split_log_path(base, rest)) {
        errors |= log_channel_t::err_device_not_found;
        return;
    }
    // "/media/usb0/../../etc/x" begins with the mount path, yet its files would land far off
    // the volume: refuse it before anything is created.
    if (climbs(rest)) {
        fail();
        return;
    }
    if (cfg.switch_file == log_cfg_t::switch_fixed) rest = dir_name(rest);
    if (!verify_dir(base, rest)) fail();
}

void log_channel_priv_t::init_path() {
    period_start = next_switch = 0.0;
    if (cfg.switch_file == log_cfg_t::switch_log_start)
        path = complete_path(gettstamp_data());
    else if (cfg.switch_file == log_cfg_t::switch_fixed)
        path = cfg.log_path;
}

bool log_channel_priv_t::split_log_path(std::string& base, std::string& rest) const {
    usb_mgr_t* mgr = usb_mgr_t::get_default();
    usb_dev_t dev;
    if (!mgr || !mgr->get_by_path(cfg.log_path, dev)) return false;
    base = dev.mount_path;
    // The log path may be the mount point itself ("/media/usb0" on "/media/usb0/").
    rest = cfg.log_path.substr(dev.mount_length());
    return true;
}

std::string log_channel_priv_t::complete_path(double t) const {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << cfg.log_path << '/' << prefix << time_fname_t(t, 0) << suffix;
    return s.str();
}

void log_channel_priv_t::check_switch_file(double t, unsigned int& result) {
    std::string next;
    if (cfg.switch_file == log_cfg_t::switch_daily || cfg.switch_file == log_cfg_t::switch_hourly) {
        // Data of the period's first instant belongs to it, and data before the period (a
        // clock that went back) to its own earlier file.
        if (!(t >= period_start && t < next_switch)) {
            const bool daily = cfg.switch_file == log_cfg_t::switch_daily;
            period_start = daily ? midnight_today(t) : top_of_the_hour(t);
            next_switch = period_start + (daily ? 86400.0 : 3600.0);
            next = complete_path(period_start);
        }
    }
    if (!next.empty() && next != path) {
        close_file();
        path = next;
    }
    if (file) return;
    file = std::fopen(path.c_str(), "abe");
    if (!file) {
        result |= log_channel_t::result_failed;
        return;
    }
    // Unbuffered: each block reaches the file at once, so nothing waits in memory for a close.
    std::setvbuf(file, nullptr, _IONBF, 0);
    std::fseek(file, 0, SEEK_END);
    const long end = std::ftell(file);
    result |= log_channel_t::result_new_file;
    del_due = true;
    if (!header.empty() && end <= 0 && !write_block(header.data(), header.size()))
        result |= log_channel_t::result_failed;
}

void log_channel_priv_t::observe(double t) {
    if (!written || t < last_t - log_channel_t::clock_jump ||
        t > last_t + log_channel_t::clock_jump) {
        first_run = first_run && !written;
        run_start = t;
    }
    last_t = t;
    written = true;
}

bool log_channel_priv_t::write_block(const void* data, std::size_t len) {
    // The stream is unbuffered, so its descriptor is written directly: one system call per
    // block, as a plain write() would make.
    const int fd = ::fileno(file);
    const char* p = static_cast<const char*>(data);
    std::size_t left = len;
    off_t start = -1; // where this block begins in the file, once part of it is there
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // A block cut short by a full medium or a file-size limit is taken back, so the
            // file ends with the last whole block. Only this block goes: the file may be shared
            // with another channel, so no count of our own says where the file ended before.
            if (start >= 0 && ::ftruncate(fd, start) != 0) {
            }
            return false;
        }
        if (start < 0 && static_cast<std::size_t>(n) < len) {
            // The file is opened for appending: the offset now ends what was just written.
            const off_t end = ::lseek(fd, 0, SEEK_CUR);
            if (end >= n) start = end - static_cast<off_t>(n);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

void log_channel_priv_t::check_auto_del(double t, bool from_clock) {
    del_timer.stop();
    if (!del_due) return;
    if (cfg.log_auto_delete_age == 0 || cfg.switch_file == log_cfg_t::switch_fixed) {
        del_due = false;
        return;
    }
    if (from_clock) {
        if (!tstamp_data_diff_info()) {
            // Without a data clock no file's age is known: ask again in a second.
            del_timer.start(1000);
            return;
        }
        t = gettstamp_data();
    }
    // After a jump of the clock the pass waits for a later write, once the data has gone on
    // steadily: a stray time stamp far ahead must not age every file.
    if (!steady()) return;
    del_due = false;
    const double cutoff = std::floor(t) - cfg.log_auto_delete_age;
    auto* worker = new auto_del_t(path, prefix, suffix, cutoff);
    worker->start();
    if (worker->unref()) delete worker;
}

void log_channel_priv_t::close_file() {
    if (!file) return;
    std::fclose(file);
    file = nullptr;
    sync_file_async(path);
}

log_channel_t::log_channel_t(log_channel_type_t type, unsigned int flags, const std::string& suffix)
    : priv_(new log_channel_priv_t(type, flags, suffix)) {}

log_channel_t::~log_channel_t() = default;

log_channel_type_t log_channel_t::type() const {
    return priv_->type;
}
unsigned int log_channel_t::channel_flags() const {
    return priv_->flags;
}
unsigned int log_channel_t::error_flags() const {
    return priv_->errors;
}
const log_cfg_t& log_channel_t::log_cfg() const {
    return priv_->cfg;
}
const std::string& log_channel_t::filename_prefix() const {
    return priv_->prefix;
}
void log_channel_t::set_filename_prefix(const std::string& prefix) {
    priv_->prefix = prefix;
}
const std::string& log_channel_t::file_header() const {
    return priv_->header;
}
void log_channel_t::set_file_header(const std::string& header) {
    priv_->header = header;
}
const std::string& log_channel_t::current_path() const {
    return priv_->path;
}

void log_channel_t::set_log_cfg(const log_cfg_t& cfg) {
    priv_->cfg = cfg;
    priv_->init();
}

unsigned int log_channel_t::log_data(const void* data, std::size_t len) {
    return log_data(data, len, NAN);
}

unsigned int log_channel_t::log_data(const void* data, std::size_t len, double t) {
    log_channel_priv_t& p = *priv_;
    if (!p.cfg.log_enabled || len == 0) return 0;
    // The volume is away for now: its return starts the channel again, so only this data is
    // lost, not the logging.
    if (p.errors & err_device_not_found) return 0;
    const bool from_clock = !std::isfinite(t);
    if (from_clock) t = gettstamp_data();
    p.observe(t);
    unsigned int result = 0;
    p.check_switch_file(t, result);
    if (result & result_failed) {
        p.fail();
        return result;
    }
    if (p.del_due) p.check_auto_del(t, from_clock);
    if (!p.write_block(data, len)) {
        p.fail();
        return result | result_failed;
    }
    return result;
}

void log_channel_t::usb_dev_new(const usb_dev_t& dev) {
    if (dev.has_path(priv_->cfg.log_path)) priv_->init();
}

void log_channel_t::usb_dev_changed(const usb_dev_t& old_dev, const usb_dev_t& new_dev) {
    if (old_dev.has_path(priv_->cfg.log_path) || new_dev.has_path(priv_->cfg.log_path))
        priv_->init();
}

void log_channel_t::usb_dev_gone(const usb_dev_t& dev) {
    if (dev.has_path(priv_->cfg.log_path)) priv_->init();
}

} // namespace tern
