// tern-sensor, run as a program on captured-style streams (the decoded values are pinned by the
// golden streams of the sensor decoders).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "support/mainloop.h"
#include "support/process.h"
#include "support/scratch.h"

#include <tern/msg/catalogue.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/util/time_util.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <regex>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using tern_test::run_program;
using tern_test::tool_path;

namespace {

std::string golden(const std::string& name) {
    return tern_test::temp_dir_t::read(std::string(TERN_TEST_DATA_DIR) + "/sensors/" + name);
}

// A stream of data frames, every byte in a valid frame: "type@group " per message, where the
// messages of one record (one time stamp) share a group number; and the messages.
struct decoded_t {
    std::vector<std::unique_ptr<tern::msg_t>> msgs;
    std::string shape;
    std::set<unsigned> ports;
    double first = -1, last = -1;
};

decoded_t decode(const std::string& out) {
    decoded_t d;
    int group = 0;
    for (std::size_t off = 0; off < out.size();) {
        tern::msg_decoder_t dec;
        const unsigned n = dec.decode_init(reinterpret_cast<const unsigned char*>(out.data()) + off,
                                           static_cast<unsigned>(out.size() - off));
        std::unique_ptr<tern::msg_t> m(n > 0 && dec.is_valid() ? tern::create_msg(dec) : nullptr);
        const auto* data = dynamic_cast<const tern::data_msg_t*>(m.get());
        if (!data) {
            ADD_FAILURE() << "no data frame at " << off;
            break;
        }
        if (data->utc_tstamp != d.last) ++group;
        if (d.first < 0) d.first = data->utc_tstamp;
        d.last = data->utc_tstamp;
        d.shape += std::to_string(m->type) + "@" + std::to_string(group) + " ";
        d.ports.insert(dec.port());
        d.msgs.push_back(std::move(m));
        off += n;
    }
    return d;
}

constexpr double pi = 3.14159265358979323846;

std::string raw_frame(const std::string& text, unsigned port) {
    tern::fb_raw_ascii_t raw(tern::raw_dtm, text.data(), static_cast<unsigned>(text.size()));
    raw.port = port;
    tern::msg_encoder_t enc;
    EXPECT_TRUE(enc.encodeMessage(raw));
    return std::string(reinterpret_cast<const char*>(enc.data()), enc.size());
}

} // namespace

TEST(TernSensor, Tss1StreamBecomesDataFramesStampedWithTheDataClock) {
    const double before = tern::gettstamp_data();
    const auto r = run_program({tool_path("tern-sensor"), "--format", "tss1", "--port", "7",
                                std::string(TERN_TEST_DATA_DIR) + "/sensors/tss1.txt"});
    const double after = tern::gettstamp_data();
    EXPECT_EQ(r.status, 0) << r.err;
    const decoded_t d = decode(r.out);
    EXPECT_EQ(d.shape, "31@1 32@1 33@1 36@1 31@2 32@2 31@3 32@3 33@3 36@3 31@4 32@4 33@4 "
                       "31@5 32@5 33@5 36@5 ");
    EXPECT_EQ(d.ports, std::set<unsigned>{7});
    EXPECT_GE(d.first, before - 1.0);
    EXPECT_LE(d.last, after + 1.0);
    EXPECT_TRUE(std::regex_search(
        r.err, std::regex("^tern-sensor:[0-9]+: tss1 records 5, rejected 2, messages 17\n$")))
        << r.err;
}

TEST(TernSensor, EmAndAtsFromStandardInput) {
    const auto em =
        run_program({tool_path("tern-sensor"), "--format", "em"}, golden("em_attitude.bin"));
    EXPECT_EQ(em.status, 0) << em.err;
    const decoded_t e = decode(em.out);
    EXPECT_EQ(std::count(e.shape.begin(), e.shape.end(), '@'), 32);
    EXPECT_EQ(e.shape.substr(0, 25), "31@1 32@1 33@1 35@1 31@2 ");
    EXPECT_EQ(e.ports, std::set<unsigned>{255});

    const auto ats = run_program({tool_path("tern-sensor"), "--format", "ats"}, golden("ats.txt"));
    EXPECT_EQ(ats.status, 0) << ats.err;
    const decoded_t a = decode(ats.out);
    EXPECT_EQ(a.shape, "46@1 42@1 45@1 46@2 45@3 46@4 45@4 ");
    EXPECT_EQ(a.first, 1706702400.5);
}

