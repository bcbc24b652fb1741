// The almanac managers: GPS almanacs by age, in files of their own, and the other systems'
// records by slot or satellite.
#include <tern/almanac/alm_mgr_beidou.h>
#include <tern/almanac/alm_mgr_galileo.h>
#include <tern/almanac/alm_mgr_glonass.h>
#include <tern/almanac/alm_mgr_gps.h>
#include <tern/almanac/alm_mgr_sbas.h>

#include <tern/msg/fb_msgs.h>
#include <tern/util/time_util.h>

#include "support/cases.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <limits>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace tern;
using tern_test::case_t;
using tern_test::unquote;

namespace {

// The PRNs of the feedback messages in the list, as "3,20" (and frees them).
std::string prns(std::list<msg_t*>& msgs) {
    std::string v;
    for (msg_t* m : msgs) {
        auto* fb = dynamic_cast<fb_alm_gps_t*>(m);
        v += (v.empty() ? "" : ",") + std::to_string(fb ? fb->alm.prn : 999u);
        delete m;
    }
    msgs.clear();
    return v;
}

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

} // namespace

// Runs a case's steps on a manager that saves into the test's directory and returns what the
// steps that show something showed, as tests/cases/almanac/steps.txt writes them.
std::string run_steps(const std::string& steps, const tern_test::temp_dir_t& dir) {
    const double saved_clock = get_tstamp_data_diff();
    auto mgr = std::make_unique<alm_mgr_gps_t>();
    const auto record = [](const alm_data_gps_t* a) {
        return a ? std::to_string(a->gps_week) + "/" + std::to_string(a->gps_week_sec) : "-";
    };
    std::istringstream in(steps);
    std::string shown;
    for (std::string op; in >> op;) {
        const std::string arg = op.substr(op.find_first_of(":=") + 1);
        const auto show = [&](const std::string& v) { shown += op + "=" + v + " "; };
        unsigned p = 0, w = 0, s = 0;
        std::list<msg_t*> out;
        alm_data_gps_t stored{};
        if (std::sscanf(op.c_str(), "+%u/%u/%u", &p, &w, &s) == 3)
            mgr->add(new alm_data_gps_t{static_cast<unsigned char>(p), 0,
                                        static_cast<unsigned short>(w), s, 0, 0, 0, 0, 5153.6 + p,
                                        0, 0, 0, 0});
        else if (op == "boot")
            mgr = std::make_unique<alm_mgr_gps_t>(), mgr->set_save(true), mgr->load();
        else if (op == "save")
            mgr->set_save(true);
        else if (op == "load")
            mgr->load();
        else if (op == "clear")
            mgr->clear();
        else if (op == "nodir")
            rmdir(dir.file("almanac").c_str());
        else if (op.rfind("clock=", 0) == 0)
            set_tstamp_data_diff(std::stod(arg) - gettstamp_sys());
        else if (op == "new" || op == "all")
            mgr->update(out, op == "all"), show(prns(out));
        else if (op.rfind("one:", 0) == 0)
            mgr->update(out, static_cast<unsigned char>(std::stoul(arg))), show(prns(out));
        else if (op.rfind("held:", 0) == 0)
            show(record(mgr->get_alm(unsigned(std::stoul(arg)))));
        else if (op.rfind("file:", 0) == 0)
            show(record(alm_mgr_gps_t::alm_load(stored, dir.file("almanac/" + arg)) ? &stored
                                                                                    : nullptr));
        else if (op == "span")
            show(std::to_string(mgr->oldest()) + "-" + std::to_string(mgr->newest()));
        else if (op == "num")
            show(std::to_string(mgr->num()));
        else if (op == "why")
            show(mgr->desc().get_desc().empty() ? "none" : "said");
        else
            ADD_FAILURE() << "no such step: " << op;
    }
    set_tstamp_data_diff(saved_clock);
    return shown.substr(0, shown.find_last_not_of(' ') + 1);
}

class AlmGpsSteps : public AlmGps, public ::testing::WithParamInterface<case_t> {};

TEST_P(AlmGpsSteps, ShowWhatTheManagerHolds) {
    ASSERT_EQ(GetParam().cols.size(), 2u);
    EXPECT_EQ(run_steps(GetParam().cols[0], dir), GetParam().cols[1]);
}
TERN_CASES(Table, AlmGpsSteps, "almanac/steps.txt");

