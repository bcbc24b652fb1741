#include "tern/almanac/alm_mgr_gps.h"

#include "tern/config/path_util.h"
#include "tern/msg/fb_msgs.h"
#include "tern/util/quoted.h"
#include "tern/util/time_util.h"

#include <keelconfig/KeelConfig.h>

#include <glib.h>
#include <glib/gstdio.h>

#include <cmath>
#include <limits>
#include <map>

namespace tern {

namespace {

constexpr char key_prn[] = "alm_prn";
constexpr char key_health[] = "alm_health";
constexpr char key_week[] = "alm_gps_week";
constexpr char key_week_sec[] = "alm_gps_week_sec";

// The nine doubles of a record, in file order.
struct double_key_t {
    const char* key;
    double alm_data_gps_t::*field;
};
constexpr double_key_t double_keys[] = {
    {"alm_mean_anom", &alm_data_gps_t::mean_anom},
    {"alm_eccentricity", &alm_data_gps_t::eccentricity},
    {"alm_inclination", &alm_data_gps_t::inclination},
    {"alm_arg_perigee", &alm_data_gps_t::arg_perigee},
    {"alm_sqrt_a", &alm_data_gps_t::sqrt_a},
    {"alm_omega_dot", &alm_data_gps_t::omega_dot},
    {"alm_omega0", &alm_data_gps_t::omega0},
    {"alm_af0", &alm_data_gps_t::af0},
    {"alm_af1", &alm_data_gps_t::af1},
};

// Reads one key; a key whose text does not convert counts as missing.
template <class T>
bool read_key(const KeelConfig& cfg, const char* key, T& value, std::string& why) {
    KeelConfig::const_iterator it;
    if (!cfg.find(key, it)) {
        why = std::string("key ") + key + " is missing";
        return false;
    }
    T v{};
    if (!::operator>>(it->value, v)) {
        why = std::string("key ") + key + " does not convert: " + quoted(it->value);
        return false;
    }
    value = v;
    return true;
}

// The almanac's time as a double, for comparisons beyond the 32-bit range.
double alm_unix_time(const alm_data_gps_t& alm) {
    return gpsTimeToUnix(alm.gps_week, alm.gps_week_sec);
}

// Only a regular file of a sane size is read: a FIFO would block the reader for ever and a
// huge file would be read whole. stat() opens nothing, so it cannot block. A path stat()
// cannot reach sets `missing` when asked for, else is left for the read to name the failure.
bool plain_file(const std::string& path, std::string& why, bool* missing) {
    GStatBuf st;
    if (g_stat(path.c_str(), &st) != 0) {
        if (!missing) return true;
        *missing = true;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        why = "not a regular file";
        return false;
    }
    if (static_cast<unsigned long long>(st.st_size) > alm_mgr_gps_t::max_file_size) {
        why = "larger than " + std::to_string(alm_mgr_gps_t::max_file_size) + " bytes";
        return false;
    }
    return true;
}

// alm_load, telling apart (with `missing`) a file that is not there.
bool load_record(alm_data_gps_t& alm, const std::string& path, std::string& why, bool* missing) {
    KeelConfig cfg("", 2);
    alm_data_gps_t rec;
    unsigned int prn = 0, health = 0, week = 0;
    bool ok = plain_file(path, why, missing);
    if (ok && !(ok = cfg.read(path))) why = cfg.error();
    ok = ok && read_key(cfg, key_prn, prn, why) && read_key(cfg, key_health, health, why) &&
         read_key(cfg, key_week, week, why) && read_key(cfg, key_week_sec, rec.gps_week_sec, why);
    for (const double_key_t& k : double_keys) ok = ok && read_key(cfg, k.key, rec.*k.field, why);
    if (ok && (prn < 1 || prn > alm_mgr_gps_t::max_prn)) {
        why = "alm_prn " + std::to_string(prn) + " is not 1 to 32";
        ok = false;
    }
    if (!ok) return false;
    rec.prn = static_cast<unsigned char>(prn);
    rec.health = static_cast<unsigned char>(health);
    rec.gps_week = static_cast<unsigned short>(week);
    alm = rec;
    return true;
}

} // namespace

struct alm_mgr_gps_t::priv_t {
    struct entry_t {
        std::unique_ptr<alm_data_gps_t> alm;
        bool is_new = false;
        // Taken with saving on while its date was not plausible: saved once the clock allows.
        bool unsaved = false;
        void store(std::unique_ptr<alm_data_gps_t> a) {
            alm = std::move(a);
            is_new = true;
            unsaved = false;
        }
    };