// Each reading is a data frame at full precision; standard error holds only the summary.
TEST(TernSensor, RangeBearingReadingsAreDataFramesAtFullPrecision) {
    const auto r = run_program({tool_path("tern-sensor"), "--format", "fanbeam", "--port", "4"},
                               "01 0.00012 045.50\r\nbad\r\n01 0123.45 045.50 00\r\n"
                               " 2  12     359.99\r\nxx 1234567 -10.25");
    EXPECT_EQ(r.status, 0) << r.err;
    const decoded_t d = decode(r.out);
    EXPECT_EQ(d.shape, "37@1 37@2 ");
    ASSERT_EQ(d.msgs.size(), 2u);
    const auto* a = dynamic_cast<const tern::data_range_bearing_t*>(d.msgs[0].get());
    const auto* b = dynamic_cast<const tern::data_range_bearing_t*>(d.msgs[1].get());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->target_id, "1");
    EXPECT_EQ(a->range, 0.00012);
    EXPECT_EQ(a->bearing, 45.5 * pi / 180.0);
    EXPECT_EQ(b->target_id, "");
    EXPECT_EQ(b->range, 1234567.0);
    EXPECT_EQ(b->bearing, -10.25 * pi / 180.0);
    EXPECT_TRUE(std::regex_match(
        r.err, std::regex("tern-sensor:[0-9]+: fanbeam records 2, rejected 3, messages 2\n")))
        << r.err;
}

// On a connection the bytes come as raw data frames; a record may be split between frames.
TEST(TernSensor, ReadsRawDataFramesOnAConnection) {
    const std::string rec = ":0AFF38  0012F-0150  0200\r\n";
    const std::string in = raw_frame(rec.substr(0, 10), 3) + raw_frame("garbage\r\n", 4) +
                           "\x41\x42" + raw_frame(rec.substr(10), 3) +
                           raw_frame(":000000  0000U 0000  0000", 3);
    auto r = run_program(
        {tool_path("tern-sensor"), "--format", "tss1", "--port", "3", "--listen", "pipe"}, in);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(decode(r.out).shape, "31@1 32@1 33@1 36@1 31@2 32@2 33@2 36@2 ");
    // Without --port every port's raw data counts: the garbage line is rejected in between.
    r = run_program({tool_path("tern-sensor"), "--format", "tss1", "--listen", "pipe"}, in);
    EXPECT_NE(r.err.find("records 1, rejected 2,"), std::string::npos) << r.err;
}

// An empty raw data frame carries nothing: a record or a binary frame split around it whole.
TEST(TernSensor, AnEmptyRawDataFrameChangesNothing) {
    const std::string rec = ":0AFF38  0012F-0150  0200\r\n";
    const std::string tss1 = raw_frame(rec.substr(0, 10), 3) + raw_frame("", 3) +
                             raw_frame(rec.substr(10), 3) + raw_frame("", 3);
    auto r = run_program(
        {tool_path("tern-sensor"), "--format", "tss1", "--port", "3", "--listen", "pipe"}, tss1);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(decode(r.out).shape, "31@1 32@1 33@1 36@1 ");
    EXPECT_NE(r.err.find("records 1, rejected 0,"), std::string::npos) << r.err;

    const std::string frame = golden("em_attitude.bin").substr(2, 10);
    const std::string em =
        raw_frame(frame.substr(0, 4), 3) + raw_frame("", 3) + raw_frame(frame.substr(4), 3);
    r = run_program({tool_path("tern-sensor"), "--format", "em", "--listen", "pipe"}, em);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(decode(r.out).shape, "31@1 32@1 33@1 35@1 ");
}

// Standard output whose reader is gone: a write error and exit 1, not death by SIGPIPE (which
// the child gets back at its default action, whatever the test runner ignores).
TEST(TernSensor, AClosedStandardOutputIsAWriteError) {
    tern_test::temp_dir_t dir;
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    close(out[0]);
    const std::string prog = tool_path("tern-sensor"), in = TERN_TEST_DATA_DIR "/sensors/tss1.txt";
    const std::string err = dir.file("err");
    const char* argv[] = {prog.c_str(), "--format", "tss1", in.c_str(), nullptr};
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, out[1], 1);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t pipe_only;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &pipe_only);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, prog.c_str(), &files, &attr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attr);
    close(out[1]);
    int st = 0;
    if (!tern_test::run_until([&] { return waitpid(pid, &st, WNOHANG) == pid; }, 30)) {
        kill(pid, SIGKILL);
        waitpid(pid, &st, 0);
    }
    EXPECT_TRUE(WIFEXITED(st)) << "signal " << (WIFSIGNALED(st) ? WTERMSIG(st) : 0);
    EXPECT_EQ(WIFEXITED(st) ? WEXITSTATUS(st) : -1, 1);
    EXPECT_TRUE(
        std::regex_search(tern_test::temp_dir_t::read(err),
                          std::regex("^tern-sensor:[0-9]+: write error on standard output\n")))
        << tern_test::temp_dir_t::read(err);
}
