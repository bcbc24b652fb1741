// Sensor input: the EM attitude, TSS1, acoustic tracking and Fanbeam decoders on their own and
// through sensorInput_t, on golden streams (tests/golden/sensors) and case files
// (tests/cases/sensors); and the wind status record.
#include <tern/msg/data_msgs.h>
#include <tern/sensors/emAttitudeInputMsg.h>
#include <tern/sensors/mdlRangeBearingMsg.h>
#include <tern/sensors/sensorInput.h>
#include <tern/sensors/windStatus.h>

#include "support/cases.h"
#include "support/codec.h"
#include "support/hex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <regex>

using namespace tern;
using tern_test::case_t;

namespace {

constexpr double deg = 3.14159265358979323846 / 180.0;

std::string golden(const std::string& name) {
    return tern_test::temp_dir_t::read(std::string(TERN_TEST_DATA_DIR) + "/sensors/" + name);
}

std::string fmt(const char* f, double a, double b = 0.0) {
    char s[128];
    std::snprintf(s, sizeof s, f, a + 0.0, b + 0.0); // "+ 0.0": no "-0.00"
    return s;
}

// One line per message: the time (whole for a counting clock, else with milliseconds), the
// kind and the values in degrees and metres.
std::string describe(const std::list<msg_t*>& msgs) {
    std::string out;
    for (const msg_t* m : msgs) {
        const double t = static_cast<const data_msg_t*>(m)->utc_tstamp;
        std::string line = t < 1e6 ? fmt("%.0f ", t) : fmt("%.3f ", t);
        if (auto* r = dynamic_cast<const data_roll_t*>(m)) line += fmt("roll %.2f", r->roll / deg);
        if (auto* p = dynamic_cast<const data_pitch_t*>(m))
            line += fmt("pitch %.2f", p->pitch / deg);
        if (auto* h = dynamic_cast<const data_heave_t*>(m)) line += fmt("heave %.2f", h->heave);
        if (auto* h = dynamic_cast<const data_heading_t*>(m))
            line += fmt("heading %.2f", h->heading / deg);
        if (auto* mo = dynamic_cast<const data_motion_t*>(m))
            line += "motion " + std::to_string(mo->status) +
                    fmt(" %.4f %.4f", mo->horizontal_acceleration, mo->vertical_acceleration);
        if (auto* s = dynamic_cast<const data_pos_target_status_t*>(m))
            line += "status " + s->target_id + " \"" + s->status.status + "\" \"" +
                    s->status.error_code + "\"";
        if (auto* o = dynamic_cast<const data_pos_offset_vessel_t*>(m))
            line += "offset " + o->target_id + fmt(" %.3f %.3f", o->x, o->y);
        if (auto* dp = dynamic_cast<const data_pos_target_depth_t*>(m))
            line += "depth " + dp->target_id + fmt(" %.3f", dp->depth);
        if (auto* rb = dynamic_cast<const data_range_bearing_t*>(m))
            line += "range_bearing \"" + rb->target_id + "\"" +
                    fmt(" %.6g %.4f", rb->range, rb->bearing / deg);
        out += line + "\n";
        delete m;
    }
    return out;
}

struct run_t {
    std::string text;
    unsigned long long decoded = 0;
    unsigned long long rejected = 0;
};

// Feeds the stream cut at `cuts` into an input whose clock counts 1, 2, 3, ...
run_t feed_in_reads(sensorFormat_t format, const std::string& stream,
                    const std::vector<std::size_t>& cuts = {}) {
    double tick = 0.0;
    sensorInput_t in(format, [&tick] { return tick += 1.0; });
    std::list<msg_t*> out;
    std::size_t from = 0;
    std::vector<std::size_t> ends = cuts;
    ends.push_back(stream.size());
    for (std::size_t to : ends) {
        in.feed(stream.data() + from, to - from, out);
        from = to;
    }
    in.finish(out);
    return {describe(out), in.decoded(), in.rejected()};
}

// The captured stream gives its golden messages whole, cut once anywhere and byte by byte: a
// record (or an EM status byte whose header is still on its way) that ends a read survives.
void expect_every_cut_alike(sensorFormat_t format, const std::string& input,
                            const std::string& expected, unsigned long long decoded,
                            unsigned long long rejected) {
    SCOPED_TRACE(input);
    const std::string stream = golden(input);
    const run_t whole = feed_in_reads(format, stream);
    EXPECT_EQ(whole.text, golden(expected));
    EXPECT_EQ(whole.decoded, decoded);
    EXPECT_EQ(whole.rejected, rejected);
    std::vector<std::size_t> every_byte;
    for (std::size_t k = 1; k < stream.size(); ++k) {
        const run_t cut = feed_in_reads(format, stream, {k});
        ASSERT_EQ(cut.text, whole.text) << "cut at " << k;
        ASSERT_EQ(cut.decoded, whole.decoded) << "cut at " << k;
        every_byte.push_back(k);
    }
    EXPECT_EQ(feed_in_reads(format, stream, every_byte).text, whole.text);
}

class EmAttitudeStep : public ::testing::TestWithParam<case_t> {};
class SensorRecord : public ::testing::TestWithParam<case_t> {};
class FanbeamCase : public ::testing::TestWithParam<case_t> {};

// "V target range bearing" with "-" for an invalid format or an absent field.
std::string show(const mdlRangeBearingMsg_t& m) {
    unsigned t = 0;
    double r = 0.0;
    double b = 0.0;
    char s[96];
    std::snprintf(s, sizeof s, "%c %s %s %s", m.isFormatValid() ? 'V' : '-',
                  m.targetNumber(t) ? std::to_string(t).c_str() : "-",
                  m.range(r) ? std::to_string(r).c_str() : "-",
                  m.bearing(b) ? std::to_string(b / deg).c_str() : "-");
    return s;
}

std::string parse(const std::string& text) {
    return show(mdlRangeBearingMsg_t(text.data(), static_cast<unsigned>(text.size())));
}

} // namespace

