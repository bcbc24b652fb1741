#include <tern/config/path_util.h>
#include <tern/config/sysnet_cfg.h>

#include <keelconfig/KeelConfig.h>

#include "support/scratch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

using namespace tern;
using tern_test::temp_dir_t;

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

// "Static" is written in the golden text above; here the other texts, out-of-range types and
// texts that are read only as written.
TEST(SysnetCfg, TypeTexts) {
    for (const auto& [type, text] : {std::pair<int, const char*>{1, "DHCP"},
                                     {0, "Disabled"},
                                     {3, "Disabled"},
                                     {-1, "Disabled"}}) {
        KeelConfig cfg;
        cfg.set("type", static_cast<sysnet_cfg_type_t>(type));
        EXPECT_EQ(cfg.entries().at(0).value, text) << type;
        EXPECT_STREQ(sysnet_cfg_type_cfg_string(type), text) << type;
    }
    const std::pair<const char*, sysnet_cfg_type_t> read[] = {
        {"DHCP", sysnet_cfg_dhcp},         {"Static", sysnet_cfg_static},
        {"Disabled", sysnet_cfg_disabled}, {"dhcp", sysnet_cfg_disabled},
        {"STATIC", sysnet_cfg_disabled},   {"", sysnet_cfg_disabled}};
    for (const auto& [text, type] : read) {
        KeelConfig cfg;
        static_cfg().set_cfg(cfg, "");
        cfg.setValue("type", text);
        sysnet_cfg_t c;
        EXPECT_TRUE(c.load_cfg(cfg, ""));
        EXPECT_EQ(c.type, type) << text;
    }
}

// Every key is tried: one missing or unreadable key fails the load but the others still land,
// and the field of the bad key keeps its value (or takes its default).
TEST(SysnetCfg, MissingOrUnconvertibleKeysFailButTheRestIsRead) {
    const struct {
        const char* key;
        const char* value; // null: remove the key
        std::function<void(sysnet_cfg_t&)> expect;
    } faults[] = {
        {"net_ip_cfg_dns2", nullptr, [](sysnet_cfg_t& c) { c.ip_cfg.dns2 = 77; }},
        {"net_ip_cfg_ip_address", nullptr, [](sysnet_cfg_t& c) { c.ip_cfg.ip_address = 0; }},
        {"net_type", nullptr, [](sysnet_cfg_t& c) { c.type = sysnet_cfg_disabled; }},
        {"net_mtu", "15oo", [](sysnet_cfg_t& c) { c.mtu = sysnet_cfg_t::default_mtu; }},
        {"net_mtu", "-1", [](sysnet_cfg_t& c) { c.mtu = sysnet_cfg_t::default_mtu; }},
        {"net_ip_cfg_netmask", "255.255.255.256", [](sysnet_cfg_t& c) { c.ip_cfg.netmask = 78; }},
        {"net_ip_cfg_gateway", "192.168.1", [](sysnet_cfg_t& c) { c.ip_cfg.gateway = 79; }},
        {"net_ip_cfg_domain", nullptr, [](sysnet_cfg_t& c) { c.ip_cfg.domain = "old"; }},
    };
    for (const auto& f : faults) {
        KeelConfig cfg;
        static_cfg().set_cfg(cfg, "net_");
        KeelConfig damaged;
        for (const auto& e : cfg.entries()) {
            if (e.key != f.key)
                damaged.setValue(e.key, e.value);
            else if (f.value)
                damaged.setValue(e.key, f.value);
        }
        sysnet_cfg_t c;
        c.ip_cfg.dns2 = 77;
        c.ip_cfg.netmask = 78;
        c.ip_cfg.gateway = 79;
        c.ip_cfg.domain = "old";
        EXPECT_FALSE(c.load_cfg(damaged, "net_")) << f.key;
        sysnet_cfg_t want = static_cfg();
        f.expect(want);
        EXPECT_EQ(c, want) << f.key;
    }
}

TEST(SysnetCfg, AddressesAtTheirTextLimits) {
    const struct {
        const char* text;
        bool ok;
        unsigned int addr;
    } rows[] = {
        {"0.0.0.0", true, 0},
        {"255.255.255.255", true, 0xFFFFFFFF},
        {"010.000.000.001", true, 0x0A000001},
        {"10.0.0.1 trailing", true, 0x0A000001},
        {"256.0.0.0", false, 5},
        {"1.2.3", false, 5},
        {"", false, 5},
    };
    for (const auto& r : rows) {
        KeelConfig cfg;
        sysnet_ip_cfg_t ip;
        ip.dns = 1;
        ip.set_cfg(cfg, "");
        cfg.setValue("gateway", r.text);
        ip.gateway = 5;
        EXPECT_EQ(ip.load_cfg(cfg, ""), r.ok) << r.text;
        EXPECT_EQ(ip.gateway, r.addr) << r.text;
        EXPECT_EQ(ip.dns, 1u);
    }
}

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
