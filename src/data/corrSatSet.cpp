#include <tern/data/corrSatSet.h>

#include <tern/config/path_util.h>
#include <tern/util/quoted.h>

#include <keelconfig/KeelConfig.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tern {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double deg_to_rad = pi / 180.0;
// Geostationary orbit radius in Earth radii.
constexpr double orbit_radius = 6.610709044614748;

// Reads the entry's keys one after the other; the first one missing or not converting
// makes the entry fail, with the reason kept for the load's warnings.
class entry_reader_t {
public:
    entry_reader_t(const KeelConfig& cfg, const std::string& prefix) : cfg_(cfg), prefix_(prefix) {}

    template <class T>
    entry_reader_t& read(const char* suffix, T& value) {
        if (!ok()) return *this;
        const std::string key = prefix_ + suffix;
        KeelConfig::const_iterator it;
        if (!cfg_.find(key, it)) {
            problem_ = "missing " + key;
        } else if (!::operator>>(it->value, value)) {
            problem_ = "bad value of " + key + ": " + quoted(it->value);
        }
        return *this;
    }

    // The longitude, in degrees in the file, converted to radians; it must be finite.
    entry_reader_t& read_longitude(double& value) {
        double deg = 0.0;
        read("_longitude", deg);
        if (!ok()) return *this;
        if (!std::isfinite(deg)) {
            problem_ = "bad value of " + prefix_ + "_longitude: not a finite number";
            return *this;
        }
        value = deg * deg_to_rad;
        return *this;
    }

    bool ok() const { return problem_.empty(); }
    const std::string& problem() const { return problem_; }

private:
    const KeelConfig& cfg_;
    std::string prefix_;
    std::string problem_;
};

// Wraps an angle into [-pi, pi]; a longitude difference may come from values of any turn.
double wrap_pi(double a) {
    if (a >= -pi && a <= pi) return a;
    a = std::fmod(a, 2.0 * pi);
    if (a < -pi) a += 2.0 * pi;
    if (a > pi) a -= 2.0 * pi;
    return a;
}

// Azimuth (clockwise from north) and elevation of a geostationary satellite, in radians.
void look_angles(double latitude, double longitude, double sat_longitude, double& azimuth,
                 double& elevation) {
    const double d = longitude - sat_longitude;
    const double phi = latitude;
    const double c = std::cos(d) * std::cos(phi);
    // Rounding may take 1 - c^2 a hair below zero right under the satellite.
    const double below = std::max(0.0, 1.0 - c * c);
    // atan2 with a non-negative second argument is atan of the ratio, without dividing by 0.
    elevation = std::atan2(orbit_radius * c - 1.0, orbit_radius * std::sqrt(below));

    if (d == 0.0 && phi == 0.0) {
        azimuth = 0.0;
        return;
    }
    const double dw = wrap_pi(d);
    const double t = std::tan(dw);
    const double s = std::sin(phi);
    double ratio_angle;
    if (s != 0.0) {
        ratio_angle = std::atan(t / s);
    } else {
        // On the equator the satellite lies due east or due west.
        ratio_angle = t > 0.0 ? pi / 2.0 : (t < 0.0 ? -pi / 2.0 : 0.0);
    }
    double a = ratio_angle + pi;
    if (phi < 0.0) a -= pi;
    if (a < 0.0) a += 2.0 * pi;
    if (dw < -pi / 2.0)
        a -= pi;
    else if (dw > pi / 2.0)
        a += pi;
    azimuth = a;
}

} // namespace

struct corrSatSet_t::priv_t {
    std::string config_id;
    tksList_t tks;
    sbasList_t sbas;
    std::vector<client_t*> clients; // in registration order
    std::string error;
    std::vector<std::string> warnings;
};

corrSatSet_t::client_t::client_t() {
    corrSatSet_t::instance().addClient(this);
}

corrSatSet_t::client_t::client_t(const client_t&) : client_t() {}

corrSatSet_t::client_t::~client_t() {
    corrSatSet_t::instance().removeClient(this);
}

corrSatSet_t& corrSatSet_t::instance() {
    // Never destroyed: clients that outlive static destruction can still unregister.
    static corrSatSet_t* const table = new corrSatSet_t;
    return *table;
}

corrSatSet_t::corrSatSet_t() : priv_(new priv_t) {
    loadDefault();
}

corrSatSet_t::~corrSatSet_t() = default;

bool corrSatSet_t::loadDefault() {
    const char* dir = std::getenv(TERN_DATA_PATH);
    if (!dir || !*dir) {
        priv_->error = std::string(TERN_DATA_PATH) + " is not set: no correction satellites";
        return false;
    }
    return load(std::string(dir) + "/SATDEFS");
}

