// Snapshot pages of the cache and the devices, and the serial settings search of a device.
#include <tern/config/serialConfigCycler.h>
#include <tern/config/snapshot_util.h>

#include <tern/data/data_cache.h>
#include <tern/data/device.h>
#include <tern/data/deviceInfo.h>
#include <tern/data/port_mgr.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/util/time_util.h>

#include "support/cases.h"
#include "support/mainloop.h"
#include "support/scratch.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace tern;
using tern_test::case_t;
using tern_test::text_of;
using tern_test::unquote;

// A controller that answers nothing and a device that only tells its type, port and name.
namespace config_test {

class controller_t : public tern::dev_controller_t {
public:
    void send_dev_msgs(int, std::list<tern::msg_t*>&) override {}
    tern::device_t* find_device(int) override { return nullptr; }
    bool get_port_cfg(int, tern::port_cfg_t&) override { return false; }
    bool set_port_cfg(int, const tern::port_cfg_t&) override { return false; }
    bool set_device_type(int, const std::string&) override { return false; }
    tern::port_mgr_t* port_manager() override { return nullptr; }
};

class device_t : public tern::device_t {
public:
    device_t(tern::dev_controller_t* c, const tern::deviceInfo_t* type, int port,
             const std::string& name = "")
        : tern::device_t(c), info(type) {
        port_id = port;
        custom_name = name;
    }
    const tern::deviceInfo_t* device_info() const override { return info; }
    void handle_port_data(const unsigned char*, std::size_t, std::list<tern::msg_t*>&) override {}
    void poll(double, std::list<tern::msg_t*>&) override {}
    const tern::deviceInfo_t* info;
};

} // namespace config_test

