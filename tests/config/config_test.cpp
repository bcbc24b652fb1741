// Settings texts: port keys and table texts, path texts and directories, the network
// settings and the correction server lists.
#include <tern/config/config_util.h>
#include <tern/config/path_util.h>
#include <tern/config/snapshot_util.h>
#include <tern/config/sysnet_cfg.h>

#include <keelconfig/KeelConfig.h>

#include "support/cases.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

using namespace tern;
using tern_test::case_t;
using tern_test::temp_dir_t;
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
INSTANTIATE_TEST_SUITE_P(Tables, ConfigTableEnd,
                         ::testing::ValuesIn(tern_test::read_cases("config/table_ends.txt")),
                         tern_test::case_name);

TEST(ConfigUtil, PortKeysAreThePrefixAndTheKeyText) {
    EXPECT_EQ(port_config_prefix(3) + KEY_PORT_BAUD, "port_3_baud");
    EXPECT_EQ(dynamic_port_config_prefix(12) + KEY_USB_SERIAL, "dyn_port_12_usb_serial");
    EXPECT_EQ(device_config_prefix(0) + KEY_PORT_NET_CFG_PREFIX, "device_0_net_cfg_");
    EXPECT_EQ(dynamic_device_config_prefix(7) + KEY_PORT_DEVICE_NAME, "dyn_device_7_device_name");
}

class PathText : public ::testing::TestWithParam<case_t> {};

TEST_P(PathText, BaseDirTrimAndExtension) {
    const std::vector<std::string>& c = GetParam().cols;
    ASSERT_EQ(c.size(), 5u);
    const std::string path = unquote(c[0]);
    EXPECT_EQ(base_name(path), unquote(c[1]));
    EXPECT_EQ(dir_name(path), unquote(c[2]));
    EXPECT_EQ(trim_path_sep(path), unquote(c[3]));
    EXPECT_EQ(file_extension(path), unquote(c[4]));
}
INSTANTIATE_TEST_SUITE_P(Paths, PathText,
                         ::testing::ValuesIn(tern_test::read_cases("config/paths.txt")),
                         tern_test::case_name);

TEST(PathFiles, SplitAppendsTheComponents) {
    std::list<std::string> parts{"kept"};
    path_split("/a//b/", parts);
    EXPECT_EQ(parts, (std::list<std::string>{"kept", "a", "b"}));
}

TEST(PathFiles, ExtensionTestsIgnoreCase) {
    EXPECT_TRUE(ends_in_ext("SETTINGS.TRS", ".trs"));
    EXPECT_TRUE(is_settings_filename("a.Trs"));
    EXPECT_FALSE(is_settings_filename("trs"));
    EXPECT_FALSE(is_settings_filename("a.trs.bak"));
    EXPECT_TRUE(is_upload_filename("/m/FW.TRU"));
    EXPECT_TRUE(is_tks_ip_cfg_filename("x.TKSotiCFG"));
    EXPECT_FALSE(ends_in_ext(".tr", ".trs"));
    EXPECT_TRUE(isSatdefsFilename("/usb/tern/SATDEFS_2024.txt"));
    EXPECT_FALSE(isSatdefsFilename("/usb/SATDEFS/satdefs.txt"));
    EXPECT_FALSE(isSatdefsFilename("SATDEF"));
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

// The store's entries as "key=value" lines, in order.
std::string entries(const KeelConfig& cfg) {
    std::string s;
    for (const auto& e : cfg.entries()) s += e.key + "=" + e.value + "\n";
    return s;
}

// 192.168.1.10/24 through 192.168.1.1, name server 8.8.8.8.
sysnet_cfg_t static_cfg() {
    return {sysnet_cfg_static,
            9000,
            {{0xC0A8010A, 0xFFFFFF00, 0xC0A80101, 0x08080808, 0}, 0xFFFFFFFF, "vessel.local"}};
}

const char static_text[] = "net_type=Static\n"
                           "net_mtu=9000\n"
                           "net_ip_cfg_ip_address=192.168.1.10\n"
                           "net_ip_cfg_netmask=255.255.255.0\n"
                           "net_ip_cfg_gateway=192.168.1.1\n"
                           "net_ip_cfg_dns=8.8.8.8\n"
                           "net_ip_cfg_dns2=0.0.0.0\n"
                           "net_ip_cfg_broadcast=255.255.255.255\n"
                           "net_ip_cfg_domain=vessel.local\n";

} // namespace

TEST(SysnetCfg, SavesItsKeysInOrderAndLoadsThemBackFromAFile) {
    tern_test::comma_locale_t comma;
    KeelConfig out(std::string(), 20);
    static_cfg().set_cfg(out, "net_");
    EXPECT_EQ(entries(out), static_text);
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
    EXPECT_EQ(entries(saved), want);
}
INSTANTIATE_TEST_SUITE_P(SysnetCfg, SysnetKeys,
                         ::testing::ValuesIn(tern_test::read_cases("config/sysnet_keys.txt")),
                         tern_test::case_name);

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
    EXPECT_EQ(files, 9);
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
