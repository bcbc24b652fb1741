#include <tern/config/snapshot_util.h>

#include <tern/data/data_cache.h>
#include <tern/data/device.h>
#include <tern/data/deviceInfo.h>
#include <tern/data/port_mgr.h>
#include <tern/util/time_util.h>

#include "device_rig.h"
#include "support/scratch.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

using namespace tern;

namespace {

using tern_test::text_of;

constexpr double deg = 3.14159265358979323846 / 180.0;

// The cache behind the golden page: every row class has a value with exact decimals, the fix
// is not valid and the correction service's name is hostile markup.
template <class M, class F>
void put(data_cache_t& c, F set) {
    M m;
    set(m);
    m.utc_tstamp = gettstamp_data();
    c.add(static_cast<const data_msg_t&>(m));
}

void fill(data_cache_t& c) {
    put<data_pos_t>(c, [](auto& m) {
        m.latitude_valid = m.longitude_valid = true;
        m.latitude = 45.5 * deg;
        m.longitude = -10.25 * deg;
    });
    put<data_height_t>(
        c, [](auto& m) { m.ellipsoidal_height_valid = true, m.ellipsoidal_height = 41.25; });
    put<data_sog_t>(c, [](auto& m) { m.sog_valid = true, m.sog = 5.5f; });
    put<data_cog_t>(c, [](auto& m) { m.cog_valid = true, m.cog = 7.0f; });
    put<data_fix_type_t>(c, [](auto& m) { m.fix_auto = m.fix_3d = true; });
    put<data_h_dop_t>(c, [](auto& m) { m.hdop_valid = true, m.hdop = 0.8f; });
    put<data_pv_dop_t>(c, [](auto& m) {
        m.pdop_valid = m.vdop_valid = true;
        m.pdop = 1.5f;
        m.vdop = 1.3f;
    });
    put<data_sat_count_t>(c, [](auto& m) { m.num_sats = 7; });
    put<data_fom_t>(c, [](auto& m) { m.fom_valid = true, m.fom = 0.5f; });
    put<data_dual_freq_t>(c, [](auto& m) { m.dual_freq = true; });
    put<data_diff_detail_t>(c, [](auto& m) { m.name = "<RTK&Co>"; });
    put<data_diff_t>(c, [](auto& m) { m.age_valid = true, m.age = 2.5f; });
    put<data_heading_t>(c, [](auto& m) { m.heading = 3.0f; });
    put<data_roll_t>(c, [](auto& m) { m.roll = -0.1f; });
    put<data_pitch_t>(c, [](auto& m) { m.pitch = 0.05f; });
    put<data_heave_t>(c, [](auto& m) { m.heave = -0.5f; });
    put<data_depth_t>(c, [](auto& m) { m.depth = 12.5; });
    put<data_motion_t>(c, [](auto& m) {
        m.status = static_cast<tss1Msg_t::status_t>(3);
        m.horizontal_acceleration = 0.25f;
        m.vertical_acceleration = -1.5f;
    });
    put<data_qc_t>(c, [](auto& m) {
        m.stddev_semimajor_error = 1.5f;
        m.stddev_semiminor_error = 0.75f;
        m.orientation_semimajor_error = 1.0f;
        m.stddev_latitude_error = 0.25f;
        m.stddev_longitude_error = 0.5f;
        m.stddev_height_error = 2.0f;
        m.unit_variance = 1.0f;
        m.qc_fisher_test = true;
    });
    put<data_qc_mde_t>(c, [](auto& m) { m.pmde_lat = 3.0f, m.pmde_long = 4.0f; });
    put<data_qc_gbs_t>(c, [](auto&) {});
}

} // namespace

TEST(Snapshot, PageOfAFixedCacheMatchesTheGoldenFile) {
    const tern_test::comma_locale_t comma; // numbers never follow the process locale
    data_cache_t filled, empty;
    fill(filled);
    std::ostringstream os;
    os << snapshot_page_start_t("Skerryview <bridge> snapshot")
       << snapshot_device_table_t("ternrimba on COM1 (Bow 'A' & \"B\")");
    write_cache_snapshot(os, filled);
    os << snapshot_device_table_t(None_str);
    write_cache_snapshot(os, empty, true);
    os << snapshot_page_end_t();
    const std::string golden =
        tern_test::temp_dir_t::read(std::string(TERN_TEST_DATA_DIR) + "/config/snapshot_page.html");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(os.str(), golden);
}

// One setter call and the value text (and raw flag) it must leave.
struct setter_case_t {
    const char* name;
    std::function<void(snapshot_def_t&)> call;
    const char* value; // null: left unset
    bool raw;
};

class SnapshotSetter : public ::testing::TestWithParam<setter_case_t> {};

