// tern-log and tern-usbd-sim run as programs: a stand-in daemon serves a temporary directory as
// a volume, tern-log logs recorded frames onto it.
#include "programs.h"
#include "support/mainloop.h"
#include "support/process.h"
#include "support/scratch.h"
#include "support/usock.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using tern_test::raw_connect;
using tern_test::run_program;
using tern_test::run_until;
using tern_test::temp_dir_t;
using tern_test::tool_path;
using tern_tools_test::child_t;
using tern_tools_test::has;

namespace {

const std::string golden = std::string(TERN_TEST_DATA_DIR) + "/log/";

std::string read(const std::string& p) {
    return temp_dir_t::read(p);
}

class LogTools : public ::testing::Test {
protected:
    void SetUp() override {
        socket = "@tern-log-test-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ::setenv("TERN_USBD_SOCKET", socket.c_str(), 1);
        vol = tmp.path() + "/vol";
        ::mkdir(vol.c_str(), 0777);
        frames = read(golden + "sim_midnight.frames");
        ASSERT_EQ(frames.size(), 4024u);
    }
    void start_daemon(const std::string& volume) {
        daemon.reset(
            new child_t({tool_path("tern-usbd-sim"), "--volume", volume}, tmp.file("d.err")));
    }
    std::vector<std::string> log_args() const {
        return {tool_path("tern-log"),         "--set", "log_enabled=1",     "--set",
                "log_path=" + vol + "/raw",    "--set", "csv_log_enabled=1", "--set",
                "csv_log_path=" + vol + "/csv"};
    }

    // Whether tern-log has written `what` to standard error `times` times, within 10 s.
    bool seen(const std::string& what, std::size_t times) {
        return run_until(
            [&] {
                const std::string e = read(tmp.file("log.err"));
                std::size_t n = 0;
                for (auto p = e.find(what); p != std::string::npos; p = e.find(what, p + 1)) ++n;
                return n >= times;
            },
            10);
    }
    // The raw files on the volume, in the order of their names.
    std::vector<std::string> raw_files() const {
        std::vector<std::string> names, files;
        GDir* d = g_dir_open((vol + "/raw").c_str(), 0, nullptr);
        while (const gchar* n = d ? g_dir_read_name(d) : nullptr) names.push_back(n);
        if (d) g_dir_close(d);
        std::sort(names.begin(), names.end());
        for (const auto& n : names) files.push_back(read(vol + "/raw/" + n));
        return files;
    }
    std::string first() const { return frames.substr(0, epoch); }

    static constexpr std::size_t epoch = 1006; // bytes of the first epoch
    temp_dir_t tmp;
    std::string socket, vol, frames;
    std::unique_ptr<child_t> daemon;
};

} // namespace

TEST_F(LogTools, AFileGivesEveryByteAndOneCsvLinePerDataSecondAcrossMidnight) {
    start_daemon(vol + ":STICK");
    auto args = log_args();
    args.push_back(golden + "sim_midnight.frames");
    // Names, midnight and the CSV times are UTC whatever the zone of the process.
    ::setenv("TZ", "Pacific/Kiritimati", 1);
    const auto r = run_program(args);
    ::unsetenv("TZ");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(read(vol + "/raw/20231114_000000+0000.raw") +
                    read(vol + "/raw/20231115_000000+0000.raw") ==
                frames);
    EXPECT_EQ(read(vol + "/csv/20231114_000000+0000.csv"), read(golden + "sim_midnight_day1.csv"));
    EXPECT_EQ(read(vol + "/csv/20231115_000000+0000.csv"), read(golden + "sim_midnight_day2.csv"));
    EXPECT_NE(r.err.find("volume " + vol + "/ (STICK) added"), std::string::npos) << r.err;
}

TEST_F(LogTools, AFileSizeLimitStopsTheChannelButNotTheProcess) {
    start_daemon(vol);
    std::string cmd = "trap '' XFSZ; ulimit -f 4; exec";
    for (const std::string& a : log_args()) cmd += " '" + a + "'";
    cmd += " --set log_switch_file=fixed --set log_path=" + vol + "/raw.bin '" + golden +
           "sim_midnight.frames'";
    const auto r = run_program({"/bin/sh", "-c", cmd});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("raw channel: error logging data"), std::string::npos) << r.err;
    // The CSV channel went on writing to its own files.
    EXPECT_EQ(read(vol + "/csv/20231115_000000+0000.csv"), read(golden + "sim_midnight_day2.csv"));
    const std::string raw = read(vol + "/raw.bin");
    ASSERT_FALSE(raw.empty());
    ASSERT_LT(raw.size(), frames.size());
    EXPECT_EQ(frames.compare(0, raw.size(), raw), 0);
    EXPECT_EQ(frames[raw.size()], '\x02'); // whole frames only
}

TEST_F(LogTools, DaemonDownAtStartThenKilledAndRestarted) {
    auto args = log_args();
    args.insert(args.end(), {"--set", "log_switch_file=log_start", "--usb-wait", "30"});
    child_t log(args, tmp.file("log.err"));
    ASSERT_TRUE(log.running());
    log.send(first());
    run_until([] { return false; }, 0.3);
    start_daemon(vol); // the logger finds it within a second and logs what waited in the pipe
    ASSERT_TRUE(seen("raw channel: logging", 1));
    // The daemon dies only once the first epoch is on the volume (in a file named by the clock).
    ASSERT_TRUE(run_until([&] { return raw_files() == std::vector<std::string>{first()}; }, 10));
    daemon->kill(SIGKILL);
    daemon->wait();
    ASSERT_TRUE(seen("removed", 1));
    start_daemon(vol);
    ASSERT_TRUE(seen("added", 2));
    log.send(frames.substr(epoch));
    log.close_input();
    EXPECT_EQ(log.wait(), 0);
    EXPECT_TRUE(seen("alarm: Logging suspended: device not found", 1));
    EXPECT_TRUE(seen("alarm cleared: Logging suspended: device not found", 1));
    // Two starts of logging, two files: the first epoch, then the rest. (The first start came
    // before any data, so its name carries the system time: compare them by content.)
    auto files = raw_files();
    std::vector<std::string> want{first(), frames.substr(epoch)};
    std::sort(files.begin(), files.end());
    std::sort(want.begin(), want.end());
    EXPECT_TRUE(files == want);
}

