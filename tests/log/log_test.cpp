// CSV lines: the builder's fields, ages and epochs, and the column selection with its settings
// keys. Log channels and the data logger, writing into a temporary directory that an in-process
// USB daemon reports as a mounted volume; the data clock is set by each test.
#include <tern/data/port_mgr.h>
#include <tern/log/csv_builder.h>
#include <tern/log/csv_fields.h>
#include <tern/log/data_logger.h>
#include <tern/log/log_channel.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/usb/usb_mgr.h>
#include <tern/util/processUtil.h>
#include <tern/util/time_util.h>

#include "support/fake_usbd.h"
#include "support/mainloop.h"
#include "support/process.h"
#include "support/scratch.h"
#include "support/text.h"

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <ctime>
#include <list>
#include <random>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tern;
using tern_test::run_until;
using tern_test::temp_dir_t;
using tern_test::text_of;
using tern_test::usb_volume;

namespace {

constexpr double csv_t0 = 1700000000.25;

// Every field set at csv_t0, with values whose written form is known.
void fill(csv_builder_t& b) {
    b.set_msg_tstamp(csv_t0);
    b.set_latitude(0.5, csv_t0);
    b.set_longitude(-1.0, csv_t0);
    b.set_height(41.25, csv_t0);
    b.set_speed(5.5, csv_t0);
    b.set_course(1.0, csv_t0);
    b.set_sats_used(12, csv_t0);
    b.set_sats_tracked(17, csv_t0);
    b.set_hdop(0.85, csv_t0); // just below 0.85 as a double
    b.set_vdop(1.3, csv_t0);
    b.set_pdop(2.0, csv_t0);
    b.set_nav_3d(true, csv_t0);
    b.set_dual_freq(false, csv_t0);
    b.set_fom(0.37, csv_t0);
    b.set_corr_mode(3, csv_t0);
    b.set_corr_age(4.5, csv_t0);
    b.set_corr_snr(44.4, csv_t0);
    b.set_corr_net(7, csv_t0);
    b.set_qaqc_ftest(true, csv_t0);
    b.set_qaqc_unit_var(0.9876, csv_t0);
    b.set_qaqc_semi_major(1.2344, csv_t0);
    b.set_qaqc_semi_minor(0.5, csv_t0);
    for (const bool passed : {false, true, false}) b.add_raim_event(passed, csv_t0);
    b.add_pos_mde(0.75, csv_t0);
    b.set_mbrtk_heading(123.456, csv_t0);
    b.set_heading(3.0, csv_t0);
    b.set_pitch(-0.1, csv_t0);
    b.set_roll(0.05, csv_t0);
    b.set_heave(-0.333, csv_t0);
}

template <class M>
M* stamped(std::list<msg_t*>& l, double t) {
    auto* m = new M;
    m->utc_tstamp = t;
    l.push_back(m);
    return m;
}

// A list of messages the test owns, with their text forms.
struct msgs_t {
    std::list<msg_t*> l;
    ~msgs_t() { clear(); }
    void clear() {
        for (msg_t* m : l) delete m;
        l.clear();
    }
    std::string text() const {
        std::ostringstream os;
        for (const msg_t* m : l) {
            os << m->category << '/' << m->type << '@' << m->port;
            if (auto* f = dynamic_cast<const fb_log_cfg_t*>(m))
                os << " ch" << unsigned(f->channel) << " en" << f->cfg.log_enabled;
            if (auto* c = dynamic_cast<const fb_csv_output_cfg_t*>(m)) os << " mask" << c->cfg.mask;
            os << ';';
        }
        return os.str();
    }
};

} // namespace

TEST(CsvBuilder, FullLineAndHeaderMatchTheGoldenFile) {
    csv_builder_t b;
    fill(b);
    const std::string golden =
        temp_dir_t::read(std::string(TERN_TEST_DATA_DIR) + "/log/full_line.csv");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(b.file_header() + text_of(b), golden);
    tern_test::comma_locale_t comma;
    std::string appended = "x";
    b.append_line(appended);
    EXPECT_EQ(b.file_header() + text_of(b), golden);
    EXPECT_EQ("x" + golden.substr(b.file_header().size()), appended);
}