TEST(SensorInput, CapturedStreamsGiveTheGoldenMessagesHoweverTheyAreCut) {
    expect_every_cut_alike(sensorFormat_em, "em_attitude.bin", "em_attitude.messages", 8, 14);
    expect_every_cut_alike(sensorFormat_tss1, "tss1.txt", "tss1.expected", 5, 2);
    expect_every_cut_alike(sensorFormat_ats, "ats.txt", "ats.expected", 4, 3);
    expect_every_cut_alike(sensorFormat_fanbeam, "fanbeam.txt", "fanbeam.expected", 4, 4);
}

TEST_P(EmAttitudeStep, ReturnsWhatToDrop) {
    const auto& c = GetParam().cols; // bytes, drop, status, accuracy
    ASSERT_EQ(c.size(), 4u);
    const auto b = tern_test::from_hex(
        std::regex_replace(c[0], std::regex("\\.\\.\\."), "90 00 00 00 00 00 00 00 00"));
    emAttitudeInputMsg_t m;
    EXPECT_EQ(m.decode(b.data(), static_cast<unsigned>(b.size())), std::stoul(c[1]));
    EXPECT_EQ(m.status(), std::stoi(c[2]));
    if (c[3] != "-") {
        EXPECT_EQ(m.statusCode(), b[0]);
        EXPECT_EQ(m.accuracy(), std::stoi(c[3]));
        EXPECT_EQ(std::memcmp(m.raw(), b.data(), 10), 0) << "the frame is kept as it came";
    }
}
TERN_CASES(File, EmAttitudeStep, "sensors/em_attitude_steps.txt");

// Values at their limits (the golden stream shows them rounded): the scale is held in single
// precision; nothing is made before a frame decodes.
TEST(EmAttitude, ScaleInSinglePrecision) {
    const auto f = tern_test::from_hex("9C 90 00 80 FF 7F 64 00 9F 8C");
    emAttitudeInputMsg_t m;
    std::list<msg_t*> out;
    EXPECT_EQ(m.decode(nullptr, 10), 0u);
    EXPECT_FALSE(emAttitudeDataMsgs(m, 5.0, out));
    ASSERT_EQ(m.decode(f.data(), 10), 10u);
    EXPECT_EQ(m.roll(), static_cast<double>(-32768 * static_cast<float>(0.01 * deg)));
}

TEST_P(SensorRecord, GivesItsMessages) {
    const auto& c = GetParam().cols; // format, record, verdict, messages
    ASSERT_EQ(c.size(), 4u);
    const run_t r = feed_in_reads(c[0] == "tss1" ? sensorFormat_tss1 : sensorFormat_ats,
                                  tern_test::unquote(c[1]) + "\r\n");
    EXPECT_EQ(r.decoded == 1 ? "decoded" : r.rejected == 1 ? "rejected" : "?", c[2]);
    const std::string want = c[3] == "-" ? "" : std::regex_replace(c[3], std::regex(" // "), "\n");
    EXPECT_EQ(r.text, want.empty() ? "" : want + "\n");
}
TERN_CASES(File, SensorRecord, "sensors/records.txt");

// Each field comes from its own columns only.
TEST_P(FanbeamCase, FieldsComeFromTheirColumnsOnly) {
    const case_t& c = GetParam();
    ASSERT_EQ(c.cols.size(), 2u) << c;
    EXPECT_EQ(parse(tern_test::unquote(c.cols[0])), c.cols[1]) << c.cols[0];
}
TERN_CASES(File, FanbeamCase, "sensors/fanbeam.txt");

