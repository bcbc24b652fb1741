// Settings texts: port keys and table texts, path texts and directories, the network
// settings and the correction server lists. Snapshot pages of the cache and the devices, and
// the serial settings search of a device.
#include <tern/config/config_util.h>
#include <tern/config/path_util.h>
#include <tern/config/serialConfigCycler.h>
#include <tern/config/snapshot_util.h>
#include <tern/config/sysnet_cfg.h>

#include <tern/data/data_cache.h>
#include <tern/data/device.h>
#include <tern/data/deviceInfo.h>
#include <tern/data/port_mgr.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/util/time_util.h>

#include <keelconfig/KeelConfig.h>

#include "support/cases.h"
#include "support/frames.h"
#include "support/mainloop.h"
#include "support/scratch.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace tern;
using tern_test::case_t;
using tern_test::temp_dir_t;
using tern_test::text_of;
using tern_test::unquote;

class ConfigTableEnd : public ::testing::TestWithParam<case_t> {};

TEST_P(ConfigTableEnd, LastValueHasItsTextAndPastEitherEndTheFallback) {
    const std::map<std::string, const char* (*)(int)> tables = {
        {"data_bits", data_bits_string},
        {"parity", parity_string},
        {"stop_bits", stop_bits_string},
        {"flow_control", flow_control_string},
        {"net_port_protocol", net_port_protocol_string},
        {"sysnet_type", sysnet_cfg_type_string},
        {"sysnet_type_saved", sysnet_cfg_type_cfg_string},
        {"motion_status", motion_status_string}};
    const std::vector<std::string>& c = GetParam().cols;
    ASSERT_EQ(c.size(), 3u);
    const auto text = tables.at(GetParam().name);
    EXPECT_STREQ(text(std::stoi(c[0])), c[1].c_str());
    EXPECT_STREQ(text(std::stoi(c[0]) + 1), c[2].c_str());
    EXPECT_STREQ(text(-1), c[2].c_str());
}
TERN_CASES(Tables, ConfigTableEnd, "config/table_ends.txt");

TEST(ConfigUtil, PortKeysAreThePrefixAndTheKeyText) {
    EXPECT_EQ(port_config_prefix(3) + KEY_PORT_BAUD, "port_3_baud");
    EXPECT_EQ(dynamic_port_config_prefix(12) + KEY_USB_SERIAL, "dyn_port_12_usb_serial");
    EXPECT_EQ(device_config_prefix(0) + KEY_PORT_NET_CFG_PREFIX, "device_0_net_cfg_");
    EXPECT_EQ(dynamic_device_config_prefix(7) + KEY_PORT_DEVICE_NAME, "dyn_device_7_device_name");
}

class PathText : public ::testing::TestWithParam<case_t> {};

TEST_P(PathText, BaseDirTrimAndExtension) {
    const std::vector<std::string>& c = GetParam().cols;
    ASSERT_EQ(c.size(), 6u);
    const std::string path = unquote(c[0]);
    EXPECT_EQ(base_name(path), unquote(c[1]));
    EXPECT_EQ(dir_name(path), unquote(c[2]));
    EXPECT_EQ(trim_path_sep(path), unquote(c[3]));
    EXPECT_EQ(file_extension(path), unquote(c[4]));
    EXPECT_EQ(is_settings_filename(path)     ? "settings"
              : is_upload_filename(path)     ? "upload"
              : is_tks_ip_cfg_filename(path) ? "servers"
              : isSatdefsFilename(path)      ? "satdefs"
                                             : "none",
              c[5]);
}
TERN_CASES(Paths, PathText, "config/paths.txt");

TEST(PathFiles, SplitAppendsTheComponents) {
    std::list<std::string> parts{"kept"};
    path_split("/a//b/", parts);
    EXPECT_EQ(parts, (std::list<std::string>{"kept", "a", "b"}));
}