bool corrSatSet_t::load(const std::string& path) {
    KeelConfig cfg(std::string(), 2);
    if (!cfg.read(path)) {
        priv_->error = "correction satellites not loaded: " +
                       (cfg.error().empty() ? "cannot read " + path : cfg.error());
        return false;
    }

    priv_t& p = *priv_;
    p.error.clear();
    p.warnings.clear();
    p.config_id.clear();
    p.tks.clear();
    p.sbas.clear();
    std::string id;
    if (cfg.get("id", id)) p.config_id = id;

    for (unsigned int n = 0;; ++n) {
        const std::string prefix = "satellite_" + std::to_string(n);
        std::string type;
        if (!cfg.get(prefix + "_type", type)) break;
        if (type == "tks") {
            tksCorrSat_t sat;
            entry_reader_t r(cfg, prefix);
            r.read("_name", sat.name).read_longitude(sat.longitude).read("_id", sat.id);
            r.read("_net", sat.net).read("_freq", sat.freq).read("_channel", sat.channel);
            r.read("_beam", sat.beam).read("_userdef", sat.userdef);
            if (r.ok())
                p.tks.push_back(sat);
            else
                p.warnings.push_back(prefix + ": " + r.problem());
        } else if (type == "sbas") {
            sbasCorrSat_t sat;
            entry_reader_t r(cfg, prefix);
            r.read("_name", sat.name).read_longitude(sat.longitude).read("_id", sat.id);
            if (r.ok())
                p.sbas.push_back(sat);
            else
                p.warnings.push_back(prefix + ": " + r.problem());
        } else {
            p.warnings.push_back(prefix + ": unknown type " + quoted(type));
        }
    }

    // A client may unregister itself or others while being told: walk a copy and skip any
    // that is gone by its turn.
    const std::vector<client_t*> to_tell = p.clients;
    for (client_t* c : to_tell) {
        const auto& live = priv_->clients;
        if (std::find(live.begin(), live.end(), c) != live.end()) c->corrSatSetChanged();
    }
    return true;
}

const std::string& corrSatSet_t::error() const {
    return priv_->error;
}

const std::vector<std::string>& corrSatSet_t::warnings() const {
    return priv_->warnings;
}

const std::string& corrSatSet_t::configId() const {
    return priv_->config_id;
}

const corrSatSet_t::tksList_t& corrSatSet_t::tksSats() const {
    return priv_->tks;
}

const corrSatSet_t::sbasList_t& corrSatSet_t::sbasSats() const {
    return priv_->sbas;
}

const tksCorrSat_t* corrSatSet_t::findTksSatById(unsigned int id) const {
    for (const tksCorrSat_t& s : priv_->tks)
        if (s.id == id) return &s;
    return nullptr;
}

const sbasCorrSat_t* corrSatSet_t::findSbasSatById(unsigned int id) const {
    for (const sbasCorrSat_t& s : priv_->sbas)
        if (s.id == id) return &s;
    return nullptr;
}

const tksCorrSat_t* corrSatSet_t::findTksSatByFreq(double freq) const {
    for (const tksCorrSat_t& s : priv_->tks)
        if (s.freq == freq) return &s;
    return nullptr;
}

namespace {

template <class L>
unsigned int add_visible(const L& sats, data_csv_ea_t& ea, double latitude, double longitude,
                         double mask) {
    unsigned int added = 0;
    for (const corrSat_t& sat : sats) {
        double az = 0.0, el = 0.0;
        look_angles(latitude, longitude, sat.longitude, az, el);
        // Written so that a NaN elevation (from a NaN position) is left out too.
        if (!(el >= mask)) continue;
        data_csv_ea_t::sat_t entry;
        entry.name = sat.name;
        entry.azimuth = static_cast<float>(az);
        entry.elevation = static_cast<float>(el);
        entry.id = sat.id;
        ea.sats.push_back(entry);
        ++added;
    }
    return added;
}

} // namespace

unsigned int corrSatSet_t::calculate(data_csv_ea_t& ea, double latitude, double longitude,
                                     double mask, const std::set<corrSatType_t>* types) const {
    unsigned int added = 0;
    if (!types || types->count(corrSatType_tks))
        added += add_visible(priv_->tks, ea, latitude, longitude, mask);
    if (!types || types->count(corrSatType_sbas))
        added += add_visible(priv_->sbas, ea, latitude, longitude, mask);
    return added;
}

void corrSatSet_t::addClient(client_t* client) {
    if (!client) return;
    auto& v = priv_->clients;
    if (std::find(v.begin(), v.end(), client) == v.end()) v.push_back(client);
}

void corrSatSet_t::removeClient(client_t* client) {
    auto& v = priv_->clients;
    v.erase(std::remove(v.begin(), v.end(), client), v.end());
}

} // namespace tern
