#include <tern/almanac/alm_mgr_gps.h>

#include <tern/msg/fb_msgs.h>
#include <tern/util/time_util.h>

#include "support/scratch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

using namespace tern;

namespace {

alm_data_gps_t alm(unsigned char prn, unsigned short week, unsigned int sec) {
    return {prn, 0, week, sec, 0, 0, 0, 0, 5153.6 + prn, 0, 0, 0, 0};
}

// The PRNs of the feedback messages in the list (and frees them).
std::vector<unsigned int> prns(std::list<msg_t*>& msgs) {
    std::vector<unsigned int> v;
    for (msg_t* m : msgs) {
        auto* fb = dynamic_cast<fb_alm_gps_t*>(m);
        v.push_back(fb ? fb->alm.prn : 999u);
        delete m;
    }
    msgs.clear();
    return v;
}

using prns_t = std::vector<unsigned int>;

// Almanac files go to a fresh data directory (only these tests read its variable).
class AlmGps : public ::testing::Test {
protected:
    AlmGps() {
        setenv("TERN_DATA_PATH", dir.path().c_str(), 1);
        mkdir(dir.file("almanac").c_str(), 0700);
    }

    std::string write_alm(unsigned int prn, const std::string& text) {
        return dir.write("almanac/" + std::to_string(prn), text);
    }

    tern_test::temp_dir_t dir;
    alm_mgr_gps_t mgr;
};

// PRN 7's almanac file as written by hand.
const std::string alm7_text =
    tern_test::temp_dir_t::read(std::string(TERN_TEST_DATA_DIR) + "/almanac/gps_7");
const alm_data_gps_t alm7 = {7,    3,      2000,   61440, 0.1,   0.0125, 0.96,
                             -1.5, 5153.5, -8e-09, 2.25,  1e-05, 0.0};

// The data clock standing at a given time while it lives.
class data_clock_t {
public:
    explicit data_clock_t(double t) { set(t); }
    ~data_clock_t() { set_tstamp_data_diff(saved_); }
    void set(double t) { set_tstamp_data_diff(t - gettstamp_sys()); }

private:
    double saved_ = get_tstamp_data_diff();
};

} // namespace

// Only a strictly newer almanac replaces the one held, and only that one is sent as new.
TEST_F(AlmGps, OnlyAStrictlyNewerAlmanacReplaces) {
    const struct {
        unsigned short held_week;
        unsigned int held_sec;
        unsigned short new_week;
        unsigned int new_sec;
        bool replaces;
    } rows[] = {
        {1999, 604799, 2000, 0, true}, {2000, 0, 1999, 604799, false}, {2000, 100, 2000, 101, true},
        {2000, 101, 2000, 100, false}, {2000, 100, 2000, 100, false},  {0, 0, 0, 1, true},
    };
    for (const auto& c : rows) {
        SCOPED_TRACE(std::to_string(c.new_week) + " " + std::to_string(c.new_sec));
        alm_mgr_gps_t m;
        m.add(new alm_data_gps_t(alm(5, c.held_week, c.held_sec)));
        std::list<msg_t*> out;
        m.update(out, false);
        prns(out);
        m.add(new alm_data_gps_t(alm(5, c.new_week, c.new_sec)));
        ASSERT_NE(m.get_alm(5), nullptr);
        EXPECT_EQ(m.get_alm(5)->gps_week, c.replaces ? c.new_week : c.held_week);
        EXPECT_EQ(m.get_alm(5)->gps_week_sec, c.replaces ? c.new_sec : c.held_sec);
        EXPECT_EQ(m.num(), 1u);
        m.update(out, false); // the refused one is not new
        EXPECT_EQ(prns(out), c.replaces ? prns_t{5} : prns_t{});
    }
}

// Any almanac is newer than none; almanacs of different satellites compare by time only.
TEST_F(AlmGps, AgeComparison) {
    const alm_data_gps_t a = alm(1, 2000, 5);
    EXPECT_EQ(alm_mgr_gps_t::alm_age_cmp(a, alm(2, 2000, 5)), 0);
    EXPECT_EQ(alm_mgr_gps_t::alm_age_cmp(&a, nullptr), 1);
    EXPECT_EQ(alm_mgr_gps_t::alm_age_cmp(nullptr, &a), -1);
    EXPECT_FALSE(alm_mgr_gps_t::alm_load(nullptr, alm_mgr_gps_t::alm_filename(1)));
}