TEST(PathFiles, SystemFilePathFromTheEnvironment) {
    const char* var = "TERN_TEST_DATA_PATH_VAR";
    setenv(var, "/data/", 1);
    EXPECT_EQ(get_system_file_path(var, "almanac"), "/data/almanac");
    setenv(var, "/data", 1);
    EXPECT_EQ(get_system_file_path(var, "almanac"), "/data/almanac");
    EXPECT_EQ(get_system_file_path(var), "/data");
    setenv(var, "", 1);
    EXPECT_EQ(get_system_file_path(var, "almanac"), "/tmp/almanac");
    unsetenv(var);
    EXPECT_EQ(get_system_file_path(var, "almanac"), "/tmp/almanac");
    EXPECT_EQ(get_system_file_path(var), "/tmp");
}

namespace {

class DirTest : public ::testing::Test {
protected:
    void touch(const std::string& rel) { tmp_.write(rel, "x"); }
    bool is_dir(const std::string& rel) { return std::filesystem::is_directory(tmp_.file(rel)); }
    tern_test::temp_dir_t tmp_;
    const std::string dir_ = tmp_.path();
};

} // namespace

TEST_F(DirTest, UniqueFilenameTakesTheFirstFreeCounter) {
    EXPECT_EQ(unique_filename(dir_, "report", ".htm"), "report.htm");
    touch("report.htm");
    EXPECT_EQ(unique_filename(dir_, "report", ".htm"), "report_1.htm");
    touch("report_1.htm");
    touch("report_3.htm");
    EXPECT_EQ(unique_filename(dir_, "report", ".htm"), "report_2.htm");
    // A dangling link still holds its name.
    ASSERT_EQ(::symlink("/nonexistent", (dir_ + "/link.htm").c_str()), 0);
    EXPECT_EQ(unique_filename(dir_, "link", ".htm"), "link_1.htm");
}

TEST_F(DirTest, VerifyDirCreatesEachMissingLevel) {
    EXPECT_TRUE(verify_dir(dir_, "tern/log_data/com1"));
    EXPECT_TRUE(is_dir("tern/log_data/com1"));
    EXPECT_TRUE(verify_dir(dir_, "tern/log_data/com1")); // already there
    EXPECT_TRUE(verify_dir(dir_ + "/", "//tern//settings/"));
    EXPECT_TRUE(is_dir("tern/settings"));
    EXPECT_FALSE(verify_dir(dir_ + "/absent", "tern"));
    EXPECT_FALSE(is_dir("absent"));
    touch("plain");
    EXPECT_FALSE(verify_dir(dir_, "plain/sub")); // a file in the way
    EXPECT_FALSE(verify_dir(dir_ + "/plain", "sub"));
}

namespace {

// 192.168.1.10/24 through 192.168.1.1, name server 8.8.8.8.
sysnet_cfg_t static_cfg() {
    return {sysnet_cfg_static,
            9000,
            {{0xC0A8010A, 0xFFFFFF00, 0xC0A80101, 0x08080808, 0}, 0xFFFFFFFF, "vessel.local"}};
}

} // namespace

TEST(SysnetCfg, SavesItsKeysInOrderAndLoadsThemBackFromAFile) {
    tern_test::comma_locale_t comma;
    KeelConfig out(std::string(), 20);
    static_cfg().set_cfg(out, "net_");
    EXPECT_EQ(tern_test::store_text(out),
              temp_dir_t::read(TERN_TEST_DATA_DIR "/config/sysnet_static.txt"));
    temp_dir_t dir;
    ASSERT_TRUE(out.write(dir.file("settings.trs")));
    KeelConfig in(std::string(), 2);
    ASSERT_TRUE(in.read(dir.file("settings.trs")));
    sysnet_cfg_t back;
    EXPECT_TRUE(back.load_cfg(in, "net_"));
    EXPECT_EQ(back, static_cfg());
}

class SysnetKeys : public ::testing::TestWithParam<case_t> {};

TEST_P(SysnetKeys, EachKeyIsReadOnItsOwn) {
    const std::vector<std::string>& c = GetParam().cols;
    ASSERT_EQ(c.size(), 4u);
    KeelConfig cfg;
    static_cfg().set_cfg(cfg, "net_");
    KeelConfig changed;
    std::string want;
    for (const auto& e : cfg.entries()) {
        if (e.key != c[0] || c[1] != "-")
            changed.setValue(e.key, e.key == c[0] ? unquote(c[1]) : e.value);
        want += e.key + "=" + (e.key == c[0] ? c[3] : e.value) + "\n";
    }
    sysnet_cfg_t s;
    s.ip_cfg = {{0, 78, 79, 0, 77}, 0, "old"}; // netmask, gateway, dns2, domain
    EXPECT_EQ(s.load_cfg(changed, "net_"), c[2] == "loads");
    KeelConfig saved;
    s.set_cfg(saved, "net_");
    EXPECT_EQ(tern_test::store_text(saved), want);
}
TERN_CASES(SysnetCfg, SysnetKeys, "config/sysnet_keys.txt");