TEST_P(SnapshotSetter, WritesItsText) {
    const setter_case_t& c = GetParam();
    snapshot_def_t row("x");
    c.call(row);
    if (!c.value) {
        EXPECT_FALSE(row.value_set);
        EXPECT_EQ(text_of(row),
                  "<tr><td class=\"definition\">x</td>\n<td class=\"value\">--</td></tr>\n");
        return;
    }
    EXPECT_TRUE(row.value_set);
    EXPECT_EQ(row.value, c.value);
    EXPECT_EQ((row.flags & snapshot_def_t::raw_text) != 0, c.raw);
}

const setter_case_t setter_cases[] = {
    {"text_stays_escapable", [](snapshot_def_t& r) { r.set(std::string("a<b")); }, "a<b", false},
    {"c_text", [](snapshot_def_t& r) { r.set("c"); }, "c", false},
    {"yes", [](snapshot_def_t& r) { r.set(true); }, "Yes", true},
    {"no", [](snapshot_def_t& r) { r.set(false); }, "No", true},
    {"negative_int", [](snapshot_def_t& r) { r.set(-42); }, "-42", true},
    {"unsigned_max", [](snapshot_def_t& r) { r.set(4294967295u); }, "4294967295", true},
    {"ushort", [](snapshot_def_t& r) { r.set(static_cast<unsigned short>(65535)); }, "65535", true},
    {"ull", [](snapshot_def_t& r) { r.set(18446744073709551615ull); }, "18446744073709551615",
     true},
    {"float_fixed", [](snapshot_def_t& r) { r.set(2.0f, 3); }, "2.000", true},
    {"double_rounds", [](snapshot_def_t& r) { r.set(1.96, 1); }, "2.0", true},
    {"double_no_decimals", [](snapshot_def_t& r) { r.set(12.7, 0); }, "13", true},
    {"nan_unset", [](snapshot_def_t& r) { r.set(std::nan(""), 1); }, nullptr, false},
    {"infinite_unset", [](snapshot_def_t& r) { r.set(HUGE_VAL, 1); }, nullptr, false},
    {"negative_heading_stays_negative", [](snapshot_def_t& r) { r.set_heading(-7.0, 1); },
     "-41.1&deg", true},
    {"acceleration_utf8_page", [](snapshot_def_t& r) { r.set_acceleration(9.81, 2); },
     "9.81 m/s&sup2;", true},
    {"distance_m", [](snapshot_def_t& r) { r.set_distance(12.345, 0, 2); }, "12.35 m", true},
    {"distance_ft", [](snapshot_def_t& r) { r.set_distance(3.0, 1, 1); }, "3.0 ft", true},
    {"distance_unknown_unit", [](snapshot_def_t& r) { r.set_distance(3.0, 9, 0); }, "3 ??", true},
    {"distance_rounds_to_zero_unsigned", [](snapshot_def_t& r) { r.set_distance(-0.001, 0, 2); },
     "0.00 m", true},
    {"distance_nan_unset", [](snapshot_def_t& r) { r.set_distance(std::nan(""), 0, 2); }, nullptr,
     false},
    {"ip_addr", [](snapshot_def_t& r) { r.set_ip_addr(0xC0A80A01u); }, "192.168.10.1", true},
};
INSTANTIATE_TEST_SUITE_P(Table, SnapshotSetter, ::testing::ValuesIn(setter_cases),
                         [](const auto& p) { return std::string(p.param.name); });

// A row kind and the exact text its writer produces.
struct writer_case_t {
    const char* name;
    std::function<std::string()> write;
    const char* text;
};

class SnapshotWriter : public ::testing::TestWithParam<writer_case_t> {};

TEST_P(SnapshotWriter, WritesExactText) {
    EXPECT_EQ(GetParam().write(), GetParam().text);
}

snapshot_def_t row(const char* label, unsigned int flags, const char* value,
                   colspan_t span = colspan_t()) {
    snapshot_def_t r(label, flags, span);
    if (value) r.set(value);
    return r;
}