namespace {

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

// A snapshot piece as a case file gives it: for a setter the value cell of its row, for the
// other pieces their whole text.
std::string written(const std::vector<std::string>& c) {
    const std::string& piece = c[0];
    const std::string text = unquote(c[1]);
    const auto num = [&](std::size_t i) { return c[i].empty() ? 0u : unsigned(std::stoul(c[i])); };
    const colspan_t span = c[3].empty() ? colspan_t() : colspan_t(num(3));
    if (piece == "html") return text_of(html_text_t(text));
    if (piece == "html_null") return text_of(html_text_t(static_cast<const char*>(nullptr)));
    if (piece == "header") return text_of(snapshot_header_t(text, span));
    if (piece == "subheader") return text_of(snapshot_subheader_t(text));
    if (piece == "none_row") return text_of(snapshot_none_row_t(text, span));
    if (piece == "four_column")
        return text_of(snapshot_four_column_table_start_t(text == "shaded"));
    if (piece == "row" || piece == "no_row") {
        snapshot_def_t r(text, piece == "row" ? 0 : snapshot_def_t::no_row, span);
        r.set(c[2]);
        return text_of(r);
    }
    snapshot_def_t row("x");
    const double v = std::strtod(text.c_str(), nullptr);
    if (piece == "text")
        row.set(text);
    else if (piece == "c_text")
        row.set(text.c_str());
    else if (piece == "bool")
        row.set(v != 0.0);
    else if (piece == "heading")
        row.set_heading(v, num(2));
    else if (piece == "acceleration")
        row.set_acceleration(v, num(2));
    else if (piece == "distance")
        row.set_distance(v, static_cast<unsigned char>(num(3)), num(2));
    else if (piece == "ip")
        row.set_ip_addr(static_cast<unsigned int>(v));
    else
        row.set(v, num(2));
    const std::string t = text_of(row), cell = "<td class=\"value\">";
    const std::size_t at = t.find(cell) + cell.size();
    return t.substr(at, t.find("</td>", at) - at);
}

class SnapshotPiece : public ::testing::TestWithParam<case_t> {};

TEST_P(SnapshotPiece, WritesItsText) {
    ASSERT_EQ(GetParam().cols.size(), 5u);
    EXPECT_EQ(written(GetParam().cols), unquote(GetParam().cols[4]));
}
INSTANTIATE_TEST_SUITE_P(Setters, SnapshotPiece,
                         ::testing::ValuesIn(tern_test::read_cases("config/snapshot_setters.txt")),
                         tern_test::case_name);
INSTANTIATE_TEST_SUITE_P(Writers, SnapshotPiece,
                         ::testing::ValuesIn(tern_test::read_cases("config/snapshot_rows.txt")),
                         tern_test::case_name);

// Every integer type and fixed-point number is written as printf writes it, raw: generated
// values with each type's ends among them.
TEST(SnapshotNumbers, AsPrintfWritesThem) {
    std::mt19937_64 gen(7);
    const auto check = [](auto value, const std::string& want, unsigned prec = 0) {
        snapshot_def_t row("x");
        if constexpr (std::is_floating_point_v<decltype(value)>)
            row.set(value, prec);
        else
            row.set(value);
        ASSERT_EQ(row.value, want);
        ASSERT_TRUE(row.flags & snapshot_def_t::raw_text);
    };
    char s[512];
    for (int k = 0; k < 4000; ++k) {
        const uint64_t r = k < 2 ? (k ? ~0ull : 0ull) : gen() >> (gen() % 64);
        const int i = k == 2 ? INT_MIN : k == 3 ? INT_MAX : int(int64_t(r));
        check(i, (std::snprintf(s, sizeof s, "%d", i), s));
        check(unsigned(r), (std::snprintf(s, sizeof s, "%u", unsigned(r)), s));
        const auto u16 = static_cast<unsigned short>(r);
        check(u16, (std::snprintf(s, sizeof s, "%u", unsigned(u16)), s));
        check(static_cast<unsigned long long>(r),
              (std::snprintf(s, sizeof s, "%llu", static_cast<unsigned long long>(r)), s));
        const double d = k == 4   ? 1.96
                         : k == 5 ? 12.7
                                  : double(int64_t(r)) / double(1ull << (r % 60));
        const unsigned p = unsigned(k % 8);
        check(d, (std::snprintf(s, sizeof s, "%.*f", int(p), d), s), p);
        check(float(d), (std::snprintf(s, sizeof s, "%.*f", int(p), double(float(d))), s), p);
    }
}

class SnapshotFixMode : public ::testing::TestWithParam<case_t> {};

TEST_P(SnapshotFixMode, Text) {
    const std::vector<std::string>& c = GetParam().cols;
    ASSERT_EQ(c.size(), 4u);
    data_cache_t cache;
    if (c[0] != "-")
        put<data_fix_type_t>(cache, [&](auto& m) {
            m.fix_auto = c[0] == "auto";
            m.fix_3d = c[1] == "3d";
            m.fix_valid = c[2] == "valid";
        });
    const snapshot_fix_mode_t mode(cache);
    EXPECT_EQ(mode.value_set ? mode.value : "unset", c[3]);
}
INSTANTIATE_TEST_SUITE_P(Table, SnapshotFixMode,
                         ::testing::ValuesIn(tern_test::read_cases("config/fix_modes.txt")),
                         tern_test::case_name);

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

namespace {

// The serial cycler's port: it applies every port configuration command it is sent and notes each
// command as text ("cfg 19200 8 none 1" or "settings 1"), with the port it was addressed to.
class port_t : public config_test::controller_t {
public:
    port_cfg_t cfg;
    std::vector<std::string> sent;
    std::function<void()> after_send;

    void send_dev_msgs(int, std::list<msg_t*>& msgs) override {
        for (msg_t* m : msgs) {
            std::ostringstream s;
            s << "p" << m->port << " ";
            if (auto* pc = dynamic_cast<cmd_port_cfg_t*>(m)) {
                cfg = pc->cfg;
                s << "cfg " << pc->cfg.baud << " " << pc->cfg.data_bits << " " << pc->cfg.parity
                  << " " << pc->cfg.stop_bits;
            } else if (auto* st = dynamic_cast<cmd_settings_t*>(m)) {
                s << "settings " << static_cast<int>(st->action);
            }
            sent.push_back(s.str());
            delete m;
        }
        msgs.clear();
        if (after_send) after_send();
    }
    bool get_port_cfg(int, port_cfg_t& c) override {
        c = cfg;
        return true;
    }
    bool set_port_cfg(int, const port_cfg_t& c) override {
        cfg = c;
        return true;
    }
};

port_cfg_t line(unsigned baud, char_size_t bits, parity_t parity, stop_bits_t stop) {
    port_cfg_t c;
    c.baud = baud;
    c.data_bits = bits;
    c.parity = parity;
    c.stop_bits = stop;
    return c;
}

struct rig_t {
    port_t port;
    deviceInfo_t info;
    config_test::device_t device{&port, &info, 6};
    serialConfigCycler_t cycler{&device};
    double now = 1000.0;

    rig_t() {
        cycler.setClock([this] { return now; });
    }

