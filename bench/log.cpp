// The raw log channel against plain write() calls of the same 1 KiB blocks to the same kind of
// file, and CSV line rendering from a full builder against snprintf, with heap allocations.
#include <tern/conn/conn_usock_stream.h>
#include <tern/log/csv_builder.h>
#include <tern/log/log_channel.h>
#include <tern/usb/usb_mgr.h>
#include <tern/usb/usbd_msg.h>
#include <tern/util/processUtil.h>
#include <tern/util/time_util.h>

#include "alloc_count.h"

#include <benchmark/benchmark.h>
#include <glib.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

using bench_alloc::allocations;

namespace {

constexpr std::size_t block_size = 1024;
constexpr long blocks_per_round = 16384; // 16 MiB, then the file starts over

// A daemon that reports one directory as a mounted volume, so the channel has a medium.
class one_volume_daemon_t : public tern::connector_client_t, public tern::conn_client_t {
public:
    explicit one_volume_daemon_t(const std::string& dir) {
        dev_.dev_path = "/dev/bench";
        dev_.mount_path = dir;
        args_.push_back("socket=@tern-bench-usbd-" + std::to_string(::getpid()));
        ::setenv("TERN_USBD_SOCKET", args_[0].c_str() + 7, 1);
        connector_.start(this);
    }
    const std::vector<std::string>* get_args() override { return &args_; }
    bool get_passive() override { return true; }
    void conn_ready(tern::conn_t* c) override {
        conn_.reset(c);
        c->start(this);
    }
    void handle_conn_failed() override {}
    void handle_conn_status() override {}
    void handle_conn_msg(tern::msg_decoder_t&) override {
        tern::fb_usbd_dev_t m(dev_);
        conn_->send_msg(&m);
    }
    void handle_conn_lost() override {}
    void handle_conn_err() override {}

private:
    usb_dev_t dev_;
    std::vector<std::string> args_;
    tern::connector_usock_stream_t connector_;
    std::unique_ptr<tern::conn_t> conn_;
};

struct medium_t {
    medium_t() {
        char tmpl[] = "/var/tmp/tern-bench-XXXXXX";
        dir = ::mkdtemp(tmpl);
        tern::set_fsync_program("/bin/true");
        tern::set_tstamp_data_diff(0.0);
        daemon.reset(new one_volume_daemon_t(dir));
        usb_mgr_t::set_default(&mgr);
        mgr.init(nullptr);
        usb_dev_t d;
        for (int i = 0; i < 1000 && !mgr.get_by_dev_path("/dev/bench", d); ++i)
            g_main_context_iteration(nullptr, TRUE);
    }
    ~medium_t() {
        usb_mgr_t::set_default(nullptr);
        std::string cmd = "rm -rf '" + dir + "'";
        if (std::system(cmd.c_str()) != 0) std::perror("rm");
    }
    std::string dir;
    std::unique_ptr<one_volume_daemon_t> daemon;
    usb_mgr_t mgr;
};

medium_t& medium() {
    static medium_t m;
    return m;
}

void BM_PlainWrite(benchmark::State& state) {
    const std::string path = medium().dir + "/plain.raw";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    char block[block_size];
    std::memset(block, 'p', sizeof block);
    long n = 0;
    for (auto _ : state) {
        if (::write(fd, block, sizeof block) != static_cast<ssize_t>(sizeof block))
            state.SkipWithError("write failed");
        if (++n % blocks_per_round == 0 && ::ftruncate(fd, 0) != 0) state.SkipWithError("trunc");
    }
    ::close(fd);
    ::unlink(path.c_str());
    state.SetBytesProcessed(state.iterations() * static_cast<long>(block_size));
}

void BM_RawChannel(benchmark::State& state) {
    tern::log_channel_t ch(tern::log_channel_raw, 0, ".raw");
    tern::log_cfg_t cfg;
    cfg.log_enabled = true;
    cfg.switch_file = tern::log_cfg_t::switch_fixed;
    cfg.log_path = medium().dir + "/channel.raw";
    ch.set_log_cfg(cfg);
    char block[block_size];
    std::memset(block, 'c', sizeof block);
    long n = 0;
    const unsigned long long before = allocations.load();
    for (auto _ : state) {
        if (ch.log_data(block, sizeof block) & tern::log_channel_t::result_failed)
            state.SkipWithError("channel failed");
        if (++n % blocks_per_round == 0 && ::truncate(cfg.log_path.c_str(), 0) != 0)
            state.SkipWithError("trunc");
    }
    state.counters["allocs_per_block"] =
        static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<long>(block_size));
    ::unlink(cfg.log_path.c_str());
}