// The fields are taken from the given length, never read on past it, and a copy owns its
// record.
TEST(Fanbeam, ConversionStopsAtTheGivenLength) {
    EXPECT_EQ(show(mdlRangeBearingMsg_t("01 0123.45 045.5077", 17)), "V 1 123.450000 45.500000");
    // No terminating zero for a reader to lean on, and gone before the fields are read.
    auto exact = std::make_unique<char[]>(17);
    std::memcpy(exact.get(), "01 0123.45 045.50", 17);
    mdlRangeBearingMsg_t m(exact.get(), 17);
    exact.reset();
    const mdlRangeBearingMsg_t copy(m);
    m.init("short", 5);
    EXPECT_EQ(show(m), "- - - -");
    EXPECT_EQ(show(copy), "V 1 123.450000 45.500000");
    m = copy;
    EXPECT_EQ(show(m), "V 1 123.450000 45.500000");
    EXPECT_FALSE(mdlRangeBearingMsg_t(nullptr, 20).isFormatValid());
    unsigned t = 99;
    EXPECT_FALSE(mdlRangeBearingMsg_t("short", 5).targetNumber(t));
    EXPECT_EQ(t, 99u); // untouched when absent
}

TEST(SensorInput, OverlongLinesAreDroppedWholeAndTheNextLineCounts) {
    const std::string good = ":0AFF38  0012F-0150  0200\r\n";
    const std::string junk(sensorInput_t::max_line + 1, ':');
    const run_t r =
        feed_in_reads(sensorFormat_tss1, junk + "\n" + good + junk + "\r" + good.substr(0, 25));
    EXPECT_EQ(r.decoded, 2u);
    EXPECT_EQ(r.rejected, 2u);
    // Exactly max_line bytes is still a line: a Fanbeam record padded with blanks decodes.
    std::string at_limit = "01 0123.45 045.50";
    at_limit.resize(sensorInput_t::max_line, ' ');
    EXPECT_EQ(feed_in_reads(sensorFormat_fanbeam, at_limit + "\n").decoded, 1u);
    EXPECT_EQ(feed_in_reads(sensorFormat_fanbeam, at_limit + " \n").rejected, 1u);
}

// Every valid Fanbeam message goes to the callback, also one without a range.
TEST(SensorInput, FanbeamMessagesGoToTheirCallback) {
    sensorInput_t in(sensorFormat_fanbeam, [] { return 1.0; });
    std::vector<unsigned> targets;
    in.on_range_bearing = [&](const mdlRangeBearingMsg_t& m) {
        unsigned t = 0;
        EXPECT_TRUE(m.targetNumber(t));
        targets.push_back(t);
    };
    std::list<msg_t*> out;
    const std::string s = "01 0123.45 045.50\r\nshort\r\n02         359.99";
    in.feed(s.data(), s.size(), out);
    in.finish(out);
    EXPECT_EQ(describe(out), "1 range_bearing \"1\" 123.45 45.5000\n");
    EXPECT_EQ(targets, (std::vector<unsigned>{1, 2}));
    EXPECT_EQ(in.rejected(), 2u);
}

TEST(WindStatus, OnlyAnnouncedValuesTravel) {
    windStatus_t ws{windStatus_t::has_true_speed | windStatus_t::has_gust_speed, 1, 2, 3, 4, 5};
    EXPECT_EQ(tern_test::payload_of(ws), "09 00 00 00 00 00 00 F0 3F 00 00 00 00 00 00 10 40");
    ws.mask = 0;
    EXPECT_EQ(tern_test::payload_of(ws), "00");
    ws.mask = 0xE0 | windStatus_t::has_mean_direction; // the byte as it is; no value for bits 5-7
    EXPECT_EQ(tern_test::payload_of(ws), "F0 00 00 00 00 00 00 14 40");
}

// Only the announced values are read; the others keep what they held, even when the read fails.
TEST(WindStatus, DecodingReadsOnlyAnnouncedValues) {
    windStatus_t got{0, 1, 2, 3, 4, 5};
    EXPECT_TRUE(tern_test::decode_into("E6 00 00 00 00 00 00 24 C0 00 00 00 00 00 00 00 00", got));
    const auto values = [](const windStatus_t& w) {
        return std::vector<double>{double(w.mask), w.true_speed, w.true_direction,
                                   w.mean_speed,   w.gust_speed, w.mean_direction};
    };
    EXPECT_EQ(values(got), (std::vector<double>{0xE6, 1, -10, 0, 4, 5}));
    got = windStatus_t{0, 1, 2, 3, 4, 5};
    EXPECT_FALSE(tern_test::decode_into("03 00 00 00 00 00 00 F0 BF 00 00", got));
    EXPECT_EQ(values(got), (std::vector<double>{3, -1, 2, 3, 4, 5}));
}