    // A device type with these bauds on a port at `at`, and the search switched on.
    void start(std::vector<unsigned int> bauds, const port_cfg_t& at) {
        info.baud_rates = std::move(bauds);
        port.cfg = at;
        cycler.setEnabled(true);
    }

    // Calls trySettings as the device program would, stepping the clock by `step` before
    // each call; returns the commands as text.
    std::vector<std::string> tries(unsigned calls, double step) {
        std::vector<std::string> got;
        for (unsigned i = 0; i < calls; ++i) {
            now += step;
            std::list<msg_t*> out;
            cycler.trySettings(out);
            port.sent.clear();
            if (!out.empty()) device.handle_dev_msgs(out);
            got.insert(got.end(), port.sent.begin(), port.sent.end());
        }
        return got;
    }
};

} // namespace

// An odometer from 9600/8/odd/2: the baud turns fastest, and a wheel back at its starting
// value turns the next one; after all 36 combinations, the start again.
TEST(SerialConfigCycler, TurnsTheBaudFastestAndVisitsEveryCombinationOnce) {
    rig_t r;
    r.info.data_bits = {char_size_7, char_size_8};
    r.info.parities = {parity_none, parity_odd, parity_even};
    r.info.stop_bits = {stop_bits_1, stop_bits_2};
    r.start({4800, 9600, 19200}, line(9600, char_size_8, parity_odd, stop_bits_2));
    EXPECT_TRUE(r.tries(1, 0.0).empty()); // already supported: nothing to send yet
    EXPECT_TRUE(r.tries(1, 1.999).empty());
    r.now -= 1.999;
    const auto got = r.tries(36, 2.0);
    ASSERT_EQ(got.size(), 36u);
    const std::vector<std::string> first = {"p6 cfg 19200 8 odd 2", "p6 cfg 4800 8 odd 2",
                                            "p6 cfg 9600 8 odd 1"};
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 3), first);
    EXPECT_EQ(got[5], "p6 cfg 9600 8 even 2");  // parity turns when the stop bits are back
    EXPECT_EQ(got[11], "p6 cfg 9600 8 none 2"); // and wraps
    EXPECT_EQ(got[17], "p6 cfg 9600 7 odd 2");  // data bits turn when parity is back
    EXPECT_EQ(got[35], "p6 cfg 9600 8 odd 2");  // the whole cycle ends at the start
    EXPECT_EQ(std::set<std::string>(got.begin(), got.end()).size(), 36u);
}

TEST(SerialConfigCycler, TheStartIsCorrectedToSupportedValuesAndSentAtOnce) {
    rig_t r;
    r.info.data_bits = {char_size_8};
    r.info.parities = {parity_none, parity_even};
    r.info.stop_bits = {stop_bits_1};
    r.start({4800, 9600, 19200, 38400}, line(57600, char_size_7, parity_even, stop_bits_2));
    r.port.cfg.serial_device = "/dev/ttyS5";
    EXPECT_EQ(r.tries(1, 0.0), std::vector<std::string>{"p6 cfg 4800 8 even 1"});
    EXPECT_EQ(r.cycler.startConfig().serial_device, "/dev/ttyS5");
    EXPECT_EQ(r.tries(1, 2.0), std::vector<std::string>{"p6 cfg 9600 8 even 1"});
}

// A type that names bauds but no data bits (or nothing at all) keeps the port's own values.
TEST(SerialConfigCycler, EmptyListsKeepThePortsValue) {
    rig_t r;
    r.start({4800, 9600}, line(9600, char_size_7, parity_odd, stop_bits_2));
    EXPECT_TRUE(r.tries(1, 0.0).empty());
    EXPECT_EQ(r.tries(3, 2.0),
              (std::vector<std::string>{"p6 cfg 4800 7 odd 2", "p6 cfg 9600 7 odd 2",
                                        "p6 cfg 4800 7 odd 2"}));
    rig_t one;
    one.start({115200}, line(115200, char_size_8, parity_none, stop_bits_1));
    EXPECT_EQ(one.tries(3, 2.0),
              (std::vector<std::string>{"p6 cfg 115200 8 none 1", "p6 cfg 115200 8 none 1"}));
}

TEST(SerialConfigCycler, DwellTimeAndClockSteps) {
    rig_t r;
    r.start({4800, 9600}, line(4800, char_size_8, parity_none, stop_bits_1));
    r.tries(1, 0.0);
    EXPECT_TRUE(r.tries(19, 0.1).empty()); // 1.9 s
    EXPECT_EQ(r.tries(1, 0.1).size(), 1u); // 2.0 s: not strictly less than the dwell
    r.now -= 3600.0;                       // the clock goes back an hour
    EXPECT_TRUE(r.tries(1, 0.0).empty());
    EXPECT_TRUE(r.tries(1, 1.5).empty());
    EXPECT_EQ(r.tries(1, 0.5).size(), 1u); // one dwell later, not an hour
    r.cycler.setTimeout(0.5);
    EXPECT_EQ(r.tries(1, 0.5).size(), 1u);
}

