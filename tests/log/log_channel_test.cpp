// Log channels writing into a temporary directory that an in-process USB daemon reports as a
// mounted volume. The data clock is set by each test.
#include <tern/log/log_channel.h>
#include <tern/util/processUtil.h>
#include <tern/util/time_util.h>

#include "support/process.h"
#include "volume.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tern;
using tern_test::run_until;
using tern_test::temp_dir_t;
using tern_test::usb_volume;

namespace {

constexpr double nov15 = 1700006400.0; // 2023-11-15 00:00:00 UTC
constexpr double jan1 = 1704067200.0;  // 2024-01-01 00:00:00 UTC

void set_data_time(double t) {
    set_tstamp_data_diff(t - gettstamp_sys());
}

bool exists(const std::string& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

class LogChannel : public tern_log_test::volume_test_t {
protected:
    log_cfg_t cfg(log_cfg_t::switch_file_t mode, const std::string& rel) {
        log_cfg_t c;
        c.log_enabled = true;
        c.switch_file = mode;
        c.log_path = vol + "/" + rel;
        return c;
    }
    static unsigned write(log_channel_t& ch, const std::string& s) {
        return ch.log_data(s.data(), s.size());
    }
    static unsigned write(log_channel_t& ch, const std::string& s, double t) {
        return ch.log_data(s.data(), s.size(), t);
    }
};

} // namespace

TEST(TimeFromFilename, Table) {
    const struct {
        const char* name;
        std::size_t ext;
        double t; // -1: no time stamp
    } rows[] = {
        {"20240101_100000+0000.csv", 4, jan1 + 36000},
        {"raw_20231115_000000+0000.raw", 4, nov15},
        {"20240101_100000+0000", 0, jan1 + 36000},
        {"0240101_100000+0000.csv", 4, -1},  // one short
        {"20240101-100000+0000.csv", 4, -1}, // no '_'
        {"20240101_100000+0100.csv", 4, -1}, // another zone
        {"20241301_100000+0000.csv", 4, -1}, // month 13
        {"20240100_100000+0000.csv", 4, -1}, // day 0
        {"20240101_240000+0000.csv", 4, -1}, // hour 24
        {"20240101_106000+0000.csv", 4, -1}, // minute 60
        {"18990101_000000+0000.csv", 4, -1}, // before 1900
        {"2024010a_100000+0000.csv", 4, -1},
    };
    for (const auto& r : rows) {
        double t = -1;
        EXPECT_EQ(time_from_filename(r.name, r.ext, t), r.t >= 0) << r.name;
        if (r.t >= 0) {
            EXPECT_EQ(t, r.t) << r.name;
        }
    }
}

TEST_F(LogChannel, DailyFilesSwitchAtUtcMidnightWithTheHeaderOnTop) {
    log_channel_t ch(log_channel_raw, 0, ".raw");
    ch.set_file_header("H\n");
    ch.set_filename_prefix("p_");
    ch.set_log_cfg(cfg(log_cfg_t::switch_daily, "tern/log_data/raw"));
    ASSERT_EQ(ch.error_flags(), 0u);
    EXPECT_EQ(write(ch, ""), 0u); // nothing to write: no file
    EXPECT_EQ(ch.current_path(), "");
    set_data_time(nov15 - 0.5);
    EXPECT_EQ(write(ch, "a"), log_channel_t::result_new_file);
    EXPECT_EQ(write(ch, "b"), 0u);
    set_data_time(nov15 + 0.1);
    EXPECT_EQ(write(ch, "c"), log_channel_t::result_new_file);
    const std::string dir = vol + "/tern/log_data/raw/";
    EXPECT_EQ(temp_dir_t::read(dir + "p_20231114_000000+0000.raw"), "H\nab");
    EXPECT_EQ(temp_dir_t::read(dir + "p_20231115_000000+0000.raw"), "H\nc");
    // The first file was closed and handed to the flush program; the second is still open.
    const std::string first = dir + "p_20231114_000000+0000.raw\n";
    EXPECT_TRUE(
        run_until([&] { return temp_dir_t::read(flushed).find(first) != std::string::npos; }));
    EXPECT_EQ(temp_dir_t::read(flushed).find(dir + "p_20231115"), std::string::npos);
}

TEST_F(LogChannel, HourlyNamesTheStartOfTheHourAndAppendsWithoutASecondHeader) {
    const std::string name = vol + "/h/20231115_130000+0000.csv";
    ::mkdir((vol + "/h").c_str(), 0777);
    tmp.write("vol/h/20231115_130000+0000.csv", "old");
    log_channel_t ch(log_channel_csv, 0, ".csv");
    ch.set_file_header("HEAD\r\n");
    ch.set_log_cfg(cfg(log_cfg_t::switch_hourly, "h"));
    set_data_time(nov15 + 13 * 3600 + 47 * 60 + 12);
    EXPECT_EQ(write(ch, "x"), log_channel_t::result_new_file);
    EXPECT_EQ(ch.current_path(), name);
    EXPECT_EQ(temp_dir_t::read(name), "oldx");
}

TEST_F(LogChannel, LogStartKeepsOneFileUntilStartedAgain) {
    log_channel_t ch(log_channel_raw, 0, ".raw");
    set_data_time(nov15 + 65.7);
    ch.set_log_cfg(cfg(log_cfg_t::switch_log_start, "s"));
    EXPECT_EQ(ch.current_path(), vol + "/s/20231115_000105+0000.raw");
    write(ch, "1");
    set_data_time(nov15 + 86400 * 2);
    write(ch, "2");
    EXPECT_EQ(temp_dir_t::read(vol + "/s/20231115_000105+0000.raw"), "12");
    ch.set_log_cfg(ch.log_cfg());
    EXPECT_EQ(ch.current_path(), vol + "/s/20231117_000000+0000.raw");
}

TEST_F(LogChannel, FixedWritesTheLogPathItself) {
    log_channel_t ch(log_channel_raw, 0, ".raw");
    ch.set_filename_prefix("never_");
    ch.set_file_header("H");
    log_cfg_t c = cfg(log_cfg_t::switch_fixed, "d/e/fixed.dat");
    c.log_auto_delete_age = 1;
    ch.set_log_cfg(c);
    set_data_time(nov15);
    EXPECT_EQ(write(ch, "z"), log_channel_t::result_new_file);
    EXPECT_EQ(temp_dir_t::read(vol + "/d/e/fixed.dat"), "Hz");
}

TEST_F(LogChannel, APathClimbingOutOfTheVolumeIsRefused) {
    log_channel_t ch(log_channel_raw, 0, ".raw");
    ch.set_log_cfg(cfg(log_cfg_t::switch_daily, "../outside/logs"));
    EXPECT_EQ(ch.error_flags(), log_channel_t::err_logging_data);
    EXPECT_FALSE(ch.log_cfg().log_enabled);
    EXPECT_FALSE(exists(tmp.path() + "/outside"));
    EXPECT_EQ(write(ch, "x"), 0u);
    ch.set_log_cfg(cfg(log_cfg_t::switch_fixed, "a/../../escaped.txt"));
    EXPECT_EQ(ch.error_flags(), log_channel_t::err_logging_data);
    EXPECT_FALSE(exists(vol + "/a"));
    log_cfg_t empty; // an empty path turns the channel off without an error
    empty.log_enabled = true;
    ch.set_log_cfg(empty);
    EXPECT_FALSE(ch.log_cfg().log_enabled);
    EXPECT_EQ(ch.error_flags(), 0u);
}

TEST_F(LogChannel, AMissingVolumeDropsDataAndLoggingResumesWhenItReturns) {
    log_channel_t ch(log_channel_raw, 0, ".raw");
    watched = &ch;
    set_data_time(nov15);
    ch.set_log_cfg(cfg(log_cfg_t::switch_daily, "r"));
    EXPECT_EQ(write(ch, "before,"), log_channel_t::result_new_file);
    daemon.remove("/dev/sda1");
    ASSERT_TRUE(run_until([&] { return ch.error_flags() != 0; }));
    EXPECT_EQ(ch.error_flags(), log_channel_t::err_device_not_found);
    ASSERT_EQ(::rename(vol.c_str(), (vol + ".away").c_str()), 0); // unmounted: the tree is gone
    EXPECT_EQ(write(ch, "lost,"), 0u);
    EXPECT_TRUE(ch.log_cfg().log_enabled);
    EXPECT_FALSE(exists(vol));
    ASSERT_EQ(::rename((vol + ".away").c_str(), vol.c_str()), 0);
    daemon.add(usb_volume("/dev/sda1", vol));
    ASSERT_TRUE(run_until([&] { return ch.error_flags() == 0; }));
    EXPECT_EQ(write(ch, "after"), log_channel_t::result_new_file);
    EXPECT_EQ(temp_dir_t::read(vol + "/r/20231115_000000+0000.raw"), "before,after");
}

TEST_F(LogChannel, AVolumeMovingOntoTheLogPathIsPickedUp) {
    const std::string other = tmp.path() + "/other";
    ::mkdir(other.c_str(), 0777);
    log_channel_t ch(log_channel_raw, 0, ".raw");
    watched = &ch;
    log_cfg_t c = cfg(log_cfg_t::switch_daily, "x");
    c.log_path = other; // the mount point itself (stored as other + "/")
    ch.set_log_cfg(c);
    EXPECT_EQ(ch.error_flags(), log_channel_t::err_device_not_found);
    daemon.add(usb_volume("/dev/sda1", other)); // the same device, now mounted there
    ASSERT_TRUE(run_until([&] { return ch.error_flags() == 0; }));
    set_data_time(nov15);
    EXPECT_EQ(write(ch, "y"), log_channel_t::result_new_file);
    EXPECT_EQ(temp_dir_t::read(other + "/20231115_000000+0000.raw"), "y");
}

TEST_F(LogChannel, AutoDeleteRemovesOnlyItsOwnOldFiles) {
    const std::string dir = vol + "/ad/";
    ::mkdir(dir.c_str(), 0777);
    const char* names[] = {"X20240101_090000+0000.csv",    "X20240101_100000+0000.csv",
                           "X20240101_100001+0000.csv",    "Y20240101_090000+0000.csv",
                           "X20240101_090000+0000.raw",    "XX20240101_090000+0000.csv",
                           "X20240101_090000+0000.csv.bak"};
    for (const char* n : names) tmp.write(std::string("vol/ad/") + n, "old");
    log_channel_t ch(log_channel_csv, 0, ".csv");
    ch.set_filename_prefix("X");
    log_cfg_t c = cfg(log_cfg_t::switch_daily, "ad");
    c.log_auto_delete_age = 3600;
    ch.set_log_cfg(c);
    set_data_time(jan1 + 11 * 3600 + 0.5);
    EXPECT_EQ(write(ch, "now"), log_channel_t::result_new_file);
    // The file just opened (X20240101_000000) is older than the cut-off but is never a candidate.
    // The worker deletes in directory order: wait for its whole pass, not for one of its files.
    ASSERT_TRUE(run_until([&] {
        return !exists(dir + names[0]) && !exists(dir + names[1]) &&
               tern_test::threads_named("tern-nojoin") == 0;
    }));
    for (int i = 2; i < 7; ++i) EXPECT_TRUE(exists(dir + names[i])) << names[i];
    EXPECT_EQ(temp_dir_t::read(dir + "X20240101_000000+0000.csv"), "now");
}

TEST_F(LogChannel, AutoDeleteWaitsForTheDataClock) {
    if (tstamp_data_diff_info()) GTEST_SKIP() << "the data clock was set by an earlier test";
    const std::string dir = vol + "/w/";
    ::mkdir(dir.c_str(), 0777);
    tmp.write("vol/w/19990101_000000+0000.raw", "old");
    log_channel_t ch(log_channel_raw, 0, ".raw");
    log_cfg_t c = cfg(log_cfg_t::switch_log_start, "w");
    c.log_auto_delete_age = 60;
    ch.set_log_cfg(c);
    EXPECT_EQ(write(ch, "x"), log_channel_t::result_new_file);
    run_until([] { return false; }, 0.1);
    EXPECT_TRUE(exists(dir + "19990101_000000+0000.raw"));
    set_data_time(gettstamp_sys());
    EXPECT_TRUE(run_until([&] { return !exists(dir + "19990101_000000+0000.raw"); }, 5.0));
}

TEST_F(LogChannel, AFileSizeLimitDisablesTheChannelAndKeepsEveryWholeBlock) {
    log_channel_t ch(log_channel_raw, 0, ".raw");
    ch.set_log_cfg(cfg(log_cfg_t::switch_fixed, "big.raw"));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 2500;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string block(1000, 'b');
    unsigned r1 = write(ch, block), r2 = write(ch, block), r3 = write(ch, block);
    unsigned r4 = write(ch, block);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(r1, log_channel_t::result_new_file);
    EXPECT_EQ(r2, 0u);
    EXPECT_EQ(r3, log_channel_t::result_failed);
    EXPECT_EQ(r4, 0u); // disabled
    EXPECT_EQ(ch.error_flags(), log_channel_t::err_logging_data);
    EXPECT_FALSE(ch.log_cfg().log_enabled);
    EXPECT_EQ(temp_dir_t::read(vol + "/big.raw"), block + block);
}

TEST_F(LogChannel, StampsFarAheadOrBehindGoToTheirOwnFilesAndAgeNoFile) {
    // Daily files kept 30 days; at the first write (10:00) files up to 2023-10-16 10:00 are
    // too old, 20231016_100030 only for the pass made once the clock is steady again.
    const std::string dir = vol + "/j/";
    ::mkdir(dir.c_str(), 0777);
    const auto file = [&](const std::string& stamp) { return dir + stamp + "+0000.raw"; };
    const std::string young[] = {"20231016_100030", "20231017_000000", "20231114_000000"};
    for (const char* s : {"20231005_000000", "20231015_000000", "20231016_100030",
                          "20231017_000000", "20231114_000000"})
        tmp.write("vol/j/" + std::string(s) + "+0000.raw", "old");
    log_channel_t ch(log_channel_raw, 0, ".raw");
    log_cfg_t c = cfg(log_cfg_t::switch_daily, "j");
    c.log_auto_delete_age = 30 * 86400;
    ch.set_log_cfg(c);
    const double t0 = nov15 + 36000;
    write(ch, "a", t0);
    ASSERT_TRUE(run_until(
        [&] { return !exists(file("20231005_000000")) && !exists(file("20231015_000000")); }));
    // 2038-01-01 05:00 and 2001-05-04 among ordinary data, which runs on for 59 s after.
    const std::pair<const char*, double> writes[] = {
        {"F", 2145934800.0}, {"b", t0 + 1}, {"B", 988934400.0}, {"c", t0 + 2}, {"d", t0 + 61}};
    for (const auto& w : writes) write(ch, w.first, w.second);
    EXPECT_EQ(temp_dir_t::read(file("20231115_000000")), "abcd");
    EXPECT_EQ(temp_dir_t::read(file("20380101_000000")), "F");
    EXPECT_EQ(temp_dir_t::read(file("20010504_000000")), "B");
    // A minute without a jump: the held pass is made at the time of the ordinary data.
    write(ch, "e", t0 + 62);
    ASSERT_TRUE(run_until([&] { return !exists(file(young[0])); }));
    EXPECT_TRUE(exists(file(young[1])) && exists(file(young[2])) &&
                exists(file("20380101_000000")));
}

TEST_F(LogChannel, ChannelsSharingAFileAtItsSizeLimitKeepEveryReportedBlockWhole) {
    // In a child process under a file-size limit, a raw and a CSV channel append to one file
    // until both have failed; the child notes every block reported written.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{}, small{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        small = saved;
        small.rlim_cur = 10240;
        ::setrlimit(RLIMIT_FSIZE, &small);
        log_channel_t raw(log_channel_raw, 0, ".raw"), csv(log_channel_csv, 0, ".csv");
        raw.set_log_cfg(cfg(log_cfg_t::switch_fixed, "shared"));
        csv.set_log_cfg(cfg(log_cfg_t::switch_fixed, "shared"));
        std::string reported;
        for (int i = 0; i < 100; ++i) {
            const std::string frame = "\x02" + std::string(196, 'f') + "\x03",
                              line = "1700006400." + std::to_string(100 + i) + ",59.95,\r\n";
            if (raw.log_cfg().log_enabled && !(write(raw, frame) & log_channel_t::result_failed))
                reported += frame;
            if (csv.log_cfg().log_enabled && !(write(csv, line) & log_channel_t::result_failed))
                reported += line;
        }
        ::setrlimit(RLIMIT_FSIZE, &saved);
        tmp.write("reported", reported);
        ::_exit(raw.log_cfg().log_enabled || csv.log_cfg().log_enabled ? 3 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_EQ(status, 0);
    const std::string file = temp_dir_t::read(vol + "/shared");
    EXPECT_GT(file.size(), 10240u - 198u);
    EXPECT_TRUE(file == temp_dir_t::read(tmp.file("reported"))) << file.size();
}