TEST_F(AlmGps, OldestAndNewestFollowTheHeldAlmanacs) {
    EXPECT_EQ(mgr.oldest(), 0u);
    EXPECT_EQ(mgr.newest(), 0u);
    // Week 2000 second 0 is 1525564800 s after 1970 on the GPS clock, 18 leap seconds ahead.
    mgr.add(new alm_data_gps_t(alm(1, 2000, 0)));
    mgr.add(new alm_data_gps_t(alm(2, 2001, 0)));
    EXPECT_EQ(mgr.oldest(), 1525564782u);
    EXPECT_EQ(mgr.newest(), 1526169582u);
    // PRN 1 replaced: its old time is no longer held by anyone.
    mgr.add(new alm_data_gps_t(alm(1, 2002, 0)));
    EXPECT_EQ(mgr.oldest(), 1526169582u);
    EXPECT_EQ(mgr.newest(), 1526774382u);
    mgr.clear();
    EXPECT_EQ(mgr.num(), 0u);
    EXPECT_EQ(mgr.oldest(), 0u);
    EXPECT_EQ(mgr.get_alm(1), nullptr);
}

// The golden file both ways: written with its keys in order, and read back by a fresh manager.
TEST_F(AlmGps, WritesAndReadsTheGoldenFile) {
    mgr.set_save(true);
    mgr.add(new alm_data_gps_t(alm7));
    EXPECT_EQ(tern_test::temp_dir_t::read(dir.file("almanac/7")), alm7_text);
    write_alm(7, alm7_text); // as written by hand, not by this build
    alm_mgr_gps_t back;
    back.load();
    ASSERT_NE(back.get_alm(7), nullptr);
    EXPECT_EQ(*back.get_alm(7), alm7);
    EXPECT_EQ(back.num(), 1u);
    EXPECT_TRUE(back.skipped().empty());
}

TEST_F(AlmGps, StoreAndLoadKeepEveryBitOfTheDoubles) {
    const tern_test::comma_locale_t comma;
    mgr.set_save(true);
    for (unsigned char prn = 1; prn <= 32; ++prn) {
        const unsigned char health = static_cast<unsigned char>(prn * 7);
        mgr.add(new alm_data_gps_t{
            prn, health, 2100, 1000u * prn, 0.1 + 0.2, std::nextafter(0.01, 1.0), 1.0 / 3.0 * prn,
            -std::numeric_limits<double>::denorm_min(), 5153.6, -8.2e-9 / prn,
            std::nextafter(3.14159265358979, 0.0), std::numeric_limits<double>::max(),
            -std::numeric_limits<double>::min()});
    }
    alm_mgr_gps_t again;
    again.load();
    EXPECT_EQ(again.num(), 32u);
    EXPECT_EQ(again.oldest(), mgr.oldest());
    EXPECT_EQ(again.newest(), mgr.newest());
    for (unsigned int prn = 1; prn <= 32; ++prn) {
        ASSERT_NE(again.get_alm(prn), nullptr) << prn;
        EXPECT_EQ(*again.get_alm(prn), *mgr.get_alm(prn)) << prn;
    }
    std::list<msg_t*> out;
    again.update(out, false); // everything loaded counts as new
    EXPECT_EQ(prns(out).size(), 32u);
}

TEST_F(AlmGps, LoadWithoutFilesLeavesEveryPrnEmpty) {
    mgr.add(new alm_data_gps_t(alm(3, 2000, 0)));
    mgr.load();
    EXPECT_EQ(mgr.num(), 0u);
    EXPECT_EQ(mgr.oldest() + mgr.newest(), 0u);
    EXPECT_EQ(mgr.get_alm(3), nullptr);
    std::list<msg_t*> out;
    mgr.update(out, true);
    EXPECT_TRUE(out.empty());
}

// A damaged file and the reason it is skipped for.
struct damaged_case_t {
    const char* name;
    std::string text;
    const char* reason;
};