namespace {

std::string describe(const std::list<tks_ip_server_t>& servers) {
    std::string s;
    for (const auto& srv : servers) {
        s += srv.name + "@" + srv.host + ":" + std::to_string(srv.port);
        for (const auto& mp : srv.mount_points) s += " [" + mp.name + "|" + mp.desc + "]";
        s += "\n";
    }
    return s;
}

} // namespace

// Each file of tests/golden/config/servers beside the servers it must give: a list is read
// up to its first incomplete or bad server.
TEST(TksIpCfg, ServerListsLoadUpToTheFirstBadServer) {
    const std::filesystem::path dir = std::string(TERN_TEST_DATA_DIR) + "/config/servers";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string path = entry.path().string();
        if (entry.path().extension() != TKS_IP_CFG_EXT) continue;
        ++files;
        std::string id;
        std::list<tks_ip_server_t> servers;
        const int n = tks_ip_cfg_load(path, id, servers);
        EXPECT_EQ(std::to_string(n) + " servers\n" + describe(servers),
                  temp_dir_t::read(path + ".expected"))
            << path;
    }
    EXPECT_EQ(files, 8);
}

TEST(TksIpCfg, TheListIsAppendedToAndUnreadableFilesLoadNothing) {
    temp_dir_t dir;
    std::list<tks_ip_server_t> servers(1);
    std::string id = "keep";
    EXPECT_EQ(tks_ip_cfg_load(dir.file("missing.tksoticfg"), id, servers), 0);
    EXPECT_EQ(tks_ip_cfg_load(dir.write("torn.tksoticfg", "#KeelConfig 1\nid=x"), id, servers), 0);
    EXPECT_EQ(id, "keep");
    const std::string path = dir.write(
        "ok.tksoticfg", std::string("#KeelConfig 1\nid=ship\nserver_0_host=h\nserver_0_port=0\n"
                                    "server_0_name=n\nserver_0_point_0_name=p\n"
                                    "server_0_point_0_desc=d\n"));
    EXPECT_EQ(tks_ip_cfg_load(path, id, servers), 1);
    EXPECT_EQ(id, "ship");
    EXPECT_EQ(servers.size(), 2u);
    std::vector<tks_ip_server_t> in_vector(1);
    EXPECT_EQ(tks_ip_cfg_load(path, id, in_vector), 1);
    ASSERT_EQ(in_vector.size(), 2u);
    EXPECT_EQ(in_vector[1], servers.back());
}

TEST(TksIpCfg, SavedListsReadBack) {
    const tks_ip_server_t a{
        "caster.example.org", 2101, "Main = first", {{"RTCM3", "line one\nline two"}, {"NET", ""}}};
    const tks_ip_server_t b{"10.0.0.2", 65535, "Backup", {{"B", "b"}}};
    temp_dir_t dir;
    const std::string path = dir.file("list.tksoticfg");
    std::string why;
    ASSERT_TRUE(tks_ip_cfg_save(path, "ship 7", {a, b}, why)) << why;
    std::string id;
    std::list<tks_ip_server_t> back;
    ASSERT_EQ(tks_ip_cfg_load(path, id, back), 2);
    EXPECT_EQ(id, "ship 7");
    EXPECT_EQ(back, (std::list<tks_ip_server_t>{a, b}));
    EXPECT_FALSE(tks_ip_cfg_save(dir.file("no/such/dir/x.tksoticfg"), "x", {a}, why));
    EXPECT_FALSE(why.empty());
}

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

// A message of the cache, stamped now.
template <class M, class F>
void put(data_cache_t& c, F set) {
    M m;
    set(m);
    m.utc_tstamp = gettstamp_data();
    c.add(static_cast<const data_msg_t&>(m));
}

} // namespace

