// CSV lines: the builder's fields, ages and epochs, and the column selection with its
// settings keys.
#include <tern/log/csv_builder.h>
#include <tern/log/csv_fields.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>

#include "support/scratch.h"
#include "support/text.h"

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

#include <list>
#include <sstream>
#include <string>

using namespace tern;
using tern_test::text_of;

namespace {

constexpr double t0 = 1700000000.25;

// Every field set at t0, with values whose written form is known.
void fill(csv_builder_t& b) {
    b.set_msg_tstamp(t0);
    b.set_latitude(0.5, t0);
    b.set_longitude(-1.0, t0);
    b.set_height(41.25, t0);
    b.set_speed(5.5, t0);
    b.set_course(1.0, t0);
    b.set_sats_used(12, t0);
    b.set_sats_tracked(17, t0);
    b.set_hdop(0.85, t0); // just below 0.85 as a double
    b.set_vdop(1.3, t0);
    b.set_pdop(2.0, t0);
    b.set_nav_3d(true, t0);
    b.set_dual_freq(false, t0);
    b.set_fom(0.37, t0);
    b.set_corr_mode(3, t0);
    b.set_corr_age(4.5, t0);
    b.set_corr_snr(44.4, t0);
    b.set_corr_net(7, t0);
    b.set_qaqc_ftest(true, t0);
    b.set_qaqc_unit_var(0.9876, t0);
    b.set_qaqc_semi_major(1.2344, t0);
    b.set_qaqc_semi_minor(0.5, t0);
    b.add_raim_event(false, t0);
    b.add_raim_event(true, t0);
    b.add_raim_event(false, t0);
    b.add_pos_mde(0.75, t0);
    b.set_mbrtk_heading(123.456, t0);
    b.set_heading(3.0, t0);
    b.set_pitch(-0.1, t0);
    b.set_roll(0.05, t0);
    b.set_heave(-0.333, t0);
}

template <class M>
M* stamped(std::list<msg_t*>& l, double t) {
    auto* m = new M;
    m->utc_tstamp = t;
    l.push_back(m);
    return m;
}

struct owned_list_t {
    std::list<msg_t*> l;
    ~owned_list_t() {
        for (msg_t* m : l) delete m;
    }
};

} // namespace

TEST(CsvBuilder, FullLineAndHeaderMatchTheGoldenFile) {
    csv_builder_t b;
    fill(b);
    const std::string golden =
        tern_test::temp_dir_t::read(std::string(TERN_TEST_DATA_DIR) + "/log/full_line.csv");
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
    owned_list_t m;
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
    owned_list_t m;
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

    owned_list_t later;
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
    std::string text;
    for (const ConfigEntry& e : store.entries()) text += e.key + "=" + e.value + "\n";
    EXPECT_EQ(text, tern_test::temp_dir_t::read(TERN_TEST_DATA_DIR "/log/csv_selection.txt"));

    csv_output_cfg_t back;
    EXPECT_TRUE(back.load_cfg(store, "log_csv_output_"));
    EXPECT_EQ(back, c); // the bits beyond the 28 columns keep the default
    KeelConfig empty;
    EXPECT_FALSE(back.load_cfg(empty, "log_csv_output_"));
    EXPECT_EQ(back.mask, 0xF0000000u);
    for (unsigned i = 0; i < csv_field_count; ++i) EXPECT_FALSE(back.field_is_set(i));
    // The settings names and titles are the golden files'; past them, and for a title, none.
    for (unsigned i = 0; i < csv_field_count; ++i)
        EXPECT_EQ(csvFieldFromConfigString(csvFieldToConfigString(i)), i);
    EXPECT_EQ(std::string(csvFieldToString(28)) + csvFieldToConfigString(28), "UnknownUnknown");
    EXPECT_EQ(csvFieldFromConfigString("Latitude"), 28u);
}
