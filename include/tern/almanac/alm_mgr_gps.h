// The GPS almanac manager: the newest almanac per PRN, kept across restarts in one key/value
// file per PRN.
//
// Almanac file: the data directory ($TERN_DATA_PATH, else /tmp), "almanac/", the PRN in
// decimal, no extension (for example /data/almanac/7). A KeelConfig file (format in
// keelconfig/KeelConfig.h) with these keys, in this order:
//
//   alm_prn=7                    unsigned, 1 to 32, must match the file's name
//   alm_health=0                 unsigned
//   alm_gps_week=2000            unsigned
//   alm_gps_week_sec=61440       unsigned
//   alm_mean_anom=...            the nine orbit and clock terms, doubles written with the
//   alm_eccentricity=...         fewest digits that read back to the same value
//   alm_inclination=...
//   alm_arg_perigee=...
//   alm_sqrt_a=...
//   alm_omega_dot=...
//   alm_omega0=...
//   alm_af0=...
//   alm_af1=...
//
// Files are replaced atomically, so a crash leaves the old almanac or the new one. A file
// with a missing or unreadable key, an out-of-range or mismatched PRN is skipped whole, and so
// is anything that is not a regular file of at most max_file_size bytes (a FIFO, a directory,
// a runaway file).
#pragma once

#include <tern/msg/records.h>
#include <tern/thread/desc.h>

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace tern {

class msg_t;
class fb_alm_gps_t;

class alm_mgr_gps_t {
public:
    static constexpr unsigned int max_prn = 32;
    // An almanac dated further than this after the data time is not a real one (a receiver's
    // placeholder week, a damaged import).
    static constexpr double future_limit = 604800.0;
    // An almanac file is a few hundred bytes; a bigger one is not read.
    static constexpr unsigned long long max_file_size = 65536;

    alm_mgr_gps_t();
    virtual ~alm_mgr_gps_t();
    alm_mgr_gps_t(const alm_mgr_gps_t&) = delete;
    alm_mgr_gps_t& operator=(const alm_mgr_gps_t&) = delete;

    // Forgets every almanac; num, oldest and newest become 0.
    void clear();
    bool does_save() const;
    // With saving on, every almanac taken by add() is written to its file (one from the far
    // future only once the clock makes it plausible).
    void set_save(bool save);
    // Replaces the contents by the files of PRN 1 to 32. A missing file leaves its PRN empty;
    // a damaged, oversized or not regular one too, with one line of reason in skipped() (and
    // the last in desc()).
    void load();
    // Takes ownership of a heap record (null: nothing). It is kept when its PRN holds none,
    // when it is newer than the held one, or when the held one is dated in the far future
    // (future_limit after the data clock) and it is not; else it is deleted. A record dated in
    // the far future never replaces a plausible one. While the data clock is far behind (no
    // fix yet) every almanac is from the far future: they are compared by age as usual, and
    // one held then is saved and sent once the clock makes it plausible (on the next add or
    // update).
    void add(alm_data_gps_t* alm);
    // Adds a copy of the message's almanac.
    void handle(const fb_alm_gps_t& msg);
    // Appends a feedback message for every almanac that arrived since the last call, or for
    // every almanac held when `all` is true, in PRN order; clears the new marks of those sent.
    // An almanac from the far future is not sent and stays new.
    void update(std::list<msg_t*>& msgs, bool all);
    // Appends a feedback message for the almanac of `prn` when one is held.
    void update(std::list<msg_t*>& msgs, unsigned char prn);
    void update(std::list<msg_t*>& msgs, int prn);
    void update(std::list<msg_t*>& msgs, unsigned int prn);

    // The almanac held for `prn`, or null. Owned by the manager.
    const alm_data_gps_t* get_alm(unsigned int prn) const;
    unsigned int num() const;
    // Oldest and newest almanac time (UTC seconds since 1970) of the plausible almanacs held
    // now, by the data clock as it is now; 0 while none is held.
    std::uint32_t oldest() const;
    std::uint32_t newest() const;

    // Reasons for the files the last load() skipped, one line each.
    const std::vector<std::string>& skipped() const;
    // The last failure (a skipped file, a failed save).
    const desc_t& desc() const;

    // The file of `prn`.
    static std::string alm_filename(unsigned int prn);
    // Writes the record's thirteen keys to `path`; false (with `why`) when it cannot.
    static bool alm_save(const alm_data_gps_t& alm, const std::string& path,
                         std::string* why = nullptr);
    // Reads a record from `path`; false (record untouched, `why` set) when the file is not a
    // regular file of at most max_file_size bytes or cannot be read, a key is missing or does
    // not convert, or alm_prn is not 1 to 32.
    static bool alm_load(alm_data_gps_t& alm, const std::string& path, std::string* why = nullptr);
    // The same for a record held by pointer; a null record is never saved nor loaded.
    static bool alm_save(const alm_data_gps_t* alm, const std::string& path);
    static bool alm_load(alm_data_gps_t* alm, const std::string& path);
    // 1 when `a` is newer than `b` (greater week, then greater seconds), -1 when older, else 0.
    static int alm_age_cmp(const alm_data_gps_t& a, const alm_data_gps_t& b);
    // As above; a null record is older than any other.
    static int alm_age_cmp(const alm_data_gps_t* a, const alm_data_gps_t* b);
    // The almanac's time: week and seconds as UTC seconds since 1970, leap seconds taken off;
    // times beyond 2106 read as 4294967295.
    static std::uint32_t alm_time(const alm_data_gps_t& alm);

private:
    struct priv_t;
    std::unique_ptr<priv_t> priv_;
};

} // namespace tern