// The golden file both ways: written with its keys in order, and read back by a fresh manager
// beside almanacs whose doubles need every bit, whatever the locale.
TEST_F(AlmGps, WritesAndReadsTheGoldenFileAndEveryBitOfTheDoubles) {
    const tern_test::comma_locale_t comma;
    mgr.set_save(true);
    mgr.add(new alm_data_gps_t(alm7));
    EXPECT_EQ(tern_test::temp_dir_t::read(dir.file("almanac/7")), alm7_text);
    write_alm(7, alm7_text); // as written by hand, not by this build
    for (unsigned char prn = 8; prn <= 32; ++prn)
        mgr.add(new alm_data_gps_t{
            prn, static_cast<unsigned char>(prn * 7), 2100, 1000u * prn, 0.1 + 0.2,
            std::nextafter(0.01, 1.0), 1.0 / 3.0 * prn, -std::numeric_limits<double>::denorm_min(),
            5153.6, -8.2e-9 / prn, std::nextafter(3.14159265358979, 0.0),
            std::numeric_limits<double>::max(), -std::numeric_limits<double>::min()});
    alm_mgr_gps_t back;
    back.load();
    EXPECT_EQ(back.num(), 26u); // none skipped
    for (unsigned int prn = 7; prn <= 32; ++prn) {
        ASSERT_NE(back.get_alm(prn), nullptr) << prn;
        EXPECT_EQ(*back.get_alm(prn), *mgr.get_alm(prn)) << prn;
    }
    // The message carries the whole record.
    mgr.handle(fb_alm_gps_t(alm7));
    std::list<msg_t*> out;
    mgr.update(out, 7);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(static_cast<fb_alm_gps_t*>(out.front())->alm, alm7);
    prns(out);
    // The forms taking pointers take none, as no almanac.
    EXPECT_FALSE(alm_mgr_gps_t::alm_load(nullptr, dir.file("almanac/7")));
    EXPECT_EQ(alm_mgr_gps_t::alm_age_cmp(&alm7, nullptr), 1);
}

std::string replace(std::string text, const std::string& from, const std::string& to) {
    if (const auto at = text.find(from); at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class AlmGpsDamaged : public AlmGps, public ::testing::WithParamInterface<case_t> {};

TEST_P(AlmGpsDamaged, IsSkippedWithOneLineOfReason) {
    const std::vector<std::string>& c = GetParam().cols;
    ASSERT_EQ(c.size(), 3u);
    write_alm(7, c[0] == "*" ? unquote(c[1]) : replace(alm7_text, unquote(c[0]), unquote(c[1])));
    write_alm(9, replace(alm7_text, "alm_prn=7", "alm_prn=9"));
    mgr.load();
    EXPECT_EQ(mgr.get_alm(7), nullptr);
    ASSERT_NE(mgr.get_alm(9), nullptr); // its neighbour still loads
    EXPECT_EQ(mgr.num(), 1u);
    ASSERT_EQ(mgr.skipped().size(), 1u);
    const std::string& why = mgr.skipped()[0];
    EXPECT_NE(why.find("almanac/7: "), std::string::npos) << why;
    EXPECT_NE(why.find(unquote(c[2])), std::string::npos) << why;
    EXPECT_EQ(why.find('\n'), std::string::npos) << why;
    EXPECT_EQ(mgr.desc().get_desc(), why);
}

TERN_CASES(Table, AlmGpsDamaged, "almanac/damaged.txt");

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

// The GLONASS, SBAS, Galileo and BeiDou managers share one table: the last record per id wins
// whatever its age, and feedback goes for new records or all in ascending id order, or by id.
template <class Mgr, class Fb, class Rec>
void check_table(const Rec& at40, const Rec& at7, const Rec& older40) {
    Mgr mgr;
    mgr.add(at40);
    mgr.add(at7);
    mgr.handle(Fb(older40));
    std::list<msg_t*> out;
    for (const bool all : {false, false, true}) mgr.update(out, all);
    mgr.update(out, static_cast<unsigned char>(40));
    mgr.update(out, static_cast<unsigned char>(41));
    std::vector<Rec> sent;
    for (msg_t* m : out) {
        auto* fb = dynamic_cast<Fb*>(m);
        sent.push_back(fb ? fb->alm : Rec{});
        delete m;
    }
    EXPECT_EQ(sent, (std::vector<Rec>{at7, older40, at7, older40, older40}));
    mgr.clear();
    EXPECT_EQ(mgr.get_alm(7), nullptr);
}

TEST(AlmTable, LastRecordPerIdWinsAndIsSentInIdOrder) {
    alm_data_glonass_t newer, at7, older;
    newer.slot = older.slot = 40, at7.slot = 7;
    newer.day_number = 900, older.day_number = 100;
    check_table<alm_mgr_glonass_t, fb_alm_glonass_t>(newer, at7, older);
    check_table<alm_mgr_sbas_t, fb_alm_sbas_t>(alm_data_sbas_t{{40, 1}}, {{7, 2}}, {{40, 0}});
    check_table<alm_mgr_galileo_t, fb_alm_galileo_t>(alm_data_galileo_t{{40, 1}}, {{7, 2}},
                                                     {{40, 0}});
    check_table<alm_mgr_beidou_t, fb_alm_beidou_t>(alm_data_beidou_t{{40, 1}}, {{7, 2}}, {{40, 0}});
}