// The cache behind the golden page: every row class has a value with exact decimals, the fix
// is not valid and the correction service's name is markup; numbers never follow the locale.
TEST(Snapshot, PageOfAFixedCacheMatchesTheGoldenFile) {
    const tern_test::comma_locale_t comma;
    const double saved_clock = get_tstamp_data_diff();
    set_tstamp_data_diff(1700006400.0 - gettstamp_sys()); // the stamp of every frame
    data_cache_t filled, empty;
    for (const auto& m : tern_test::decode_frames(tern_test::temp_dir_t::read(
             std::string(TERN_TEST_DATA_DIR) + "/../cases/config/snapshot_cache.frames")))
        filled.add(static_cast<const data_msg_t&>(*m));
    std::ostringstream os;
    os << snapshot_page_start_t("Skerryview <bridge> snapshot")
       << snapshot_device_table_t("ternrimba on COM1 (Bow 'A' & \"B\")");
    write_cache_snapshot(os, filled);
    os << snapshot_device_table_t(None_str);
    write_cache_snapshot(os, empty, true);
    os << snapshot_page_end_t();
    set_tstamp_data_diff(saved_clock);
    EXPECT_EQ(os.str(),
              temp_dir_t::read(std::string(TERN_TEST_DATA_DIR) + "/config/snapshot_page.html"));
}