// (Rows the golden page already shows whole, such as the device table, the two-column tables,
// raw and unset values and spanned headers, are pinned there.)
const writer_case_t writer_cases[] = {
    {"escapes_every_special", [] { return text_of(html_text_t("\"&'<>x\xC2\xB0")); },
     "&quot;&amp;&#39;&lt;&gt;x\xC2\xB0"},
    {"null_text", [] { return text_of(html_text_t(static_cast<const char*>(nullptr))); }, ""},
    {"definition_escaped", [] { return text_of(row("a<b", 0, "<i>")); },
     "<tr><td class=\"definition\">a&lt;b</td>\n<td class=\"value\">&lt;i&gt;</td></tr>\n"},
    {"no_row_with_span", [] { return text_of(row("T", snapshot_def_t::no_row, "v", 3)); },
     "<td class=\"definition\" colspan=\"3\">T</td>\n<td class=\"value\" colspan=\"3\">v</td>"},
    {"header", [] { return text_of(snapshot_header_t("A&B", 2)); },
     "<tr><th colspan=\"2\">A&amp;B</th></tr>\n"},
    {"header_no_span", [] { return text_of(snapshot_header_t("H")); }, "<tr><th>H</th></tr>\n"},
    {"subheader_no_span", [] { return text_of(snapshot_subheader_t("S")); },
     "<tr><th class=\"subHeader\">S</th></tr>\n"},
    {"none_row", [] { return text_of(snapshot_none_row_t("<none>", 2)); },
     "<tr><td colspan=\"2\">&lt;none&gt;</td></tr>\n"},
    {"four_column_shaded", [] { return text_of(snapshot_four_column_table_start_t(true)); },
     "<table class=\"fourColumn\"   style=\"background-color:#DDEEFF;\">\n"},
    {"four_column", [] { return text_of(snapshot_four_column_table_start_t()); },
     "<table class=\"fourColumn\">\n"},
};
INSTANTIATE_TEST_SUITE_P(Table, SnapshotWriter, ::testing::ValuesIn(writer_cases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Snapshot, FixModeTexts) {
    struct {
        bool fix_auto, fix_3d, valid;
        const char* text;
    } const cases[] = {{true, true, true, "Auto 3D"},    {true, false, true, "Auto 2D"},
                       {false, true, true, "Manual 3D"}, {false, false, true, "Manual 2D"},
                       {true, false, false, "No Fix"},   {false, true, false, "No Fix"}};
    for (const auto& c : cases) {
        data_cache_t cache;
        put<data_fix_type_t>(cache, [&](auto& m) {
            m.fix_auto = c.fix_auto;
            m.fix_3d = c.fix_3d;
            m.fix_valid = c.valid;
        });
        EXPECT_EQ(snapshot_fix_mode_t(cache).value, c.text) << c.fix_auto << c.fix_3d << c.valid;
    }
    EXPECT_FALSE(snapshot_fix_mode_t(data_cache_t()).value_set);
}

// The golden page shows a status from the cache; here the last in the table and beyond it.
TEST(Snapshot, MotionStatusTextsByNumber) {
    EXPECT_STREQ(motion_status_string(7), "Full Aided Settling");
    EXPECT_STREQ(motion_status_string(8), "Unknown");
    EXPECT_STREQ(motion_status_string(-1), "Unknown");
}

// Angles the units module cannot write show "--" like unset values, not an empty cell.
TEST(Snapshot, LatitudeAndLongitudeBeyondWhatCanBeWrittenShowTheUnsetMark) {
    for (const double v : {1e10, -1e300, std::nan("")}) {
        data_cache_t cache;
        put<data_pos_t>(cache, [v](auto& m) {
            m.latitude_valid = m.longitude_valid = true;
            m.latitude = m.longitude = v;
        });
        EXPECT_EQ(text_of(snapshot_latitude_t(cache)),
                  "<tr><td class=\"definition\">Latitude</td>\n<td class=\"value\">--</td></tr>\n")
            << v;
        EXPECT_FALSE(snapshot_longitude_t(cache).value_set) << v;
    }
}

TEST(Snapshot, NumSatsShowsEachUnknownPart) {
    data_cache_t cache;
    EXPECT_EQ(snapshot_num_sats_t(cache).value, "--/--");
    put<data_sat_track_t>(cache, [](auto& m) { m.sats.resize(9); });
    EXPECT_EQ(snapshot_num_sats_t(cache).value, "--/9");
}

namespace {

// A controller with one device on port 2, whose port manager names that port or none.
class one_device_t : public config_test::controller_t, public port_mgr_t {
public:
    one_device_t(const deviceInfo_t* info, const std::string& custom, bool named)
        : dev(this, info, 2, custom), named_(named) {}
    device_t* find_device(int port) override { return port == 2 ? &dev : nullptr; }
    port_mgr_t* port_manager() override { return this; }
    bool has_port(int port) const override { return port == 2; }
    const std::string* find_port_name(int port) const override {
        return named_ && port == 2 ? &name_ : nullptr;
    }
    config_test::device_t dev;

private:
    bool named_;
    std::string name_ = "COM<2>";
};

} // namespace

TEST(Snapshot, DeviceDescription) {
    const deviceInfo_t info("ternorsk", "Orsk receiver");
    one_device_t custom(&info, "Mast <top>", true);
    EXPECT_EQ(snapshotDeviceDesc(custom, 2), "ternorsk on COM<2> (Mast <top>)");
    EXPECT_EQ(snapshotDeviceDesc(custom, 3), "None");
    EXPECT_EQ(snapshotDeviceDesc(nullptr, 2), "None");
    one_device_t plain(&info, "", false);
    EXPECT_EQ(snapshotDeviceDesc(&plain, 2), "ternorsk on NONE");
    one_device_t no_info(nullptr, "", true);
    EXPECT_EQ(snapshotDeviceDesc(no_info, 2), "Unknown on COM<2>");
    // The description is plain text; the device table escapes it.
    EXPECT_EQ(text_of(snapshot_device_table_t(snapshotDeviceDesc(custom, 2))),
              "<table class=\"deviceTable\"><tr><th>ternorsk on COM&lt;2&gt; (Mast "
              "&lt;top&gt;)</th></tr></table>\n");
}
