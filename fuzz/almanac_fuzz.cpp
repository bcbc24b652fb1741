// Feeds arbitrary bytes to the GPS almanac loader as an almanac file: whatever loads must save
// and load back to the same record, bit for bit. The same bytes, as a device's text, must
// come out of the snapshot escaping without a character that could open or close markup.
#include <tern/almanac/alm_mgr_gps.h>
#include <tern/config/snapshot_util.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::string scratch(const char* what) {
    return "/tmp/almanac_fuzz." + std::to_string(::getpid()) + "." + what;
}

struct paths_t {
    std::string input = scratch("in");
    std::string output = scratch("out");
    ~paths_t() {
        std::remove(input.c_str());
        std::remove(output.c_str());
    }
};

// Field by field, so that NaN terms compare by their bits.
bool same_bits(const tern::alm_data_gps_t& a, const tern::alm_data_gps_t& b) {
    const double* da[] = {&a.mean_anom, &a.eccentricity, &a.inclination, &a.arg_perigee, &a.sqrt_a,
                          &a.omega_dot, &a.omega0,       &a.af0,         &a.af1};
    const double* db[] = {&b.mean_anom, &b.eccentricity, &b.inclination, &b.arg_perigee, &b.sqrt_a,
                          &b.omega_dot, &b.omega0,       &b.af0,         &b.af1};
    for (int i = 0; i < 9; ++i)
        if (std::memcmp(da[i], db[i], sizeof(double)) != 0) return false;
    return a.prn == b.prn && a.health == b.health && a.gps_week == b.gps_week &&
           a.gps_week_sec == b.gps_week_sec;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const paths_t paths;
    {
        std::ofstream(paths.input, std::ios::binary)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    tern::alm_data_gps_t alm, back;
    std::string why;
    if (tern::alm_mgr_gps_t::alm_load(alm, paths.input, &why)) {
        if (alm.prn < 1 || alm.prn > 32) std::abort();
        if (!tern::alm_mgr_gps_t::alm_save(alm, paths.output) ||
            !tern::alm_mgr_gps_t::alm_load(back, paths.output) || !same_bits(alm, back))
            std::abort();
    } else if (why.empty() || why.find('\n') != std::string::npos) {
        std::abort(); // a refusal always says why, in one line
    }

    std::ostringstream os;
    os << tern::html_text_t(std::string(reinterpret_cast<const char*>(data), size));
    if (os.str().find_first_of("<>\"'") != std::string::npos) std::abort();
    return 0;
}