TEST(CsvBuilder, SelectionShapesHeaderAndLine) {
    csv_builder_t b;
    fill(b);
    csv_output_cfg_t none;
    none.mask = 0;
    b.set_output_cfg(none);
    EXPECT_EQ(b.file_header(), "H Unix Seconds,UTC Time\r\n");
    EXPECT_EQ(text_of(b), "1700000000.250,11/14/2023 22:13:20,\r\n");

    csv_output_cfg_t two = none;
    two.set_field(csv_field_latitude, true);
    two.set_field(csv_field_heave, true);
    b.set_output_cfg(two);
    EXPECT_EQ(b.file_header(), "H Unix Seconds,UTC Time,Latitude,Heave\r\n");
    EXPECT_EQ(text_of(b), "1700000000.250,11/14/2023 22:13:20,28.64788976,-0.33,\r\n");
    b.clear();
    EXPECT_EQ(text_of(b), ",,,,\r\n");
}

// A field exactly its age of 1.1 s old is written, one a microsecond older is not: at real
// epochs, each time the double nearest its decimal value.
TEST(CsvBuilder, FieldsOlderThanTheirAgeGoEmpty) {
    csv_builder_t b;
    EXPECT_EQ(b.field_tstamp(28), 0.0); // no such field
    for (int k = 0; k < 9000; ++k) {
        const double us = 1700000000.0e6 + k * 1000.0;
        b.set_msg_tstamp(us / 1e6);
        b.set_speed(2.0, (us - 1100000) / 1e6);  // exactly 1.1 s before: kept
        b.set_height(1.0, (us - 1100001) / 1e6); // a microsecond more: gone
        b.age_fields();
        ASSERT_TRUE(b.field_valid(csv_field_speed) && !b.field_valid(csv_field_height)) << k;
    }
}

TEST(CsvBuilder, UpdateFunctionsTakeTheirMessagesAndSkipOthers) {
    csv_builder_t b;
    msgs_t m;
    m.l.push_back(new cmd_csv_output_cfg_t); // not navigation data
    stamped<data_diff_t>(m.l, 10)->age = 2.5f;
    stamped<data_diff_detail_t>(m.l, 10)->corr_type = data_diff_detail_t::corr_type_rtk;
    stamped<data_h_dop_t>(m.l, 10)->hdop = 0.75f;
    auto* h = stamped<data_height_t>(m.l, 10);
    h->geoidal_height = 1.0;
    h->ellipsoidal_height = 45.0;
    stamped<data_sat_count_t>(m.l, 10)->num_sats = 9;
    stamped<data_cog_t>(m.l, 11)->cog = 0.5f;
    stamped<data_sog_t>(m.l, 11)->sog = 3.0f;
    stamped<data_fom_t>(m.l, 12)->fom = 0.5f;
    stamped<data_heading_t>(m.l, 13)->heading = 1.0f;
    stamped<data_roll_t>(m.l, 14)->roll = 0.25f;
    stamped<data_pitch_t>(m.l, 14)->pitch = 0.5f;
    stamped<data_heave_t>(m.l, 15)->heave = 0.125f;
    auto* qc = stamped<data_qc_t>(m.l, 16);
    qc->qc_fisher_test = true;
    qc->unit_variance = 0.5f;
    qc->stddev_semimajor_error = 2.0f;
    qc->stddev_semiminor_error = 1.0f;

    // Each update takes its own messages only; a position, FOM, heading or attitude sets the
    // epoch, and the position comes last.
    const struct {
        void (*update)(csv_builder_t&, const std::list<msg_t*>&);
        double epoch;
    } steps[] = {{update_gga_fields, 0}, {update_vtg_fields, 0}, {update_fom, 12},
                 {update_heading, 13},   {update_attitude, 15},  {update_qc_summary, 15}};
    for (const auto& s : steps) {
        s.update(b, m.l);
        EXPECT_EQ(b.msg_tstamp_valid() ? b.msg_tstamp() : 0.0, s.epoch);
    }
    auto* pos = stamped<data_pos_t>(m.l, 17);
    pos->latitude = 0.5;
    pos->longitude = -1.0;
    update_gga_fields(b, m.l);
    EXPECT_EQ(b.msg_tstamp(), 17.0);
    EXPECT_EQ(text_of(b),
              "17.000,01/01/1970 00:00:17,28.64788976,-57.29577951,45.0000,3.000,28.6,9,,"
              "0.8,,,,,0.50,3,2.5,,,1,0.500,2.000,1.000,,,,57.3,28.65,14.32,0.12,\r\n");
    EXPECT_EQ(b.field_tstamp(csv_field_speed), 11.0);
    EXPECT_EQ(b.field_tstamp(csv_field_ftest), 16.0);
}