    std::map<unsigned int, entry_t> entries;
    unsigned int count = 0;
    std::uint32_t oldest = 0;
    std::uint32_t newest = 0;
    bool save = false;
    std::vector<std::string> skipped;
    desc_t desc;

    // Dated further after the data time than any real almanac can be. While the data clock
    // is far behind (before the first fix, a controller booting in 2000) every almanac is.
    static bool in_future(const alm_data_gps_t& alm) {
        return alm_unix_time(alm) > gettstamp_data() + future_limit;
    }

    // Whether `a` takes the place of `held`. A plausible almanac beats one from the far future
    // and never loses to one; between two of a kind the newer wins, so a clock that is wrong
    // for both does not let an older one in.
    static bool replaces(const alm_data_gps_t& a, const alm_data_gps_t& held) {
        const bool a_future = in_future(a);
        const bool held_future = in_future(held);
        if (a_future != held_future) return held_future;
        return alm_age_cmp(a, held) > 0;
    }

    // Saves what was held back while the clock made it implausible, now that it does not.
    void save_pending() {
        for (auto& kv : entries) {
            entry_t& e = kv.second;
            if (!e.unsaved || !e.alm || in_future(*e.alm)) continue;
            e.unsaved = false;
            if (!save) continue;
            std::string why;
            if (!alm_save(*e.alm, alm_filename(e.alm->prn), &why)) desc.clear_desc() << why;
        }
    }

