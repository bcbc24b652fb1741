// Storing and loading the 32 GPS almanacs through their key/value files, against a plain
// reference: each record written as raw bytes to a file of its own, just as durably (written
// beside, flushed to the medium, renamed over), and read back.
#include <tern/almanac/alm_mgr_gps.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A data directory of its own with an almanac directory in it, removed at the end.
class data_dir_t {
public:
    data_dir_t() {
        char tmpl[] = "/tmp/tern_bench_alm.XXXXXX";
        path_ = mkdtemp(tmpl) ? tmpl : "/tmp";
        mkdir((path_ + "/almanac").c_str(), 0700);
        setenv("TERN_DATA_PATH", path_.c_str(), 1);
    }
    ~data_dir_t() {
        for (unsigned int prn = 0; prn <= 32; ++prn) {
            std::remove(tern::alm_mgr_gps_t::alm_filename(prn).c_str());
            std::remove((path_ + "/plain/" + std::to_string(prn)).c_str());
        }
        rmdir((path_ + "/almanac").c_str());
        rmdir((path_ + "/plain").c_str());
        rmdir(path_.c_str());
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

tern::alm_data_gps_t almanac(unsigned int prn) {
    tern::alm_data_gps_t a;
    a.prn = static_cast<unsigned char>(prn);
    a.gps_week = 2300;
    a.gps_week_sec = 61440;
    a.mean_anom = 0.1 * prn;
    a.eccentricity = 0.0123456789;
    a.inclination = 0.9599310885968813;
    a.arg_perigee = -1.2345678901234567;
    a.sqrt_a = 5153.612345678;
    a.omega_dot = -8.1e-9;
    a.omega0 = 2.2;
    a.af0 = 1.9e-5;
    a.af1 = -3.6e-12;
    return a;
}

void BM_almanac_store_load_32(benchmark::State& state) {
    data_dir_t dir;
    tern::alm_data_gps_t alms[32];
    for (unsigned int prn = 1; prn <= 32; ++prn) alms[prn - 1] = almanac(prn);
    tern::alm_mgr_gps_t mgr;
    for (auto _ : state) {
        for (const auto& a : alms)
            tern::alm_mgr_gps_t::alm_save(a, tern::alm_mgr_gps_t::alm_filename(a.prn));
        mgr.load();
        benchmark::DoNotOptimize(mgr.num());
    }
    if (mgr.num() != 32) state.SkipWithError("not every almanac loaded");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 32);
}

bool plain_write(const std::string& path, const tern::alm_data_gps_t& a) {
    const std::string tmp = path + ".tmp";
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = write(fd, &a, sizeof a) == static_cast<ssize_t>(sizeof a) && fsync(fd) == 0;
    close(fd);
    return ok && rename(tmp.c_str(), path.c_str()) == 0;
}

bool plain_read(const std::string& path, tern::alm_data_gps_t& a) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = read(fd, &a, sizeof a) == static_cast<ssize_t>(sizeof a);
    close(fd);
    return ok;
}

void BM_almanac_store_load_32_reference(benchmark::State& state) {
    data_dir_t dir;
    mkdir((dir.path() + "/plain").c_str(), 0700);
    tern::alm_data_gps_t alms[32], back[32];
    for (unsigned int prn = 1; prn <= 32; ++prn) alms[prn - 1] = almanac(prn);
    unsigned int loaded = 0;
    for (auto _ : state) {
        loaded = 0;
        for (const auto& a : alms) plain_write(dir.path() + "/plain/" + std::to_string(a.prn), a);
        for (unsigned int prn = 1; prn <= 32; ++prn)
            loaded += plain_read(dir.path() + "/plain/" + std::to_string(prn), back[prn - 1]);
        benchmark::DoNotOptimize(back);
    }
    if (loaded != 32) state.SkipWithError("not every record read back");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 32);
}

} // namespace

// Most of the time is spent waiting for the medium: rates are of the wall clock.
BENCHMARK(BM_almanac_store_load_32_reference)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_almanac_store_load_32)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
