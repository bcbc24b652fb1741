// The process-wide table of geostationary correction satellites and their visibility.
#pragma once

#include <tern/msg/data_msgs.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace tern {

// Kind of a correction satellite.
enum corrSatType_t : unsigned char {
    corrSatType_tks = 0,  // satellite of the correction service
    corrSatType_sbas = 1, // SBAS satellite
};

// What every correction satellite has.
class corrSat_t {
public:
    corrSatType_t type = corrSatType_tks;
    std::string name;
    double longitude = 0.0; // orbital longitude, radians
    unsigned int id = 0;

    explicit corrSat_t(corrSatType_t t) : type(t) {}
};

// An SBAS satellite.
class sbasCorrSat_t : public corrSat_t {
public:
    sbasCorrSat_t() : corrSat_t(corrSatType_sbas) {}
};

// A satellite of the correction service; the values are the service's own and are stored
// and compared only.
class tksCorrSat_t : public corrSat_t {
public:
    int net = 0;
    double freq = 0.0;
    int channel = 0;
    unsigned int beam = 0;
    bool userdef = false;

    tksCorrSat_t() : corrSat_t(corrSatType_tks) {}
};

// The process-wide table of correction satellites, read from the key/value file SATDEFS in
// the data directory ($TERN_DATA_PATH). The table is created on the first call of
// instance(), which loads that file at once; it lives until the process ends. Every
// successful load replaces the table completely and tells every client.
//
// Definitions file keys, with N counting from 0 without padding ("satellite_0_type"):
//   id                                    configuration id
//   satellite_N_type                      "tks" or "sbas"; any other text skips the entry,
//                                         a missing key ends the list
//   satellite_N_name, _longitude (degrees), _id        both kinds
//   satellite_N_net, _freq, _channel, _beam, _userdef  "tks" only
// An entry with a missing key or a value that does not convert (a longitude must be finite)
// is dropped; the entries after it are still read.
//
// Not locked: use it from one thread (the process's main loop).
class corrSatSet_t {
public:
    // A user of the table, told after every successful load. Registers itself with the
    // table on construction and unregisters on destruction.
    class client_t {
    public:
        client_t();
        client_t(const client_t&);
        client_t& operator=(const client_t&) { return *this; }
        virtual ~client_t();
        virtual void corrSatSetChanged() = 0;
    };

    using tksList_t = std::vector<tksCorrSat_t>;
    using sbasList_t = std::vector<sbasCorrSat_t>;

    // Elevation below which calculate() leaves a satellite out by default: 3 degrees.
    static constexpr double defaultElevationMask = 3.0 * 3.14159265358979323846 / 180.0;

    // The table of the process, created (and loaded with loadDefault) on first use.
    static corrSatSet_t& instance();

    corrSatSet_t(const corrSatSet_t&) = delete;
    corrSatSet_t& operator=(const corrSatSet_t&) = delete;
    ~corrSatSet_t();

    // Loads $TERN_DATA_PATH/SATDEFS; false (table unchanged) when the variable is unset or
    // empty, or when load fails.
    bool loadDefault();
    // Replaces the table with the definitions in `path` and tells every client. False when
    // the file cannot be read; the table is then left as it was and error() says why.
    bool load(const std::string& path);
    // Why the last loadDefault or load failed (empty after a success).
    const std::string& error() const;
    // One line per entry that the last successful load dropped, with the reason, e.g.
    // "satellite_2: missing satellite_2_userdef".
    const std::vector<std::string>& warnings() const;

    const std::string& configId() const;
    // In file order. References and pointers into the lists are valid until the next
    // successful load.
    const tksList_t& tksSats() const;
    const sbasList_t& sbasSats() const;

    // The first entry with that identifier, or null.
    const tksCorrSat_t* findTksSatById(unsigned int id) const;
    const sbasCorrSat_t* findSbasSatById(unsigned int id) const;
    // The first correction-service entry whose frequency equals `freq` exactly, or null.
    const tksCorrSat_t* findTksSatByFreq(double freq) const;

    // Appends to `ea` every satellite seen at or above `mask` elevation from (latitude,
    // longitude): the correction-service list first, then SBAS, each in file order, each
    // only when `types` is null or holds its kind. Angles in radians. Returns how many it
    // appended.
    unsigned int calculate(data_csv_ea_t& ea, double latitude, double longitude,
                           double mask = defaultElevationMask,
                           const std::set<corrSatType_t>* types = nullptr) const;

    // Used by client_t. Adding a client twice registers it once.
    void addClient(client_t* client);
    void removeClient(client_t* client);

private:
    corrSatSet_t();

    struct priv_t;
    std::unique_ptr<priv_t> priv_;
};

} // namespace tern
