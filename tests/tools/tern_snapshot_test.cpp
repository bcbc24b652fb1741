// tern-snapshot, run as a program.
#include "programs.h"
#include "support/mainloop.h"
#include "support/process.h"
#include "support/scratch.h"
#include "support/usock.h"

#include <tern/config/snapshot_util.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using tern_test::run_program;
using tern_test::tool_path;
using tern_tools_test::child_t;
using tern_tools_test::has;
using tern_tools_test::sim_frames;

TEST(TernSnapshot, WritesACompletePageAtTheEndOfItsInput) {
    const auto r = run_program({tool_path("tern-snapshot"), "--title", "Deck & bridge", "--set",
                                "port_1_name=COM1", "--set", "port_1_device_type=ternrimba",
                                "--set", "port_1_device_name=<i>Mast</i>"},
                               "garbage" + sim_frames(2));
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

TEST(TernSnapshot, EmptyInputShowsNoDeviceInTheOutFileAndNothingOnStandardOutput) {
    tern_test::temp_dir_t dir;
    const auto r = run_program({tool_path("tern-snapshot"), "--out", dir.file("page.html")}, "");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(has(tern_test::temp_dir_t::read(dir.file("page.html")),
                    "<table class=\"deviceTable\"><tr><th>None</th></tr></table>\n</body>"));
}

TEST(TernSnapshot, SignalWritesAPageWhileConnected) {
    tern_test::temp_dir_t dir;
    const std::string page = dir.file("page.html");
    const std::string name = "@tern-snapshot-test-" + std::to_string(getpid());
    child_t snap({tool_path("tern-snapshot"), "--listen", "socket=" + name, "--out", page},
                 dir.file("err"));
    // It listens only once its signal handler is in place.
    int fd = -1;
    ASSERT_TRUE(tern_test::run_until([&] { return (fd = tern_test::raw_connect(name)) >= 0; }, 10));
    const std::string& frames = sim_frames(2);
    ASSERT_EQ(write(fd, frames.data(), frames.size()), static_cast<ssize_t>(frames.size()));
    // Signal until a page shows the device (the frames may still be on their way).
    EXPECT_TRUE(tern_test::run_until(
        [&] {
            snap.kill(SIGUSR1);
            return has(tern_test::temp_dir_t::read(page), "sim on Port 1");
        },
        10));
    EXPECT_TRUE(snap.running()) << "still connected";
    close(fd);
    EXPECT_EQ(snap.wait(), 0);
    EXPECT_TRUE(has(tern_test::temp_dir_t::read(page), "</html>\n"));
}

// A page request before the handler is in place (the settings still being read) or after it
// is gone (the last page being written) is ignored, never the end of the program.
TEST(TernSnapshot, SignalsOutsideTheHandlersTimeAreIgnored) {
    tern_test::temp_dir_t dir;
    const std::string fifo = dir.file("settings.trs");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    child_t early({tool_path("tern-snapshot"), "--config", fifo}, dir.file("err"),
                  dir.file("early.html"));
    early.close_input();
    int cfg = -1; // opens once the program reads its settings
    ASSERT_TRUE(tern_test::run_until(
        [&] { return (cfg = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0; }, 10));
    early.kill(SIGUSR1);
    close(cfg);
    EXPECT_EQ(early.wait(), 0) << tern_test::temp_dir_t::read(dir.file("err"));
    EXPECT_TRUE(has(tern_test::temp_dir_t::read(dir.file("early.html")), "</html>\n"));

    // The last page (made long by its title) waits on a full pipe: the signal comes while it
    // is written.
    const std::string out = dir.file("out");
    ASSERT_EQ(mkfifo(out.c_str(), 0600), 0);
    child_t late({tool_path("tern-snapshot"), "--title", std::string(8192, 'x')}, dir.file("err"),
                 out);
    const int page_fd = open(out.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(page_fd, 0);
    ASSERT_EQ(fcntl(page_fd, F_SETPIPE_SZ, 4096), 4096);
    late.close_input(); // the end of its input: the page follows
    int queued = 0;
    ASSERT_TRUE(tern_test::run_until(
        [&] { return ioctl(page_fd, FIONREAD, &queued) == 0 && queued == 4096; }, 10));
    late.kill(SIGUSR1);
    fcntl(page_fd, F_SETFL, 0); // the writer is there: read on to its end
    std::string page;
    char buf[4096];
    for (ssize_t n; (n = read(page_fd, buf, sizeof buf)) > 0;) page.append(buf, std::size_t(n));
    close(page_fd);
    EXPECT_EQ(late.wait(), 0);
    EXPECT_GT(page.size(), 8192u);
    EXPECT_TRUE(has(page, "</html>\n"));
}

TEST(TernSnapshot, HelpNamesThePrefixAndWhatSignalsDoWithoutOut) {
    const auto r = run_program({tool_path("tern-snapshot"), "--help"});
    EXPECT_TRUE(has(r.out, "--prefix P")) << r.out;
    EXPECT_TRUE(has(r.out, "without --out every signal appends a\nwhole page to standard output"))
        << r.out;
}