TEST_F(LogTools, AVolumeUnpluggedWhileLoggingComesBack) {
    daemon.reset(new child_t({tool_path("tern-usbd-sim")}, tmp.file("d.err")));
    daemon->send("add " + vol + ":STICK\n");
    child_t log(log_args(), tmp.file("log.err"));
    log.send(frames.substr(0, epoch));
    ASSERT_TRUE(seen("raw channel: logging", 1));
    // The volume goes only once the first epoch is on it (else it would be dropped too).
    ASSERT_TRUE(run_until([&] { return raw_files() == std::vector<std::string>{first()}; }, 10));
    daemon->send("remove " + vol + "\n");
    ASSERT_TRUE(seen("alarm: Logging suspended: device not found", 1));
    log.send(frames.substr(epoch, epoch)); // dropped while the volume is away
    // The logger handles what it reads in one go, so once the pipe is empty the epoch is gone.
    ASSERT_TRUE(run_until([&] { return log.unread() == 0; }, 10));
    daemon->send("add " + vol + "\n");
    ASSERT_TRUE(seen("alarm cleared: Logging suspended: device not found", 1));
    log.send(frames.substr(2 * epoch));
    log.close_input();
    EXPECT_EQ(log.wait(), 1); // the epoch dropped meanwhile counts
    EXPECT_TRUE(seen("logging failed: device not found, data dropped", 1));
    EXPECT_TRUE(read(vol + "/raw/20231114_000000+0000.raw") == first());
    EXPECT_TRUE(read(vol + "/raw/20231115_000000+0000.raw") == frames.substr(2 * epoch));
}

TEST_F(LogTools, TheFirstFrameStampedAtMidnightOpensTheNewDaysFile) {
    start_daemon(vol);
    const std::string sim = tool_path("tern-sim"); // epochs on the second: 23:59:59, 00:00:00
    const auto one = run_program({sim, "--start", "1700006399", "--epochs", "1", "--rate", "0"});
    const auto two = run_program({sim, "--start", "1700006399", "--epochs", "2", "--rate", "0"});
    ASSERT_EQ(two.out.compare(0, one.out.size(), one.out), 0);
    EXPECT_EQ(run_program(log_args(), two.out).status, 0);
    EXPECT_TRUE(read(vol + "/raw/20231114_000000+0000.raw") == one.out);
    EXPECT_TRUE(read(vol + "/raw/20231115_000000+0000.raw") == two.out.substr(one.out.size()));
}

TEST_F(LogTools, NoVolumeOrNoInputIsAFailure) {
    auto args = log_args(); // and no daemon: what comes in is dropped
    args.insert(args.end(), {"--usb-wait", "0", golden + "sim_midnight.frames"});
    auto r = run_program(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "logging failed: device not found, data dropped")) << r.err;
    args = log_args(); // a missing input is told at once, not after waiting for the volumes
    args.insert(args.end(), {"--usb-wait", "600", tmp.file("none")});
    r = run_program(args, "", 20);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "cannot open " + tmp.file("none") + ": No such file")) << r.err;
}

TEST_F(LogTools, TheDaemonKeepsToItsOwnSocketAndOutlivesClientsThatStopReadingOrHangUp) {
    const std::string sim = tool_path("tern-usbd-sim"), path = tmp.file("usbd.sock");
    const std::string notes = tmp.write("notes", "keep me"); // given by mistake
    auto r = run_program({sim, "--socket", notes}, "", 10);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "not a socket: " + notes) && read(notes) == "keep me") << r.err;
    ::close(tern_test::raw_socket(path, true)); // stale: nobody listens there
    child_t d({sim, "--socket", path}, tmp.file("d.err"));
    int silent = -1; // never reads
    ASSERT_TRUE(run_until([&] { return (silent = raw_connect(path)) >= 0; }, 10));
    r = run_program({sim, "--socket", path}, "", 10);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "a daemon already answers on " + path)) << r.err;
    ::close(raw_connect(path));          // hangs up at once
    for (int i = 0; i < 2000; i += 50) { // big records fill the silent one's socket soon
        std::string cmds;
        for (int k = i; k < i + 50; ++k)
            cmds += "add " + tmp.file(std::string(200, 'v') + std::to_string(k)) + ":" +
                    std::string(200, 'L') + "\n";
        d.send(cmds);
        ASSERT_TRUE(run_until([&] { return d.unread() == 0 || !d.running(); }, 20));
        ASSERT_TRUE(d.running()) << "status " << d.wait();
    }
    ::close(silent);
    // At the end it removes its own socket only, not a file that took its place.
    ASSERT_EQ(::rename(path.c_str(), (path + ".moved").c_str()), 0);
    tmp.write("usbd.sock", "someone else's");
    d.kill(SIGTERM);
    EXPECT_EQ(d.wait(), 0);
    EXPECT_EQ(read(path), "someone else's");
}
