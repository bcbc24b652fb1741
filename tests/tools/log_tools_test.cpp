// tern-log and tern-usbd-sim run as programs: a stand-in daemon serves a temporary directory as
// a volume, tern-log logs recorded frames onto it.
#include "support/mainloop.h"
#include "support/process.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using tern_test::run_program;
using tern_test::run_until;
using tern_test::temp_dir_t;
using tern_test::tool_path;

namespace {

const std::string golden = std::string(TERN_TEST_DATA_DIR) + "/log/";

// A program running in the background with a pipe on its standard input and its standard
// error in a file.
class child_t {
public:
    child_t(const std::vector<std::string>& argv, const std::string& err_file) {
        std::string cmd = "exec";
        for (const std::string& a : argv) {
            gchar* q = g_shell_quote(a.c_str());
            cmd += std::string(" ") + q;
            g_free(q);
        }
        cmd += " 2>" + err_file + " >/dev/null";
        const gchar* args[] = {"/bin/sh", "-c", cmd.c_str(), nullptr};
        gint in = -1;
        if (g_spawn_async_with_pipes(nullptr, const_cast<gchar**>(args), nullptr,
                                     G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid_, &in,
                                     nullptr, nullptr, nullptr))
            in_ = in;
    }
    ~child_t() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        close_input();
    }
    bool running() const { return pid_ > 0; }
    void send(const std::string& bytes) {
        if (in_ < 0) return;
        EXPECT_EQ(::write(in_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // Bytes sent that the child has not read yet.
    int unread() const {
        int n = 0;
        return in_ >= 0 && ::ioctl(in_, FIONREAD, &n) == 0 ? n : -1;
    }
    void close_input() {
        if (in_ >= 0) ::close(in_);
        in_ = -1;
    }
    void kill(int sig) { ::kill(pid_, sig); }
    // Exit status, or 128 + signal; -1 when it did not end within 10 s.
    int wait() {
        int st = 0;
        for (int i = 0; i < 1000; ++i) {
            if (::waitpid(pid_, &st, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            }
            run_until([] { return false; }, 0.01);
        }
        return -1;
    }

private:
    GPid pid_ = -1;
    int in_ = -1;
};

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

    temp_dir_t tmp;
    std::string socket, vol, frames;
    std::unique_ptr<child_t> daemon;
};

} // namespace

TEST(TernLog, CommandLine) {
    auto r = run_program({tool_path("tern-log"), "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: tern-log"), std::string::npos);
    r = run_program({tool_path("tern-log"), "--bogus"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("tern-log:"), std::string::npos);
    r = run_program({tool_path("tern-log"), "--usb-wait", "x"});
    EXPECT_EQ(r.status, 2);
    r = run_program({tool_path("tern-log"), "--config", "/no/such/file"});
    EXPECT_EQ(r.status, 1);
    r = run_program({tool_path("tern-usbd-sim"), "--help"});
    EXPECT_EQ(r.status, 0);
    r = run_program({tool_path("tern-usbd-sim"), "--volume"});
    EXPECT_EQ(r.status, 2);
}

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
    const std::string first = frames.substr(0, 1006); // the first epoch
    log.send(first);
    run_until([] { return false; }, 0.3);
    start_daemon(vol); // the logger finds it within a second and logs what waited in the pipe
    ASSERT_TRUE(run_until(
        [&] { return read(tmp.file("log.err")).find("raw channel: logging") != std::string::npos; },
        10));
    // The daemon dies only once the first epoch is on the volume (in a file named by the clock).
    ASSERT_TRUE(run_until(
        [&] {
            GDir* d = g_dir_open((vol + "/raw").c_str(), 0, nullptr);
            std::string logged;
            while (const gchar* n = d ? g_dir_read_name(d) : nullptr)
                logged += read(vol + "/raw/" + n);
            if (d) g_dir_close(d);
            return logged == first;
        },
        10));
    daemon->kill(SIGKILL);
    daemon->wait();
    ASSERT_TRUE(run_until(
        [&] { return read(tmp.file("log.err")).find("removed") != std::string::npos; }, 10));
    start_daemon(vol);
    ASSERT_TRUE(run_until(
        [&] {
            const std::string e = read(tmp.file("log.err"));
            return e.find("added") != e.rfind("added");
        },
        10));
    log.send(frames.substr(1006));
    log.close_input();
    EXPECT_EQ(log.wait(), 0);
    const std::string err = read(tmp.file("log.err"));
    EXPECT_NE(err.find("alarm: Logging suspended: device not found"), std::string::npos) << err;
    EXPECT_NE(err.find("alarm cleared: Logging suspended: device not found"), std::string::npos);
    // Two starts of logging, two files: the first epoch, then the rest. (The first start came
    // before any data, so its name carries the system time: order them by content.)
    std::vector<std::string> files;
    GDir* d = g_dir_open((vol + "/raw").c_str(), 0, nullptr);
    ASSERT_NE(d, nullptr);
    while (const gchar* n = g_dir_read_name(d)) files.push_back(read(vol + "/raw/" + n));
    g_dir_close(d);
    ASSERT_EQ(files.size(), 2u);
    if (files[0].size() != first.size()) std::swap(files[0], files[1]);
    EXPECT_TRUE(files[0] == first);
    EXPECT_TRUE(files[0] + files[1] == frames) << files[1].size();
}

TEST_F(LogTools, AVolumeUnpluggedWhileLoggingComesBack) {
    daemon.reset(new child_t({tool_path("tern-usbd-sim")}, tmp.file("d.err")));
    daemon->send("add " + vol + ":STICK\n");
    child_t log(log_args(), tmp.file("log.err"));
    const std::string err = tmp.file("log.err");
    auto seen = [&](const std::string& what, std::size_t times) {
        return run_until(
            [&] {
                const std::string e = read(err);
                std::size_t n = 0;
                for (auto p = e.find(what); p != std::string::npos; p = e.find(what, p + 1)) ++n;
                return n >= times;
            },
            10);
    };
    const std::size_t epoch = 1006;
    const std::string day1 = vol + "/raw/20231114_000000+0000.raw";
    log.send(frames.substr(0, epoch));
    ASSERT_TRUE(seen("raw channel: logging", 1));
    // The volume goes only once the first epoch is on it (else it would be dropped too).
    ASSERT_TRUE(run_until([&] { return read(day1) == frames.substr(0, epoch); }, 10));
    daemon->send("remove " + vol + "\n");
    ASSERT_TRUE(seen("alarm: Logging suspended: device not found", 1));
    log.send(frames.substr(epoch, epoch)); // dropped while the volume is away
    // The logger handles what it reads in one go, so once the pipe is empty the epoch is gone.
    ASSERT_TRUE(run_until([&] { return log.unread() == 0; }, 10));
    daemon->send("add " + vol + "\n");
    ASSERT_TRUE(seen("alarm cleared: Logging suspended: device not found", 1));
    log.send(frames.substr(2 * epoch));
    log.close_input();
    EXPECT_EQ(log.wait(), 0) << read(err);
    EXPECT_TRUE(read(day1) == frames.substr(0, epoch));
    EXPECT_TRUE(read(vol + "/raw/20231115_000000+0000.raw") == frames.substr(2 * epoch));
}