// The writer builds the page without row objects: it must write what the row objects do, for
// a full cache, an empty one, and one whose correction service name is a runaway text of
// markup (longer than the writer keeps its buffer for).
TEST(Snapshot, WriterWritesWhatTheRowObjectsDo) {
    data_cache_t filled, empty, runaway;
    for (const auto& m : tern_test::decode_frames(tern_test::temp_dir_t::read(
             std::string(TERN_TEST_DATA_DIR) + "/../cases/config/snapshot_cache.frames")))
        filled.add(static_cast<const data_msg_t&>(*m));
    put<data_diff_detail_t>(runaway, [](auto& m) { m.name = std::string(70000, '<') + "&end"; });
    for (const data_cache_t* c : {&filled, &empty, &runaway, &filled}) {
        std::ostringstream rows;
        rows << snapshot_two_column_table_start_t() << snapshot_header_t("Position", 2)
             << snapshot_latitude_t(*c) << snapshot_longitude_t(*c) << snapshot_height_t(*c)
             << snapshot_speed_t(*c) << snapshot_course_t(*c) << snapshot_fix_mode_t(*c)
             << snapshot_header_t("Quality", 2) << snapshot_hdop_t(*c) << snapshot_pdop_t(*c)
             << snapshot_vdop_t(*c) << snapshot_num_sats_t(*c) << snapshot_fom_t(*c)
             << snapshot_dual_freq_t(*c) << snapshot_header_t("Corrections", 2)
             << snapshot_diff_name_t(*c) << snapshot_diff_age_t(*c)
             << snapshot_header_t("Attitude", 2) << snapshot_heading_t(*c) << snapshot_roll_t(*c)
             << snapshot_pitch_t(*c) << snapshot_heave_t(*c) << snapshot_depth_t(*c)
             << snapshot_motion_status_t(*c) << snapshot_horiz_accel_t(*c)
             << snapshot_vert_accel_t(*c) << snapshot_qc_summary_t(*c) << snapshot_table_end_t();
        std::ostringstream page;
        write_cache_snapshot(page, *c);
        ASSERT_EQ(page.str(), rows.str());
    }
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
TERN_CASES(Setters, SnapshotPiece, "config/snapshot_setters.txt");
TERN_CASES(Writers, SnapshotPiece, "config/snapshot_rows.txt");

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
TERN_CASES(Table, SnapshotFixMode, "config/fix_modes.txt");

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
    data_cache_t cache; // both parts unknown: the golden page
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

// The named device and its escaping in the table are tern-snapshot's test.
TEST(Snapshot, DeviceDescriptionOfWhatIsMissing) {
    const deviceInfo_t info("ternorsk", "Orsk receiver");
    one_device_t custom(&info, "Mast", true);
    EXPECT_EQ(snapshotDeviceDesc(custom, 3), "None");
    EXPECT_EQ(snapshotDeviceDesc(nullptr, 2), "None");
    one_device_t plain(&info, "", false);
    EXPECT_EQ(snapshotDeviceDesc(&plain, 2), "ternorsk on NONE");
    one_device_t no_info(nullptr, "", true);
    EXPECT_EQ(snapshotDeviceDesc(no_info, 2), "Unknown on COM<2>");
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

    explicit rig_t(bool own_clock = true) {
        if (own_clock) cycler.setClock([this] { return now; });
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

// The start is corrected to the first listed value of each setting it names unlisted and sent
// at once; then each dwell turns the baud a step in its list's order, a setting back at its
// start turns the next (stop bits, parity, data bits), and an empty list keeps the port's
// value. Over generated lists and starts, the n-th change is the start plus n in mixed radix.
TEST(SerialConfigCycler, AnOdometerFromTheCorrectedStartVisitsEveryCombinationOnce) {
    std::mt19937 gen(11);
    const std::vector<unsigned> all[4] = {{4800, 9600, 19200, 115200}, {0, 1}, {0, 1, 2}, {0, 1}};
    for (int k = 0; k < 300; ++k) {
        std::vector<unsigned> list[4], first(4);
        unsigned start[4];
        std::size_t at[4], radix[4];
        for (int d = 0; d < 4; ++d) {
            list[d] = all[d];
            std::shuffle(list[d].begin(), list[d].end(), gen);
            list[d].resize(k < 2 ? (k ? 0 : all[d].size()) : gen() % (all[d].size() + 1));
            start[d] = all[d][gen() % all[d].size()];
            const auto it = std::find(list[d].begin(), list[d].end(), start[d]);
            first[d] = list[d].empty() || it != list[d].end() ? start[d] : list[d][0];
            at[d] = it == list[d].end() ? 0 : std::size_t(it - list[d].begin());
            radix[d] = std::max<std::size_t>(list[d].size(), 1);
        }
        rig_t r;
        for (unsigned v : list[1]) r.info.stop_bits.push_back(stop_bits_t(v));
        for (unsigned v : list[2]) r.info.parities.push_back(parity_t(v));
        for (unsigned v : list[3]) r.info.data_bits.push_back(char_size_t(v));
        r.start(list[0],
                line(start[0], char_size_t(start[3]), parity_t(start[2]), stop_bits_t(start[1])));
        r.port.cfg.serial_device = "/dev/ttyS5";
        const auto port_at = [&r] {
            const port_cfg_t& c = r.port.cfg;
            return std::vector<unsigned>{c.baud, c.stop_bits, c.parity, c.data_bits};
        };
        const bool corrected = !std::equal(start, start + 4, first.begin());
        ASSERT_EQ(r.tries(1, 0.0).size(), corrected ? 1u : 0u) << k;
        EXPECT_EQ(port_at(), first) << k;
        EXPECT_EQ(r.cycler.startConfig().serial_device, "/dev/ttyS5");
        const std::size_t total = radix[0] * radix[1] * radix[2] * radix[3];
        for (std::size_t n = 1; n <= total; ++n) {
            ASSERT_EQ(r.tries(1, 2.0).size(), 1u) << k;
            std::vector<unsigned> want = first;
            for (std::size_t d = 0, below = 1; d < 4; below *= radix[d++])
                if (!list[d].empty()) want[d] = list[d][(at[d] + n / below % radix[d]) % radix[d]];
            ASSERT_EQ(port_at(), want) << k << " change " << n;
        }
    }
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
    rig_t r(false);
    r.start({4800}, line(115200, char_size_8, parity_none, stop_bits_1));
    EXPECT_EQ(r.tries(1, 0.0).size(), 1u); // 115200 corrected to 4800
    EXPECT_TRUE(r.cycler.isStarted());
    const double mono = static_cast<double>(g_get_monotonic_time()) / 1e6;
    EXPECT_NEAR(r.cycler.lastChange(), mono, 1.0);
    EXPECT_GT(std::abs(r.cycler.lastChange() - gettstamp_sys()), 1000.0);
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
    EXPECT_EQ(std::vector<std::string>(r->port.sent.begin(), r->port.sent.begin() + 3),
              (std::vector<std::string>{"p6 cfg 19200 8 none 1", "p6 cfg 4800 8 none 1",
                                        "p6 cfg 9600 8 none 1"}));
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