TEST(SerialConfigCycler, SuccessSendsSettingsToThePortAndSwitchesOff) {
    rig_t r;
    r.info.baud_rates = {4800, 9600};
    r.port.cfg = line(4800, char_size_8, parity_none, stop_bits_1);
    std::list<msg_t*> out;
    r.cycler.succeed(out);
    EXPECT_TRUE(out.empty()); // disabled: nothing
    r.cycler.setEnabled(true);
    r.tries(1, 0.0);
    r.cycler.succeed(out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out.front()->port, 6u);
    ASSERT_NE(dynamic_cast<cmd_settings_t*>(out.front()), nullptr);
    EXPECT_EQ(static_cast<cmd_settings_t*>(out.front())->action,
              cmd_settings_t::action_store_found);
    r.port.sent.clear();
    r.device.handle_dev_msgs(out);
    EXPECT_EQ(r.port.sent, std::vector<std::string>{"p6 settings 1"});
    EXPECT_FALSE(r.cycler.isEnabled());
    EXPECT_TRUE(r.tries(3, 2.0).empty());
    // Enabled again, it captures the port afresh.
    r.port.cfg.baud = 9600;
    r.cycler.setEnabled(true);
    EXPECT_TRUE(r.tries(1, 0.0).empty());
    EXPECT_EQ(r.tries(1, 2.0), std::vector<std::string>{"p6 cfg 4800 8 none 1"});
}

// By default the dwell time is measured on the monotonic clock, not on the settable one.
TEST(SerialConfigCycler, DefaultClockIsMonotonic) {
    port_t port;
    deviceInfo_t info;
    info.baud_rates = {4800};
    config_test::device_t device(&port, &info, 2);
    serialConfigCycler_t cycler(&device);
    EXPECT_EQ(cycler.timeout(), 2.0);
    cycler.setEnabled(true);
    std::list<msg_t*> out;
    cycler.trySettings(out);
    EXPECT_EQ(out.size(), 1u); // 115200 corrected to 4800
    device.handle_dev_msgs(out);
    EXPECT_TRUE(cycler.isStarted());
    const double mono = static_cast<double>(g_get_monotonic_time()) / 1e6;
    EXPECT_NEAR(cycler.lastChange(), mono, 1.0);
    EXPECT_GT(std::abs(cycler.lastChange() - gettstamp_sys()), 1000.0);
}

// On a real main loop: the cycler polls itself and the port receives each combination.
TEST(SerialConfigCycler, PollsOnTheMainLoopUntilSuccess) {
    auto r = std::make_unique<rig_t>();
    r->info.baud_rates = {4800, 9600, 19200};
    r->port.cfg = line(9600, char_size_8, parity_none, stop_bits_1);
    r->cycler.setClock([&r] { return r->now += 0.5; }); // every poll half a second later
    r->cycler.setEnabled(true);
    r->cycler.startPolling(1);
    ASSERT_TRUE(tern_test::run_until([&] { return r->port.sent.size() >= 3; }));
    EXPECT_EQ(r->port.sent[0], "p6 cfg 19200 8 none 1");
    EXPECT_EQ(r->port.sent[1], "p6 cfg 4800 8 none 1");
    EXPECT_EQ(r->port.sent[2], "p6 cfg 9600 8 none 1");
    EXPECT_EQ(r->port.cfg.baud, 9600u);
    // The device finds its feet and deletes the cycler from inside the send.
    std::unique_ptr<serialConfigCycler_t> own(new serialConfigCycler_t(&r->device));
    own->setClock([] { return 0.0; });
    own->setTimeout(0.0);
    own->setEnabled(true);
    r->cycler.stopPolling();
    r->port.after_send = [&] { own.reset(); };
    r->port.cfg.baud = 1234; // unsupported: the first poll corrects it
    own->startPolling(1);
    ASSERT_TRUE(tern_test::run_until([&] { return !own; }));
    tern_test::run_until([] { return false; }, 0.02); // nothing left that fires
    EXPECT_EQ(r->port.sent.back(), "p6 cfg 4800 8 none 1");
}