TEST(CsvBuilder, AccumulatorsRestartWithEachEpoch) {
    csv_builder_t b;
    msgs_t m;
    const float pmd[] = {0.0f, 0.5f, 0.0f};
    for (float p : pmd) stamped<data_qc_gbs_t>(m.l, 20)->prob_miss_detect_mlfs = p;
    auto* a = stamped<data_qc_mde_t>(m.l, 20);
    a->pmde_lat = 3;
    a->pmde_long = 4;
    auto* c = stamped<data_qc_mde_t>(m.l, 20);
    c->pmde_lat = c->pmde_long = c->pmde_altitude = 1;
    update_qc_gbs(b, m.l);
    update_qc_mde(b, m.l);
    EXPECT_EQ(b.raim_rejects(), 2u);
    EXPECT_EQ(b.max_pos_mde(), 5.0);

    msgs_t later;
    stamped<data_qc_gbs_t>(later.l, 21)->prob_miss_detect_mlfs = 0.25f;
    stamped<data_qc_mde_t>(later.l, 21)->pmde_altitude = 2;
    update_qc_gbs(b, later.l);
    update_qc_mde(b, later.l);
    EXPECT_EQ(b.raim_rejects(), 0u);
    EXPECT_EQ(b.max_pos_mde(), 2.0);
}

TEST(CsvOutputCfg, StoreRoundTripAndMissingKeysTurnFieldsOff) {
    csv_output_cfg_t c;
    c.set_field(csv_field_sats_used, false);
    c.set_field(40, false); // no such bit: ignored
    EXPECT_FALSE(c.field_is_set(32));
    KeelConfig store;
    c.set_cfg(store, "log_csv_output_");
    EXPECT_EQ(tern_test::store_text(store),
              temp_dir_t::read(TERN_TEST_DATA_DIR "/log/csv_selection.txt"));

    csv_output_cfg_t back;
    EXPECT_TRUE(back.load_cfg(store, "log_csv_output_"));
    EXPECT_EQ(back, c); // the bits beyond the 28 columns keep the default
    KeelConfig empty;
    EXPECT_FALSE(back.load_cfg(empty, "log_csv_output_"));
    EXPECT_EQ(back.mask, 0xF0000000u);
    // The settings names and titles are the golden files'; past them, and for a title, none.
    for (unsigned i = 0; i < csv_field_count; ++i)
        EXPECT_EQ(csvFieldFromConfigString(csvFieldToConfigString(i)), i);
    EXPECT_EQ(std::string(csvFieldToString(28)) + csvFieldToConfigString(28), "UnknownUnknown");
    EXPECT_EQ(csvFieldFromConfigString("Latitude"), 28u);
}

namespace {

// A temporary directory that an in-process USB daemon reports as the mounted volume /dev/sda1,
// known to the default USB manager. Files closed while it lives go to a flush program that
// notes their paths in `flushed`.
class volume_test_t : public ::testing::Test {
protected:
    void SetUp() override {
        vol = tmp.path() + "/vol";
        ::mkdir(vol.c_str(), 0777);
        daemon.add(tern_test::usb_volume("/dev/sda1", vol));
        usb_mgr_t::set_default(&mgr);
        mgr.set_check_interval(50);
        mgr.init(nullptr);
        usb_dev_t d;
        ASSERT_TRUE(tern_test::run_until([&] { return mgr.get_by_dev_path("/dev/sda1", d); }));
    }
    void TearDown() override { usb_mgr_t::set_default(nullptr); }

