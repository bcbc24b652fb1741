#include <tern/sensors/sensorInput.h>

#include <tern/decode/atsAsciiMsg.h>
#include <tern/msg/data_msgs.h>
#include <tern/sensors/decodeAtsAscii.h>
#include <tern/sensors/tss1Msg.h>

#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace tern;

namespace {

constexpr double deg = 3.14159265358979323846 / 180.0;

std::string golden(const std::string& name) {
    return tern_test::temp_dir_t::read(std::string(TERN_TEST_DATA_DIR) + "/sensors/" + name);
}

std::string fmt(const char* f, double a, double b = 0.0, double c = 0.0) {
    char s[128];
    std::snprintf(s, sizeof s, f, a + 0.0, b + 0.0, c + 0.0);
    return s;
}

// One line per message: the time (as a whole number for a counting clock, else with
// milliseconds), the kind and the values in degrees and metres.
std::string describe(const std::list<msg_t*>& msgs) {
    std::string out;
    for (const msg_t* m : msgs) {
        const auto* d = static_cast<const data_msg_t*>(m);
        const double t = d->utc_tstamp;
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
    }
    return out;
}

struct run_t {
    std::string text;
    unsigned long long decoded = 0;
    unsigned long long rejected = 0;
};

// Feeds the stream cut at `cuts` into a decoder whose clock counts 1, 2, 3, ...
run_t feed_in_reads(sensorFormat_t format, const std::string& stream,
                    const std::vector<std::size_t>& cuts) {
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
    run_t r{describe(out), in.decoded(), in.rejected()};
    for (msg_t* m : out) delete m;
    return r;
}

struct stream_case_t {
    sensorFormat_t format;
    const char* input;
    const char* expected;
    unsigned long long decoded;
    unsigned long long rejected;
};

const stream_case_t streams[] = {
    {sensorFormat_tss1, "tss1.txt", "tss1.expected", 5, 2},
    {sensorFormat_ats, "ats.txt", "ats.expected", 4, 3},
    {sensorFormat_em, "em_attitude.bin", "em_attitude.messages", 8, 14},
    {sensorFormat_fanbeam, "fanbeam.txt", "fanbeam.expected", 4, 4},
};

} // namespace

TEST(SensorInput, CapturedStreamsGiveTheGoldenMessagesHoweverTheyAreCut) {
    for (const auto& c : streams) {
        SCOPED_TRACE(c.input);
        const std::string stream = golden(c.input);
        const run_t whole = feed_in_reads(c.format, stream, {});
        EXPECT_EQ(whole.text, golden(c.expected));
        EXPECT_EQ(whole.decoded, c.decoded);
        EXPECT_EQ(whole.rejected, c.rejected);
        for (std::size_t k = 1; k < stream.size(); ++k) {
            const run_t cut = feed_in_reads(c.format, stream, {k});
            ASSERT_EQ(cut.text, whole.text) << "cut at " << k;
            ASSERT_EQ(cut.decoded, whole.decoded) << "cut at " << k;
        }
        std::vector<std::size_t> every_byte;
        for (std::size_t k = 1; k < stream.size(); ++k) every_byte.push_back(k);
        EXPECT_EQ(feed_in_reads(c.format, stream, every_byte).text, whole.text);
    }
}

TEST(SensorInput, OverlongLinesAreDroppedWholeAndTheNextLineCounts) {
    const std::string good = ":0AFF38  0012F-0150  0200\r\n";
    const std::string junk(sensorInput_t::max_line + 1, ':');
    const run_t r =
        feed_in_reads(sensorFormat_tss1, junk + "\n" + good + junk + "\r" + good.substr(0, 25), {});
    EXPECT_EQ(r.decoded, 2u);
    EXPECT_EQ(r.rejected, 2u);
    // Exactly max_line bytes is still a line (and here not a record).
    const run_t at_limit =
        feed_in_reads(sensorFormat_tss1, std::string(sensorInput_t::max_line, 'x') + "\n", {});
    EXPECT_EQ(at_limit.rejected, 1u);
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
    for (msg_t* m : out) delete m;
    EXPECT_EQ(targets, (std::vector<unsigned>{1, 2}));
    EXPECT_EQ(in.rejected(), 2u);
}

// Complete records and absent quantities are pinned by the golden TSS1 and ATS streams; here
// the time given, the sign rules and the records that give nothing.
TEST(DecodeTss, OnlyThePresentQuantitiesBecomeMessages) {
    struct row_t {
        const char* record;
        const char* messages;
    };
    const row_t rows[] = {
        {":0A      0012F-0150  0200", "7 roll -1.50\n7 pitch 2.00\n7 heave 0.12\n"},
        {":0AFF38  0012  0150  0200", "7 roll 1.50\n7 pitch 2.00\n7 heave 0.12\n"},
        {":0AFF38  0012F-0150  020", ""},
        {"", ""},
    };
    for (const auto& r : rows) {
        std::list<msg_t*> out;
        const bool any =
            decodeTss(r.record, static_cast<unsigned>(std::strlen(r.record)), 7.0, out);
        EXPECT_EQ(any, *r.messages != '\0') << r.record;
        EXPECT_EQ(describe(out), r.messages) << r.record;
        for (msg_t* m : out) delete m;
    }
}

TEST(DecodeAtsAscii, ErrorCodesDecideWhetherAPositionFollows) {
    const std::pair<std::string, const char*> rows[] = {
        {"$ATS,20240131,120000,B1,1.5,-2,30,0*1B\r\n",
         "1706702400.000 status B1 \"\" \"0\"\n1706702400.000 offset B1 1.500 -2.000\n"
         "1706702400.000 depth B1 30.000\n"},
        {"$ATS,20240131,120000,B1,,,,*1D\r\n", ""},
        {"$ATS,20240131,120000,B1,1,2,3,-1*31\r\n", ""},
        {"$ATS,20240131,120000,B1,1,2,3,4294967296*23\r\n", ""},
        {"$ATS,,120000,B1,1,2,3,0*1A\r\n", ""},
        {"$ATS,20240131,,B1,1,2,3,0*1E\r\n", ""},
    };
    for (const auto& [line, messages] : rows) {
        std::list<msg_t*> out;
        const atsAsciiMsg_t msg(line.data(), static_cast<unsigned>(line.size()));
        EXPECT_EQ(decodeAtsAscii(msg, out), *messages != '\0') << line;
        EXPECT_EQ(describe(out), messages) << line;
        for (msg_t* m : out) delete m;
    }
}
