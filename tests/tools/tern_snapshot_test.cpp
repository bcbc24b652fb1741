// tern-snapshot, run as a program.
#include "support/mainloop.h"
#include "support/process.h"
#include "support/scratch.h"
#include "support/usock.h"

#include <tern/config/snapshot_util.h>

#include <gtest/gtest.h>

#include <csignal>
#include <glib.h>
#include <sys/wait.h>
#include <unistd.h>

using tern_test::run_program;
using tern_test::tool_path;

namespace {

// Two epochs of the simulated vessel, as tern-sim writes them.
const std::string& sim_frames() {
    static const std::string frames =
        run_program({tool_path("tern-sim"), "--epochs", "2", "--rate", "0"}).out;
    return frames;
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(TernSnapshot, WritesACompletePageAtTheEndOfItsInput) {
    ASSERT_FALSE(sim_frames().empty());
    const auto r = run_program({tool_path("tern-snapshot"), "--title", "Deck & bridge", "--set",
                                "port_1_name=COM1", "--set", "port_1_device_type=ternrimba",
                                "--set", "port_1_device_name=<i>Mast</i>"},
                               "garbage" + sim_frames());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string head =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>Deck &amp; bridge</title>\n";
    EXPECT_EQ(r.out.substr(0, head.size()), head);
    EXPECT_TRUE(has(r.out, tern::snapshot_style_sheet));
    EXPECT_TRUE(has(r.out,
                    "<table class=\"deviceTable\"><tr><th>ternrimba on COM1 "
                    "(&lt;i&gt;Mast&lt;/i&gt;)</th></tr></table>\n<table class=\"twoColumn\">"));
    EXPECT_TRUE(has(r.out, "<tr><td class=\"definition\">Corrections Mode</td>\n"
                           "<td class=\"value\">SIMREF</td></tr>\n"));
    EXPECT_TRUE(has(r.out, "<td class=\"value\">Auto 3D</td>"));
    EXPECT_EQ(r.out.substr(r.out.size() - 25), "</table>\n</body>\n</html>\n");
}

TEST(TernSnapshot, EmptyInputShowsNoDevice) {
    const auto r = run_program({tool_path("tern-snapshot")}, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r.out, "<table class=\"deviceTable\"><tr><th>None</th></tr></table>\n</body>"));
}

TEST(TernSnapshot, OutFileGetsThePageAndStandardOutputStaysEmpty) {
    tern_test::temp_dir_t dir;
    const auto r =
        run_program({tool_path("tern-snapshot"), "--out", dir.file("page.html")}, sim_frames());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(has(tern_test::temp_dir_t::read(dir.file("page.html")), "sim on Port 1"));
}

TEST(TernSnapshot, UsageAndWorkFailures) {
    struct {
        std::vector<std::string> args;
        int status;
        const char* diag;
    } const cases[] = {
        {{"--bogus"}, 2, "unknown option --bogus"},
        {{"--out"}, 2, "--out needs a value"},
        {{"a", "b"}, 2, "more than one input file"},
        {{"--connect", "socket=@x", "file"}, 2, "cannot both be given"},
        {{"/nonexistent/frames"}, 1, "/nonexistent/frames"},
        {{"--config", "/nonexistent/settings.trs"}, 1, "/nonexistent/settings.trs"},
        {{"--out", "/nonexistent/dir/page.html"}, 1, "cannot write /nonexistent/dir/page.html"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {tool_path("tern-snapshot")};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const auto r = run_program(argv, "");
        EXPECT_EQ(r.status, c.status) << c.diag;
        EXPECT_EQ(r.out, "") << c.diag;
        EXPECT_EQ(r.err.rfind("tern-snapshot:", 0), 0u) << r.err;
        EXPECT_TRUE(has(r.err, c.diag)) << r.err;
    }
    const auto help = run_program({tool_path("tern-snapshot"), "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: tern-snapshot", 0), 0u);
}

TEST(TernSnapshot, SignalWritesAPageWhileConnected) {
    tern_test::temp_dir_t dir;
    const std::string page = dir.file("page.html");
    const std::string name = "@tern-snapshot-test-" + std::to_string(getpid());
    const std::string prog = tool_path("tern-snapshot");
    const std::string listen = "socket=" + name;
    const char* argv[] = {prog.c_str(), "--listen", listen.c_str(), "--out", page.c_str(), nullptr};
    GPid pid = 0;
    ASSERT_TRUE(g_spawn_async(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_DO_NOT_REAP_CHILD,
                              nullptr, nullptr, &pid, nullptr));
    // It listens only once its signal handler is in place.
    int fd = -1;
    ASSERT_TRUE(tern_test::run_until([&] { return (fd = tern_test::raw_connect(name)) >= 0; }, 10));
    const std::string& frames = sim_frames();
    ASSERT_EQ(write(fd, frames.data(), frames.size()), static_cast<ssize_t>(frames.size()));
    // Signal until a page shows the device (the frames may still be on their way).
    EXPECT_TRUE(tern_test::run_until(
        [&] {
            kill(pid, SIGUSR1);
            return has(tern_test::temp_dir_t::read(page), "sim on Port 1");
        },
        10));
    int status = -1;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0); // still running, still connected
    close(fd);
    ASSERT_TRUE(tern_test::run_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(has(tern_test::temp_dir_t::read(page), "</html>\n"));
    g_spawn_close_pid(pid);
}