    tern_test::temp_dir_t tmp;
    const std::string flushed = tmp.file("flushed");
    // Restores the flush program only after the owners declared below have closed their files.
    struct flush_note_t {
        std::string saved = fsync_program();
        explicit flush_note_t(const std::string& note) {
            ::setenv("TERN_FLUSH_NOTE", note.c_str(), 1);
            set_fsync_program(std::string(TERN_TEST_DATA_DIR) + "/../log/flush_note.sh");
        }
        ~flush_note_t() { set_fsync_program(saved); }
    } flush_note{flushed};
    std::string vol;
    tern_test::fake_usbd_t daemon;
    usb_mgr_t mgr;
};

constexpr double nov15 = 1700006400.0; // 2023-11-15 00:00:00 UTC
constexpr double jan1 = 1704067200.0;  // 2024-01-01 00:00:00 UTC

void set_data_time(double t) {
    set_tstamp_data_diff(t - gettstamp_sys());
}

bool exists(const std::string& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

class LogChannel : public volume_test_t {
protected:
    log_cfg_t cfg(log_cfg_t::switch_file_t mode, const std::string& rel) {
        log_cfg_t c;
        c.log_enabled = true;
        c.switch_file = mode;
        c.log_path = vol + "/" + rel;
        return c;
    }
    static unsigned write(log_channel_t& ch, const std::string& s, double t = NAN) {
        return ch.log_data(s.data(), s.size(), t);
    }
};

} // namespace

// Stamps of generated dates against timegm (month 0 is the December before, a day past the
// end of its month runs on, as timegm takes them), the ranges' ends always among them; each
// field just past its range, a lost "_", another zone, a letter for a digit and a lost digit
// are no stamp.
TEST(TimeFromFilename, AgreesWithTimegmAndRefusesFieldsPastTheirRange) {
    std::mt19937 gen(19);
    const int lo[] = {1900, 0, 1, 0, 0, 0}, hi[] = {9999, 12, 31, 23, 59, 59};
    const auto name = [](const int* f) {
        char n[64];
        std::snprintf(n, sizeof n, "raw_%04d%02d%02d_%02d%02d%02d+0000.csv", f[0], f[1], f[2], f[3],
                      f[4], f[5]);
        return std::string(n);
    };
    for (int k = 0; k < 3000; ++k) {
        int f[6];
        for (int i = 0; i < 6; ++i)
            f[i] = k < 2 ? (k ? hi[i] : lo[i]) : lo[i] + int(gen() % unsigned(hi[i] - lo[i] + 1));
        std::tm tm{};
        tm.tm_year = f[0] - 1900, tm.tm_mon = f[1] - 1, tm.tm_mday = f[2];
        tm.tm_hour = f[3], tm.tm_min = f[4], tm.tm_sec = f[5];
        double t = -1;
        ASSERT_TRUE(time_from_filename(name(f), 4, t)) << name(f);
        ASSERT_EQ(t, double(timegm(&tm))) << name(f);
        std::string bad = name(f);
        if (k % 4 == 0) bad[12] = '-';
        if (k % 4 == 1) bad.replace(19, 5, "+0100");
        if (k % 4 == 2) bad[k & 8 ? 13 + gen() % 6 : 4 + gen() % 8] = 'a';
        if (k % 4 == 3) bad.erase(4 + gen() % 8, 1);
        EXPECT_FALSE(time_from_filename(bad, 4, t)) << bad;
        const int i = k % 6, past = k / 6 % 2 ? hi[i] + 1 : lo[i] - 1;
        if (past < 0 || past > 9999) continue;
        f[i] = past;
        EXPECT_FALSE(time_from_filename(name(f), 4, t)) << name(f);
    }
    double t = -1;
    EXPECT_TRUE(time_from_filename("20240101_100000+0000", 0, t));
    EXPECT_EQ(t, jan1 + 36000);
}

TEST_F(LogChannel, HourlyNamesTheStartOfTheHourAndAppendsWithoutASecondHeader) {
    const std::string name = vol + "/h/20231115_130000+0000.csv";
    ::mkdir((vol + "/h").c_str(), 0777);
    tmp.write("vol/h/20231115_130000+0000.csv", "old");
    log_channel_t ch(log_channel_csv, 0, ".csv");
    ch.set_file_header("HEAD\r\n");
    ch.set_log_cfg(cfg(log_cfg_t::switch_hourly, "h"));
    set_data_time(nov15 + 13 * 3600 + 47 * 60 + 12);
    EXPECT_EQ(write(ch, "x"), log_channel_t::result_new_file);
    EXPECT_EQ(ch.current_path(), name);
    EXPECT_EQ(temp_dir_t::read(name), "oldx");
}

// Started again, the channel closes its file and hands it to the flush program.
TEST_F(LogChannel, LogStartKeepsOneFileUntilStartedAgain) {
    log_channel_t ch(log_channel_raw, 0, ".raw");
    set_data_time(nov15 + 65.7);
    ch.set_log_cfg(cfg(log_cfg_t::switch_log_start, "s"));
    const std::string first = vol + "/s/20231115_000105+0000.raw";
    EXPECT_EQ(ch.current_path(), first);
    EXPECT_EQ(write(ch, ""), 0u); // nothing to write: no file
    EXPECT_FALSE(exists(first));
    write(ch, "1");
    set_data_time(nov15 + 86400 * 2);
    write(ch, "2");
    EXPECT_EQ(temp_dir_t::read(first), "12");
    EXPECT_EQ(temp_dir_t::read(flushed), "");
    ch.set_log_cfg(ch.log_cfg());
    EXPECT_EQ(ch.current_path(), vol + "/s/20231117_000000+0000.raw");
    EXPECT_TRUE(run_until([&] { return temp_dir_t::read(flushed) == first + "\n"; }));
}

TEST_F(LogChannel, FixedWritesTheLogPathItself) {
    log_channel_t ch(log_channel_raw, 0, ".raw");
    ch.set_filename_prefix("never_");
    ch.set_file_header("H");
    log_cfg_t c = cfg(log_cfg_t::switch_fixed, "d/e/fixed.dat");
    c.log_auto_delete_age = 1;
    ch.set_log_cfg(c);
    set_data_time(nov15);
    EXPECT_EQ(write(ch, "z"), log_channel_t::result_new_file);
    EXPECT_EQ(temp_dir_t::read(vol + "/d/e/fixed.dat"), "Hz");
}

TEST_F(LogChannel, APathClimbingOutOfTheVolumeIsRefused) {
    log_channel_t ch(log_channel_raw, 0, ".raw");
    ch.set_log_cfg(cfg(log_cfg_t::switch_daily, "../outside/logs"));
    EXPECT_EQ(ch.error_flags(), log_channel_t::err_logging_data);
    EXPECT_FALSE(ch.log_cfg().log_enabled);
    EXPECT_FALSE(exists(tmp.path() + "/outside"));
    EXPECT_EQ(write(ch, "x"), 0u);
    ch.set_log_cfg(cfg(log_cfg_t::switch_fixed, "a/../../escaped.txt"));
    EXPECT_EQ(ch.error_flags(), log_channel_t::err_logging_data);
    EXPECT_FALSE(exists(vol + "/a"));
    log_cfg_t empty; // an empty path turns the channel off without an error
    empty.log_enabled = true;
    ch.set_log_cfg(empty);
    EXPECT_FALSE(ch.log_cfg().log_enabled);
    EXPECT_EQ(ch.error_flags(), 0u);
}

TEST_F(LogChannel, AVolumeMovingOntoTheLogPathIsPickedUp) {
    const std::string other = tmp.path() + "/other";
    ::mkdir(other.c_str(), 0777);
    log_channel_t ch(log_channel_raw, 0, ".raw");
    log_cfg_t c = cfg(log_cfg_t::switch_daily, "x");
    c.log_path = other; // the mount point itself (stored as other + "/")
    ch.set_log_cfg(c);
    EXPECT_EQ(ch.error_flags(), log_channel_t::err_device_not_found);
    usb_dev_t was, now;
    ASSERT_TRUE(mgr.get_by_dev_path("/dev/sda1", was));
    daemon.add(usb_volume("/dev/sda1", other)); // the same device, now mounted there
    ASSERT_TRUE(run_until([&] { return mgr.get_by_dev_path("/dev/sda1", now) && now != was; }));
    ch.usb_dev_changed(was, now);
    EXPECT_EQ(ch.error_flags(), 0u);
    set_data_time(nov15);
    EXPECT_EQ(write(ch, "y"), log_channel_t::result_new_file);
    EXPECT_EQ(temp_dir_t::read(other + "/20231115_000000+0000.raw"), "y");
}

TEST_F(LogChannel, AutoDeleteRemovesOnlyItsOwnOldFiles) {
    const std::string dir = vol + "/ad/";
    ::mkdir(dir.c_str(), 0777);
    const char* names[] = {"X20240101_090000+0000.csv",    "X20240101_100000+0000.csv",
                           "X20240101_100001+0000.csv",    "Y20240101_090000+0000.csv",
                           "X20240101_090000+0000.raw",    "XX20240101_090000+0000.csv",
                           "X20240101_090000+0000.csv.bak"};
    for (const char* n : names) tmp.write(std::string("vol/ad/") + n, "old");
    log_channel_t ch(log_channel_csv, 0, ".csv");
    ch.set_filename_prefix("X");
    log_cfg_t c = cfg(log_cfg_t::switch_daily, "ad");
    c.log_auto_delete_age = 3600;
    ch.set_log_cfg(c);
    set_data_time(jan1 + 11 * 3600 + 0.5);
    EXPECT_EQ(write(ch, "now"), log_channel_t::result_new_file);
    // The file just opened (X20240101_000000) is older than the cut-off but is never a candidate.
    // The worker deletes in directory order: wait for its whole pass, not for one of its files.
    ASSERT_TRUE(run_until([&] {
        return !exists(dir + names[0]) && !exists(dir + names[1]) &&
               tern_test::threads_named("tern-nojoin") == 0;
    }));
    for (int i = 2; i < 7; ++i) EXPECT_TRUE(exists(dir + names[i])) << names[i];
    EXPECT_EQ(temp_dir_t::read(dir + "X20240101_000000+0000.csv"), "now");
}

TEST_F(LogChannel, AutoDeleteWaitsForTheDataClock) {
    if (tstamp_data_diff_info()) GTEST_SKIP() << "the data clock was set by an earlier test";
    const std::string dir = vol + "/w/";
    ::mkdir(dir.c_str(), 0777);
    tmp.write("vol/w/19990101_000000+0000.raw", "old");
    log_channel_t ch(log_channel_raw, 0, ".raw");
    log_cfg_t c = cfg(log_cfg_t::switch_log_start, "w");
    c.log_auto_delete_age = 60;
    ch.set_log_cfg(c);
    EXPECT_EQ(write(ch, "x"), log_channel_t::result_new_file);
    run_until([] { return false; }, 0.1);
    EXPECT_TRUE(exists(dir + "19990101_000000+0000.raw"));
    set_data_time(gettstamp_sys());
    EXPECT_TRUE(run_until([&] { return !exists(dir + "19990101_000000+0000.raw"); }, 5.0));
}

TEST_F(LogChannel, StampsFarAheadOrBehindGoToTheirOwnFilesAndAgeNoFile) {
    // Daily files kept 30 days; at the first write (10:00) files up to 2023-10-16 10:00 are
    // too old, 20231016_100030 only for the pass made once the clock is steady again.
    const std::string dir = vol + "/j/";
    ::mkdir(dir.c_str(), 0777);
    const auto file = [&](const std::string& stamp) { return dir + stamp + "+0000.raw"; };
    const std::string young[] = {"20231016_100030", "20231017_000000", "20231114_000000"};
    for (const char* s : {"20231005_000000", "20231015_000000", "20231016_100030",
                          "20231017_000000", "20231114_000000"})
        tmp.write("vol/j/" + std::string(s) + "+0000.raw", "old");
    log_channel_t ch(log_channel_raw, 0, ".raw");
    log_cfg_t c = cfg(log_cfg_t::switch_daily, "j");
    c.log_auto_delete_age = 30 * 86400;
    ch.set_log_cfg(c);
    const double t0 = nov15 + 36000;
    write(ch, "a", t0);
    ASSERT_TRUE(run_until(
        [&] { return !exists(file("20231005_000000")) && !exists(file("20231015_000000")); }));
    // 2038-01-01 05:00 and 2001-05-04 among ordinary data, which runs on for 59 s after.
    const std::pair<const char*, double> writes[] = {
        {"F", 2145934800.0}, {"b", t0 + 1}, {"B", 988934400.0}, {"c", t0 + 2}, {"d", t0 + 61}};
    for (const auto& w : writes) write(ch, w.first, w.second);
    EXPECT_EQ(temp_dir_t::read(file("20231115_000000")), "abcd");
    EXPECT_EQ(temp_dir_t::read(file("20380101_000000")), "F");
    EXPECT_EQ(temp_dir_t::read(file("20010504_000000")), "B");
    // A minute without a jump: the held pass is made at the time of the ordinary data.
    write(ch, "e", t0 + 62);
    ASSERT_TRUE(run_until([&] { return !exists(file(young[0])); }));
    EXPECT_TRUE(exists(file(young[1])) && exists(file(young[2])) &&
                exists(file("20380101_000000")));
}

// In a child process under a file-size limit, a raw channel and a CSV channel on the same
// file write until each has turned itself off with "error logging data"; the file holds
// exactly the blocks reported written, each whole. (A channel alone is tern-log's test.)
TEST_F(LogChannel, ChannelsSharingAFileAtItsSizeLimitKeepEveryReportedBlockWhole) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{}, small{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        small = saved;
        small.rlim_cur = 10240;
        ::setrlimit(RLIMIT_FSIZE, &small);
        log_channel_t raw(log_channel_raw, 0, ".raw"), csv(log_channel_csv, 0, ".csv");
        raw.set_log_cfg(cfg(log_cfg_t::switch_fixed, "shared"));
        csv.set_log_cfg(cfg(log_cfg_t::switch_fixed, "shared"));
        std::string reported;
        for (int i = 0; i < 100; ++i) {
            const std::string frame = "\x02" + std::string(196, 'f') + "\x03",
                              line = "1700006400." + std::to_string(100 + i) + ",59.95,\r\n";
            if (raw.log_cfg().log_enabled && !(write(raw, frame) & log_channel_t::result_failed))
                reported += frame;
            if (csv.log_cfg().log_enabled && !(write(csv, line) & log_channel_t::result_failed))
                reported += line;
        }
        ::setrlimit(RLIMIT_FSIZE, &saved);
        tmp.write("reported", reported);
        const unsigned err = log_channel_t::err_logging_data;
        ::_exit(raw.log_cfg().log_enabled || csv.log_cfg().log_enabled ||
                        raw.error_flags() != err || csv.error_flags() != err
                    ? 3
                    : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_EQ(status, 0);
    const std::string file = temp_dir_t::read(vol + "/shared");
    EXPECT_GT(file.size(), 10240u - 198u);
    EXPECT_TRUE(file == temp_dir_t::read(tmp.file("reported"))) << file.size();
}

namespace {

class test_logger_t : public data_logger_t {
public:
    test_logger_t() : data_logger_t(nullptr) { port_id = 9; }
    const deviceInfo_t* device_info() const override { return nullptr; }
    void handle_port_data(const unsigned char*, std::size_t, std::list<msg_t*>&) override {}
    void poll(double, std::list<msg_t*>&) override {}
    void on_new_log_files(bool diag, std::list<msg_t*>&) override {
        events.push_back(diag ? "new files, diag" : "new files");
    }
    void on_diag_mode_off(std::list<msg_t*>&) override { events.push_back("diag off"); }
    std::vector<std::string> events;
};

class DataLogger : public volume_test_t {
protected:
    void SetUp() override {
        volume_test_t::SetUp();
        logger.add_log_channel(log_channel_raw, ".raw", log_channel_t::flag_notify);
        logger.add_log_channel(log_channel_csv, ".csv", 0);
        set_tstamp_data_diff(nov15 + 10 - gettstamp_sys());
    }
    void set(log_channel_type_t channel, const std::string& rel, bool on = true) {
        cmd_log_cfg_t cmd;
        cmd.action = cmd_log_cfg_t::action_set;
        cmd.channel = channel;
        cmd.cfg.log_enabled = on;
        cmd.cfg.log_path = rel.empty() ? "" : vol + "/" + rel;
        logger.handle_logging_cfg(cmd, out.l);
    }

    test_logger_t logger;
    msgs_t out;
};

} // namespace

TEST_F(DataLogger, SetAndQueryReportInTypeOrder) {
    set(log_channel_csv, "c");
    EXPECT_EQ(out.text(), "2/15@9 ch1 en1;");
    out.clear();
    set(log_channel_sensor, "s"); // never added: nothing
    EXPECT_EQ(out.text(), "");
    cmd_log_cfg_t q;
    logger.handle_logging_cfg(q, out.l);
    EXPECT_EQ(out.text(), "2/15@9 ch0 en0;2/15@9 ch1 en1;2/16@9 mask4294967295;");
    out.clear();
    cmd_csv_output_cfg_t sel;
    sel.cfg.mask = 1;
    logger.handle_csv_output_cfg(sel, out.l);
    EXPECT_EQ(out.text(), "2/16@9 mask1;");
    EXPECT_EQ(logger.log_channel(log_channel_csv)->file_header(),
              "H Unix Seconds,UTC Time,Latitude\r\n");
}

TEST_F(DataLogger, AlarmsFollowTheChannelsAndVolumes) {
    set(log_channel_csv, "../../x");
    EXPECT_TRUE(logger.general_alarm(6));
    EXPECT_FALSE(logger.general_alarm(5));
    set(log_channel_raw, "r");
    EXPECT_FALSE(logger.general_alarm(5));
    usb_dev_t gone;
    ASSERT_TRUE(mgr.get_by_dev_path("/dev/sda1", gone));
    daemon.remove("/dev/sda1");
    ASSERT_TRUE(run_until([&] { return !mgr.get_by_dev_path("/dev/sda1", gone); }));
    logger.usb_dev_gone(gone);
    EXPECT_TRUE(logger.general_alarm(5));
    // The refused channel lay on that volume too: started afresh, it is off without an error.
    EXPECT_FALSE(logger.general_alarm(6));
    EXPECT_EQ(out.text(), "2/15@9 ch1 en0;2/15@9 ch0 en1;");
    logger.settings_reset();
    EXPECT_FALSE(logger.general_alarm(5));
    EXPECT_FALSE(logger.general_alarm(6));
}

TEST_F(DataLogger, NewFilesAndDiagModeOffReachTheOwner) {
    cmd_log_cfg_t cmd;
    cmd.action = cmd_log_cfg_t::action_set;
    cmd.cfg.log_enabled = true;
    cmd.cfg.log_diag_mode = true;
    cmd.cfg.log_path = vol + "/r";
    logger.handle_logging_cfg(cmd, out.l);
    logger.log_data(log_channel_raw, "ab", 2, out.l);
    logger.log_data(log_channel_raw, "cd", 2, out.l);
    logger.log_data(log_channel_sensor, "ef", 2, out.l); // no such channel
    cmd.cfg.log_enabled = false;
    logger.handle_logging_cfg(cmd, out.l);
    EXPECT_EQ(logger.events, (std::vector<std::string>{"new files, diag", "diag off"}));
    EXPECT_EQ(temp_dir_t::read(vol + "/r/20231115_000000+0000.raw"), "abcd");
}

TEST_F(DataLogger, SettingsKeysAndLoadDefaults) {
    set(log_channel_raw, "r");
    KeelConfig store;
    EXPECT_TRUE(logger.settings_save_general(store, "lg_"));
    std::string golden = temp_dir_t::read(TERN_TEST_DATA_DIR "/log/general_settings.txt");
    EXPECT_EQ(tern_test::store_text(store), golden.replace(golden.find("VOL"), 3, vol));
    KeelConfig partial;
    partial.setValue("lg_log_switch_file", "Hourly"); // no mode's text: daily
    partial.setValue("lg_csv_log_enabled", "1");
    partial.setValue("lg_csv_log_path", vol + "/c");
    partial.setValue("lg_csv_log_switch_file", "hourly");
    partial.setValue("lg_csv_output_enable_heave", "1");
    EXPECT_TRUE(logger.settings_load_general(partial, "lg_"));
    EXPECT_FALSE(logger.log_channel(log_channel_raw)->log_cfg().log_enabled);
    const log_cfg_t& c = logger.log_channel(log_channel_csv)->log_cfg();
    EXPECT_TRUE(c.log_enabled);
    EXPECT_EQ(c.switch_file, log_cfg_t::switch_hourly);
    EXPECT_EQ(logger.log_channel(log_channel_raw)->log_cfg().switch_file, log_cfg_t::switch_daily);
    // Loading starts from the default selection: only the 28 column bits follow the keys.
    EXPECT_EQ(logger.csv_builder()->output_cfg().mask, 0xF0000000u | 1u << 27);
    EXPECT_TRUE(logger.settings_load_general(store, "lg_"));
    EXPECT_EQ(logger.csv_builder()->output_cfg(), csv_output_cfg_t());
    // The other modes' texts read back as their modes; a number of no mode writes "daily".
    for (const char* text : {"log_start", "fixed"}) {
        auto m = log_cfg_t::switch_daily;
        std::string(text) >> m;
        EXPECT_EQ(text_of(m), text);
    }
    EXPECT_EQ(text_of(log_cfg_t::switch_file_t(9)), "daily");
}

TEST_F(DataLogger, CsvLinesComeFromTheTimerOnlyForAFreshEpoch) {
    set(log_channel_csv, "c");
    csv_builder_t* b = logger.csv_builder();
    ASSERT_NE(b, nullptr);
    logger.set_csv_interval(20);
    logger.start_csv_log(); // nothing fresh yet: no line, no file
    EXPECT_TRUE(logger.is_csv_log_active());
    const std::string file = vol + "/c/20231115_000000+0000.csv";
    b->set_msg_tstamp(nov15 + 10);
    b->set_heave(0.5, nov15 + 10);
    b->set_roll(0.1, nov15 + 8); // too old for this epoch
    ASSERT_TRUE(run_until([&] { return !b->msg_tstamp_valid(); }));
    const std::string line =
        "1700006410.000,11/15/2023 00:00:10," + std::string(27, ',') + "0.50,\r\n";
    EXPECT_EQ(temp_dir_t::read(file), b->file_header() + line);
    run_until([] { return false; }, 0.1); // several ticks, no new epoch
    EXPECT_EQ(temp_dir_t::read(file), b->file_header() + line);
    // A line comes a tick after its second, and goes into the file of its second's day.
    b->set_msg_tstamp(nov15 - 1);
    ASSERT_TRUE(run_until([&] { return !b->msg_tstamp_valid(); }));
    EXPECT_EQ(temp_dir_t::read(vol + "/c/20231114_000000+0000.csv"),
              b->file_header() + "1700006399.000,11/14/2023 23:59:59," + std::string(27, ',') +
                  "0.50,\r\n");
    logger.stop_csv_log();
    EXPECT_FALSE(logger.is_csv_log_active());
}

// Port names as path components are the port manager's tests.
TEST(DataLoggerPath, UnderTheLogDataDirectory) {
    struct ports_t : port_mgr_t {
        bool has_port(int) const override { return true; }
        const std::string* find_port_name(int) const override { return &name; }
        std::string name = "GPS";
    } ports;
    EXPECT_EQ(data_logger_t::get_log_path(ports, 2, true), "tern/log_data/GPS/log");
}
