#include <tern/data/attitudeCache.h>

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace tern;

namespace {

// The reported messages as "type:stamp:value" lines, then freed.
std::string take(std::list<msg_t*>& out) {
    std::ostringstream os;
    for (msg_t* m : out) {
        os << m->type << ':' << static_cast<data_msg_t*>(m)->utc_tstamp << ':';
        if (auto* r = dynamic_cast<data_roll_t*>(m)) os << r->roll;
        if (auto* p = dynamic_cast<data_pitch_t*>(m)) os << p->pitch;
        if (auto* h = dynamic_cast<data_heave_t*>(m)) os << h->heave;
        os << '\n';
        delete m;
    }
    out.clear();
    return os.str();
}

template <class T>
T* stamped(T* m, double t) {
    m->utc_tstamp = t;
    return m;
}

} // namespace

TEST(AttitudeParamCache, TrimPeakAndAverage) {
    attitudeParamCache_t c;
    EXPECT_EQ(c.peak(), nullptr);
    EXPECT_EQ(c.average(), 0.0);
    const double inf = HUGE_VAL;
    // Samples without a finite time or value are never stored: an infinite stamp at the front
    // would stop every trim, an infinite value would swamp the average.
    for (const auto& bad :
         {std::make_pair(1.0, std::nan("")), std::make_pair(std::nan(""), 50.0),
          std::make_pair(inf, 2.0), std::make_pair(-inf, 2.0), std::make_pair(1.0, inf)})
        c.add(bad.first, bad.second);
    const double samples[][2] = {{9.0, 1.0}, {10.0, -4.0}, {11.0, 3.0}, {9.5, 4.0}};
    for (const auto& s : samples) c.add(s[0], s[1]);
    ASSERT_EQ(c.samples().size(), 4u);
    EXPECT_EQ(*c.peak(), attitudeParamCache_t::sample_t(10.0, -4.0)); // the first largest |v|
    EXPECT_EQ(c.average(), 1.0);
    c.trim(10.0); // stops at 10.0; 9.5 stays behind 11.0
    ASSERT_EQ(c.samples().size(), 3u);
    EXPECT_EQ(c.samples().front().first, 10.0);
    c.trim(11.5);
    EXPECT_TRUE(c.empty());
    c.add(inf, 1.0);
    c.add(12.0, 1.0);
    c.trim(13.0);
    EXPECT_TRUE(c.empty());
}

// Each quantity to its own list; other kinds, other categories, bare headers and nulls ignored.
TEST(AttitudeCache, MessagesGoToTheirListsAndReportsComeInOrder) {
    attitudeCache_t cache;
    std::list<msg_t*> out;
    cache.reportPeak(1.0, out);
    EXPECT_TRUE(out.empty());

    data_roll_t roll;
    roll.roll = -4.0f;
    data_pitch_t pitch;
    pitch.pitch = 0.5f;
    data_heave_t heave;
    heave.heave = 2.0f;
    data_heading_t heading;
    msg_t cmd(msg_t::category_cmd, data_type_roll);
    data_msg_t bare(data_type_pitch);
    cache.add(std::list<msg_t*>{stamped(&heave, 1.0), stamped(&pitch, 1.0), stamped(&roll, 1.0),
                                &heading, &cmd, &bare, nullptr});
    roll.roll = 3.0f;
    cache.add(*stamped(&roll, 2.0));
    roll.roll = 4.0f;
    cache.add(static_cast<const msg_t&>(*stamped(&roll, 3.0)));
    heave.heave = 1.0f;
    cache.add(*stamped(&heave, 2.0));

    cache.reportPeak(7.5, out);
    EXPECT_EQ(take(out), "31:7.5:-4\n32:7.5:0.5\n33:7.5:2\n");
    cache.reportAverage(8.0, out);
    EXPECT_EQ(take(out), "31:8:1\n32:8:0.5\n33:8:1.5\n");
    cache.trim(2.0); // pitch empties: only roll and heave report
    cache.reportAverage(9.0, out);
    EXPECT_EQ(take(out), "31:9:3.5\n33:9:1\n");
    cache.clear();
    cache.reportAverage(10.0, out);
    EXPECT_TRUE(out.empty());
}