std::string replace(std::string text, const std::string& from, const std::string& to) {
    if (const auto at = text.find(from); at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class AlmGpsDamaged : public AlmGps, public ::testing::WithParamInterface<damaged_case_t> {};

TEST_P(AlmGpsDamaged, IsSkippedWithOneLineOfReason) {
    write_alm(7, GetParam().text);
    write_alm(9, replace(alm7_text, "alm_prn=7", "alm_prn=9"));
    mgr.load();
    EXPECT_EQ(mgr.get_alm(7), nullptr);
    ASSERT_NE(mgr.get_alm(9), nullptr); // its neighbour still loads
    EXPECT_EQ(mgr.num(), 1u);
    ASSERT_EQ(mgr.skipped().size(), 1u);
    const std::string& why = mgr.skipped()[0];
    EXPECT_NE(why.find("almanac/7: "), std::string::npos) << why;
    EXPECT_NE(why.find(GetParam().reason), std::string::npos) << why;
    EXPECT_EQ(why.find('\n'), std::string::npos) << why;
    EXPECT_EQ(mgr.desc().get_desc(), why);
}

const damaged_case_t damaged_cases[] = {
    {"last_key_missing", replace(alm7_text, "alm_af1=0\n", ""), "key alm_af1 is missing"},
    {"double_not_a_number", replace(alm7_text, "alm_sqrt_a=5153.5", "alm_sqrt_a=5153,5"),
     "key alm_sqrt_a does not convert"},
    {"week_negative", replace(alm7_text, "alm_gps_week=2000", "alm_gps_week=-1"),
     "key alm_gps_week does not convert"},
    // A value holding a line end is quoted escaped: the reason stays one line.
    {"value_with_a_line_end",
     replace(alm7_text, "alm_gps_week_sec=61440", "alm_gps_week_sec=6\\n\\x01\"1440"),
     "key alm_gps_week_sec does not convert: \"6\\n\\x01\\\"1440\""},
    {"prn_zero", replace(alm7_text, "alm_prn=7", "alm_prn=0"), "alm_prn 0 is not 1 to 32"},
    {"prn_33", replace(alm7_text, "alm_prn=7", "alm_prn=33"), "alm_prn 33 is not 1 to 32"},
    {"prn_of_another_file", replace(alm7_text, "alm_prn=7", "alm_prn=8"),
     "alm_prn 8 does not match the file's name"},
    {"torn_last_line", alm7_text.substr(0, alm7_text.size() - 1), "truncated"},
    {"empty", "", "key alm_prn is missing"},
};
INSTANTIATE_TEST_SUITE_P(Table, AlmGpsDamaged, ::testing::ValuesIn(damaged_cases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(AlmGps, FeedbackForNewOnlyOrAllInPrnOrder) {
    mgr.add(new alm_data_gps_t(alm(20, 2000, 0)));
    mgr.add(new alm_data_gps_t(alm(3, 2000, 0)));
    std::list<msg_t*> out;
    mgr.update(out, false);
    EXPECT_EQ(prns(out), (prns_t{3, 20}));
    mgr.update(out, false);
    EXPECT_EQ(prns(out), prns_t{});
    mgr.add(new alm_data_gps_t(alm(20, 2000, 1)));
    mgr.add(new alm_data_gps_t(alm(11, 2000, 1)));
    mgr.update(out, false);
    EXPECT_EQ(prns(out), (prns_t{11, 20}));
    mgr.update(out, true);
    EXPECT_EQ(prns(out), (prns_t{3, 11, 20}));
    mgr.update(out, static_cast<unsigned char>(11));
    mgr.update(out, static_cast<unsigned char>(12));
    mgr.update(out, 3);
    EXPECT_EQ(prns(out), (prns_t{11, 3}));
    // The message carries the whole record.
    fb_alm_gps_t in(alm7);
    mgr.handle(in);
    mgr.update(out, 7);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(static_cast<fb_alm_gps_t*>(out.front())->alm, alm7);
    prns(out);
}

TEST_F(AlmGps, AnAlmanacFromTheFarFutureIsNeitherKeptAgainstRealOnesNorSavedNorSent) {
    mgr.set_save(true);
    std::list<msg_t*> out;
    // Week 4000 lies in 2056.
    mgr.add(new alm_data_gps_t(alm(4, 4000, 0)));
    ASSERT_NE(mgr.get_alm(4), nullptr);
    EXPECT_TRUE(tern_test::temp_dir_t::read(dir.file("almanac/4")).empty());
    mgr.update(out, true);
    EXPECT_EQ(prns(out), prns_t{});
    EXPECT_EQ(mgr.newest(), 0u);
    // Any real almanac replaces it.
    mgr.add(new alm_data_gps_t(alm(4, 2000, 0)));
    EXPECT_EQ(mgr.get_alm(4)->gps_week, 2000);
    EXPECT_FALSE(tern_test::temp_dir_t::read(dir.file("almanac/4")).empty());
    // And it never replaces a real one.
    mgr.add(new alm_data_gps_t(alm(4, 4000, 0)));
    EXPECT_EQ(mgr.get_alm(4)->gps_week, 2000);
    mgr.update(out, false);
    EXPECT_EQ(prns(out), prns_t{4});
    EXPECT_EQ(mgr.num(), 1u);
}

TEST_F(AlmGps, AFailedSaveSaysWhyAndKeepsTheAlmanac) {
    // Without its directory the manager still holds the almanac, and says why it is not saved.
    rmdir(dir.file("almanac").c_str());
    mgr.set_save(true);
    mgr.add(new alm_data_gps_t(alm(6, 2000, 0)));
    EXPECT_NE(mgr.get_alm(6), nullptr);
    EXPECT_FALSE(mgr.desc().get_desc().empty());
}

// Before its first fix a controller's data clock may stand in 2000, and every almanac is then
// "from the far future". They still compare by age, and wait to be saved and sent until the
// clock makes them plausible.
TEST_F(AlmGps, WhileTheClockIsFarBehindAlmanacsCompareAndWaitToBeSavedAndSent) {
    const alm_data_gps_t held = alm(5, 2000, 200), older = alm(5, 2000, 100),
                         newer = alm(5, 2000, 300);
    const std::string file = dir.file("almanac/5");
    data_clock_t clock(alm_mgr_gps_t::alm_time(held) + 86400.0);
    mgr.set_save(true);
    mgr.add(new alm_data_gps_t(held));
    const std::string held_text = tern_test::temp_dir_t::read(file);
    ASSERT_FALSE(held_text.empty());
    mgr.add(new alm_data_gps_t(older)); // refused: the stored file stays as it was
    EXPECT_EQ(tern_test::temp_dir_t::read(file), held_text);

    clock.set(946684800.0); // 2000-01-01
    alm_mgr_gps_t boot;
    boot.set_save(true);
    boot.load();
    std::list<msg_t*> out;
    boot.update(out, false);
    EXPECT_EQ(prns(out), prns_t{}); // not sendable yet, still new
    boot.add(new alm_data_gps_t(older));
    EXPECT_EQ(*boot.get_alm(5), held);
    boot.add(new alm_data_gps_t(newer));
    boot.add(new alm_data_gps_t(older));
    EXPECT_EQ(*boot.get_alm(5), newer);
    EXPECT_EQ(tern_test::temp_dir_t::read(file), held_text);
    EXPECT_EQ(boot.newest(), 0u);

    clock.set(alm_mgr_gps_t::alm_time(newer) + 86400.0); // the first fix
    boot.update(out, false);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(static_cast<fb_alm_gps_t*>(out.front())->alm, newer);
    prns(out);
    alm_data_gps_t stored{};
    ASSERT_TRUE(alm_mgr_gps_t::alm_load(stored, file));
    EXPECT_EQ(stored, newer);
    EXPECT_EQ(boot.newest(), alm_mgr_gps_t::alm_time(newer));
}

// Only a small regular file is read: a FIFO would hold loading for ever, a runaway file would
// be read whole. Both are skipped with their reason, like damaged files.
TEST_F(AlmGps, AFifoOrAnOversizedFileIsSkippedUnread) {
    ASSERT_EQ(mkfifo(dir.file("almanac/3").c_str(), 0600), 0);
    const auto padded = [](unsigned int prn, std::size_t size) {
        std::string text = replace(alm7_text, "alm_prn=7", "alm_prn=" + std::to_string(prn));
        return text + "#" + std::string(size - text.size() - 2, 'x') + "\n";
    };
    write_alm(9, padded(9, alm_mgr_gps_t::max_file_size));
    write_alm(10, padded(10, alm_mgr_gps_t::max_file_size + 1));
    // A loader stuck opening the FIFO is given a writer after the deadline, so the test ends.
    auto loading = std::async(std::launch::async, [this] { mgr.load(); });
    const bool stuck = loading.wait_for(std::chrono::seconds(10)) != std::future_status::ready;
    if (stuck) close(open(dir.file("almanac/3").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    loading.wait();
    EXPECT_FALSE(stuck) << "the FIFO was opened";
    EXPECT_NE(mgr.get_alm(9), nullptr); // exactly the limit still loads
    EXPECT_EQ(mgr.num(), 1u);
    ASSERT_EQ(mgr.skipped().size(), 2u);
    EXPECT_EQ(mgr.skipped()[0], dir.file("almanac/3") + ": not a regular file");
    EXPECT_EQ(mgr.skipped()[1], dir.file("almanac/10") + ": larger than 65536 bytes");
}