    // Oldest and newest of what is held now, so a replaced almanac's time does not linger;
    // almanacs from the far future take no part.
    void recompute_ages() {
        oldest = newest = 0;
        for (const auto& kv : entries) {
            if (!kv.second.alm || in_future(*kv.second.alm)) continue;
            const std::uint32_t t = alm_time(*kv.second.alm);
            if (t > newest) newest = t;
            if (oldest == 0 || oldest > t) oldest = t;
        }
    }
};

alm_mgr_gps_t::alm_mgr_gps_t() : priv_(new priv_t) {}

alm_mgr_gps_t::~alm_mgr_gps_t() {
    clear();
}

void alm_mgr_gps_t::clear() {
    priv_->entries.clear();
    priv_->count = 0;
    priv_->oldest = priv_->newest = 0;
}

bool alm_mgr_gps_t::does_save() const {
    return priv_->save;
}

void alm_mgr_gps_t::set_save(bool save) {
    priv_->save = save;
}

void alm_mgr_gps_t::load() {
    clear();
    priv_->skipped.clear();
    for (unsigned int prn = 1; prn <= max_prn; ++prn) {
        priv_t::entry_t& e = priv_->entries[prn];
        const std::string path = alm_filename(prn);
        std::unique_ptr<alm_data_gps_t> alm(new alm_data_gps_t());
        std::string why;
        bool missing = false;
        bool ok = load_record(*alm, path, why, &missing);
        if (missing) continue;
        if (ok && alm->prn != prn) {
            why = "alm_prn " + std::to_string(alm->prn) + " does not match the file's name";
            ok = false;
        }
        if (!ok) {
            priv_->skipped.push_back(path + ": " + why);
            priv_->desc.clear_desc() << priv_->skipped.back();
            continue;
        }
        e.store(std::move(alm));
        ++priv_->count;
    }
    priv_->recompute_ages();
}

void alm_mgr_gps_t::add(alm_data_gps_t* raw) {
    std::unique_ptr<alm_data_gps_t> alm(raw);
    if (!alm) return;
    priv_t::entry_t& e = priv_->entries[alm->prn];
    if (!e.alm || priv_t::replaces(*alm, *e.alm)) {
        if (!e.alm) ++priv_->count;
        e.store(std::move(alm));
        e.unsaved = priv_->save;
    }
    priv_->save_pending();
}

void alm_mgr_gps_t::handle(const fb_alm_gps_t& msg) {
    add(new alm_data_gps_t(msg.alm));
}

void alm_mgr_gps_t::update(std::list<msg_t*>& msgs, bool all) {
    priv_->save_pending();
    for (auto& kv : priv_->entries) {
        priv_t::entry_t& e = kv.second;
        // One that cannot be sent yet stays new until the clock makes it plausible.
        if (!e.alm || priv_t::in_future(*e.alm)) continue;
        if (e.is_new || all) msgs.push_back(new fb_alm_gps_t(*e.alm));
        e.is_new = false;
    }
}

void alm_mgr_gps_t::update(std::list<msg_t*>& msgs, unsigned char prn) {
    priv_->save_pending();
    const alm_data_gps_t* alm = get_alm(prn);
    if (alm && !priv_t::in_future(*alm)) msgs.push_back(new fb_alm_gps_t(*alm));
}

void alm_mgr_gps_t::update(std::list<msg_t*>& msgs, int prn) {
    if (prn >= 0 && prn <= 255) update(msgs, static_cast<unsigned char>(prn));
}

void alm_mgr_gps_t::update(std::list<msg_t*>& msgs, unsigned int prn) {
    if (prn <= 255) update(msgs, static_cast<unsigned char>(prn));
}

const alm_data_gps_t* alm_mgr_gps_t::get_alm(unsigned int prn) const {
    const auto it = priv_->entries.find(prn);
    return it == priv_->entries.end() ? nullptr : it->second.alm.get();
}

unsigned int alm_mgr_gps_t::num() const {
    return priv_->count;
}
// The clock decides which almanacs count, so the times are taken as it is now.
std::uint32_t alm_mgr_gps_t::oldest() const {
    priv_->recompute_ages();
    return priv_->oldest;
}
std::uint32_t alm_mgr_gps_t::newest() const {
    priv_->recompute_ages();
    return priv_->newest;
}
const std::vector<std::string>& alm_mgr_gps_t::skipped() const {
    return priv_->skipped;
}
const desc_t& alm_mgr_gps_t::desc() const {
    return priv_->desc;
}

std::string alm_mgr_gps_t::alm_filename(unsigned int prn) {
    return get_system_file_path(TERN_DATA_PATH, "almanac/" + std::to_string(prn));
}

bool alm_mgr_gps_t::alm_save(const alm_data_gps_t& alm, const std::string& path, std::string* why) {
    KeelConfig cfg("", 20);
    cfg.set(key_prn, static_cast<unsigned int>(alm.prn));
    cfg.set(key_health, static_cast<unsigned int>(alm.health));
    cfg.set(key_week, static_cast<unsigned int>(alm.gps_week));
    cfg.set(key_week_sec, alm.gps_week_sec);
    for (const double_key_t& k : double_keys) cfg.set(k.key, alm.*k.field);
    // A crash may cost the newest almanac, never leave a damaged file: the receiver sends its
    // almanacs again, so the directory is not flushed after every one of the 32.
    if (cfg.write(path, KeelConfig::WriteMode::atomic)) return true;
    if (why) *why = cfg.error();
    return false;
}

bool alm_mgr_gps_t::alm_load(alm_data_gps_t& alm, const std::string& path, std::string* why) {
    std::string reason;
    if (load_record(alm, path, reason, nullptr)) return true;
    if (why) *why = reason;
    return false;
}

bool alm_mgr_gps_t::alm_save(const alm_data_gps_t* alm, const std::string& path) {
    return alm && alm_save(*alm, path);
}

bool alm_mgr_gps_t::alm_load(alm_data_gps_t* alm, const std::string& path) {
    return alm && alm_load(*alm, path);
}

int alm_mgr_gps_t::alm_age_cmp(const alm_data_gps_t* a, const alm_data_gps_t* b) {
    if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
    return alm_age_cmp(*a, *b);
}

int alm_mgr_gps_t::alm_age_cmp(const alm_data_gps_t& a, const alm_data_gps_t& b) {
    if (a.gps_week != b.gps_week) return a.gps_week > b.gps_week ? 1 : -1;
    if (a.gps_week_sec != b.gps_week_sec) return a.gps_week_sec > b.gps_week_sec ? 1 : -1;
    return 0;
}

std::uint32_t alm_mgr_gps_t::alm_time(const alm_data_gps_t& alm) {
    const double t = alm_unix_time(alm);
    if (!(t > 0.0)) return 0;
    if (t >= static_cast<double>(std::numeric_limits<std::uint32_t>::max()))
        return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(t);
}

} // namespace tern