tern::csv_builder_t full_builder() {
    tern::csv_builder_t b;
    const double t = 1700000000.25;
    b.set_msg_tstamp(t);
    b.set_latitude(1.0463, t);
    b.set_longitude(0.089, t);
    b.set_height(41.25, t);
    b.set_speed(5.6, t);
    b.set_course(0.73, t);
    b.set_sats_used(14, t);
    b.set_sats_tracked(19, t);
    b.set_hdop(0.9, t);
    b.set_vdop(1.3, t);
    b.set_pdop(1.6, t);
    b.set_nav_3d(true, t);
    b.set_dual_freq(true, t);
    b.set_fom(0.31, t);
    b.set_corr_mode(3, t);
    b.set_corr_age(2.5, t);
    b.set_corr_snr(44.1, t);
    b.set_corr_net(2, t);
    b.set_qaqc_ftest(true, t);
    b.set_qaqc_unit_var(0.987, t);
    b.set_qaqc_semi_major(0.123, t);
    b.set_qaqc_semi_minor(0.045, t);
    b.add_raim_event(false, t);
    b.add_pos_mde(0.75, t);
    b.set_mbrtk_heading(123.45, t);
    b.set_heading(0.74, t);
    b.set_pitch(0.01, t);
    b.set_roll(-0.02, t);
    b.set_heave(0.3, t);
    return b;
}

void BM_CsvLine(benchmark::State& state) {
    const tern::csv_builder_t b = full_builder();
    std::string line;
    line.reserve(1024);
    const unsigned long long before = allocations.load();
    for (auto _ : state) {
        line.clear();
        b.append_line(line);
        benchmark::DoNotOptimize(line.data());
    }
    state.counters["allocs_per_line"] =
        static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations());
}

// The reference: the same 30 columns written with snprintf into a fixed buffer.
void BM_CsvLineSnprintf(benchmark::State& state) {
    const tern::csv_builder_t b = full_builder();
    const double deg = 180.0 / 3.14159265358979323846;
    char buf[1024];
    for (auto _ : state) {
        const int n = std::snprintf(
            buf, sizeof buf,
            "%.3f,%s,%.8f,%.8f,%.4f,%.3f,%.1f,%u,%u,%.1f,%.1f,%.1f,%c,%c,%.2f,%u,%.1f,%.1f,%u,%c,"
            "%.3f,%.3f,%.3f,%u,%.3f,%.2f,%.1f,%.2f,%.2f,%.2f,\r\n",
            b.msg_tstamp(), "11/14/2023 22:13:20", b.latitude() * deg, b.longitude() * deg,
            b.height(), b.speed(), b.course() * deg, b.sats_used(), b.sats_tracked(), b.hdop(),
            b.vdop(), b.pdop(), b.nav_3d() ? '3' : '2', b.dual_freq() ? '2' : '1', b.fom(),
            b.corr_mode(), b.corr_age(), b.corr_snr(), b.corr_net(), b.qaqc_ftest() ? '1' : '0',
            b.qaqc_unit_var(), b.qaqc_semi_major(), b.qaqc_semi_minor(), b.raim_rejects(),
            b.max_pos_mde(), b.mbrtk_heading(), b.heading() * deg, b.pitch() * deg, b.roll() * deg,
            b.heave());
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(buf);
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_PlainWrite);
BENCHMARK(BM_RawChannel);
BENCHMARK(BM_PlainWrite);
BENCHMARK(BM_RawChannel);
BENCHMARK(BM_CsvLine);
BENCHMARK(BM_CsvLineSnprintf);
BENCHMARK_MAIN();
