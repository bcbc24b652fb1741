// tern-sensor, run as a program on captured-style streams.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "support/process.h"
#include "support/scratch.h"

#include <tern/msg/catalogue.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/util/time_util.h>

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

using tern_test::run_program;
using tern_test::tool_path;

namespace {

std::string golden_path(const std::string& name) {
    return std::string(TERN_TEST_DATA_DIR) + "/sensors/" + name;
}

struct frame_msg_t {
    std::unique_ptr<tern::msg_t> msg;
    unsigned port = 0;
};

// The messages of a stream of frames; every byte must belong to a valid frame.
std::vector<frame_msg_t> messages(const std::string& out) {
    std::vector<frame_msg_t> v;
    const auto* p = reinterpret_cast<const unsigned char*>(out.data());
    std::size_t off = 0;
    while (off < out.size()) {
        tern::msg_decoder_t dec;
        const unsigned n = dec.decode_init(p + off, static_cast<unsigned>(out.size() - off));
        EXPECT_TRUE(n > 0 && dec.is_valid()) << "at " << off;
        if (n == 0 || !dec.is_valid()) break;
        frame_msg_t m{tern::create_msg(dec), dec.port()};
        EXPECT_TRUE(m.msg) << "at " << off;
        v.push_back(std::move(m));
        off += n;
    }
    return v;
}

// "type@time-group" for each message: messages of one record share the group number.
std::string shape(const std::vector<frame_msg_t>& v) {
    std::string s;
    double last = -1.0;
    int group = 0;
    for (const auto& m : v) {
        const auto* d = dynamic_cast<const tern::data_msg_t*>(m.msg.get());
        if (!d) return "not data";
        if (d->utc_tstamp != last) ++group;
        last = d->utc_tstamp;
        s += std::to_string(m.msg->type) + "@" + std::to_string(group) + " ";
    }
    return s;
}

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
    const auto r = run_program(
        {tool_path("tern-sensor"), "--format", "tss1", "--port", "7", golden_path("tss1.txt")});
    const double after = tern::gettstamp_data();
    EXPECT_EQ(r.status, 0) << r.err;
    const auto v = messages(r.out);
    EXPECT_EQ(shape(v), "31@1 32@1 33@1 36@1 31@2 32@2 31@3 32@3 33@3 36@3 31@4 32@4 33@4 "
                        "31@5 32@5 33@5 36@5 ");
    for (const auto& m : v) {
        EXPECT_EQ(m.port, 7u);
        const double t = static_cast<const tern::data_msg_t*>(m.msg.get())->utc_tstamp;
        EXPECT_GE(t, before - 1.0);
        EXPECT_LE(t, after + 1.0);
    }
    ASSERT_EQ(v.size(), 17u);
    const auto* motion = static_cast<const tern::data_motion_t*>(v[9].msg.get());
    EXPECT_EQ(motion->status, tern::tss1Msg_t::status_heading_aided_settling);
    EXPECT_FLOAT_EQ(motion->vertical_acceleration, -20.48f);
    EXPECT_TRUE(std::regex_search(
        r.err, std::regex("^tern-sensor:[0-9]+: tss1 records 5, rejected 2, messages 17\n$")))
        << r.err;
}

TEST(TernSensor, EmAndAtsFromStandardInput) {
    const auto em = run_program({tool_path("tern-sensor"), "--format", "em"},
                                tern_test::temp_dir_t::read(golden_path("em_attitude.bin")));
    EXPECT_EQ(em.status, 0) << em.err;
    const auto v = messages(em.out);
    ASSERT_EQ(v.size(), 32u);
    EXPECT_EQ(shape(v).substr(0, 24), "31@1 32@1 33@1 35@1 31@2");
    EXPECT_FLOAT_EQ(static_cast<const tern::data_heave_t*>(v[6].msg.get())->heave, 327.68f);
    EXPECT_EQ(v[0].port, 255u);

    const auto ats = run_program({tool_path("tern-sensor"), "--format", "ats"},
                                 tern_test::temp_dir_t::read(golden_path("ats.txt")));
    EXPECT_EQ(ats.status, 0) << ats.err;
    const auto a = messages(ats.out);
    EXPECT_EQ(shape(a), "46@1 42@1 45@1 46@2 45@3 46@4 45@4 ");
    ASSERT_EQ(a.size(), 7u);
    EXPECT_EQ(static_cast<const tern::data_msg_t*>(a[0].msg.get())->utc_tstamp, 1706702400.5);
}

TEST(TernSensor, RangeBearingReadingsGoToStandardError) {
    const auto r = run_program({tool_path("tern-sensor"), "--format", "fanbeam"},
                               "01 0123.45 045.50\r\nbad\r\n01 0123.45 045.50 00\r\n"
                               " 2  12     359.99\r\nxx 0000.50 -10.25");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(std::regex_match(r.err, std::regex("range_bearing target 1 range 123.450 bearing "
                                                   "45.50\n"
                                                   "range_bearing target 2 range - bearing 359.99\n"
                                                   "range_bearing target - range 0.500 bearing "
                                                   "-10.25\n"
                                                   "tern-sensor:[0-9]+: fanbeam records 3, "
                                                   "rejected 2, messages 0\n")))
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
    EXPECT_EQ(shape(messages(r.out)), "31@1 32@1 33@1 36@1 31@2 32@2 33@2 36@2 ");
    // Without --port every port's raw data counts: the garbage line is rejected in between.
    r = run_program({tool_path("tern-sensor"), "--format", "tss1", "--listen", "pipe"}, in);
    EXPECT_NE(r.err.find("records 1, rejected 2,"), std::string::npos) << r.err;
}

TEST(TernSensor, BadUsage) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--format"},
        {"--format", "nmea"},
        {"--format", "em", "--port", "256"},
        {"--format", "em", "--port", "-1"},
        {"--format", "em", "--bogus"},
        {"--format", "em", "a", "b"},
        {"--format", "em", "--connect", "socket=@x", "file"},
        {"--format", "em", "--connect", "nowhere"},
    };
    for (auto args : bad) {
        args.insert(args.begin(), tool_path("tern-sensor"));
        const auto r = run_program(args);
        EXPECT_EQ(r.status, 2) << args.size();
        EXPECT_TRUE(r.out.empty());
        EXPECT_TRUE(std::regex_search(r.err, std::regex("^tern-sensor:[0-9]+: "))) << r.err;
    }
    const auto help = run_program({tool_path("tern-sensor"), "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: tern-sensor --format em|tss1|ats|fanbeam"), std::string::npos);
    const auto missing = run_program({tool_path("tern-sensor"), "--format", "em", "/no/such"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot open /no/such"), std::string::npos);
}
