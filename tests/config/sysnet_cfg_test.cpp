#include <tern/config/path_util.h>
#include <tern/config/sysnet_cfg.h>

#include <keelconfig/KeelConfig.h>

#include "support/scratch.h"

#include <gtest/gtest.h>

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

sysnet_cfg_t static_cfg() {
    sysnet_cfg_t c;
    c.type = sysnet_cfg_static;
    c.mtu = 9000;
    c.ip_cfg.ip_address = 0xC0A8010A; // 192.168.1.10
    c.ip_cfg.netmask = 0xFFFFFF00;
    c.ip_cfg.gateway = 0xC0A80101;
    c.ip_cfg.dns = 0x08080808;
    c.ip_cfg.dns2 = 0;
    c.ip_cfg.broadcast = 0xFFFFFFFF;
    c.ip_cfg.domain = "vessel.local";
    return c;
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

// A configuration file written out literally, as the correction service delivers it.
std::string tks_file(const std::string& body) {
    return "#KeelConfig 1\n" + body;
}

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

TEST(TksIpCfg, ServerListsLoadUpToTheFirstBadServer) {
    const std::string s0 = "server_0_host=caster.example.org\nserver_0_port=2101\n"
                           "server_0_name=Main\nserver_0_point_0_name=RTCM3\n"
                           "server_0_point_0_desc=Nearest base\nserver_0_point_1_name=NET\n"
                           "server_0_point_1_desc=Network\n";
    const std::string s1 = "server_1_host=10.0.0.2\nserver_1_port=65535\nserver_1_name=Backup\n"
                           "server_1_point_0_name=B\nserver_1_point_0_desc=\n";
    const std::string s2 = "server_2_host=h2\nserver_2_port=80\nserver_2_name=Third\n"
                           "server_2_point_0_name=C\nserver_2_point_0_desc=c\n";
    // A second server, complete but for its port text.
    const auto s1_port = [](const std::string& port) {
        return "server_1_host=h\nserver_1_port=" + port +
               "\nserver_1_name=n\nserver_1_point_0_name=a\nserver_1_point_0_desc=b\n";
    };
    const std::string main_desc =
        "Main@caster.example.org:2101 [RTCM3|Nearest base] [NET|Network]\n";
    const struct {
        const char* what;
        std::string body;
        int count;
        std::string servers;
    } rows[] = {
        {"no servers", "id=empty\n", 0, ""},
        {"one", "id=x\n" + s0, 1, main_desc},
        {"many", "id=x\n" + s0 + s1 + s2, 3,
         main_desc + "Backup@10.0.0.2:65535 [B|]\nThird@h2:80 [C|c]\n"},
        {"no id", s0, 0, ""},
        {"server 1 without mount points",
         "id=x\n" + s0 + "server_1_host=h\nserver_1_port=1\nserver_1_name=n\n" + s2, 1, main_desc},
        {"port not a number", "id=x\n" + s0 + s1_port("21O1"), 1, main_desc},
        {"port too big", "id=x\n" + s0 + s1_port("65536"), 1, main_desc},
        {"mount point without description ends the points",
         "id=x\nserver_0_host=h\nserver_0_port=1\nserver_0_name=n\nserver_0_point_0_name=a\n"
         "server_0_point_0_desc=b\nserver_0_point_1_name=c\nserver_0_point_2_name=d\n"
         "server_0_point_2_desc=e\n",
         1, "n@h:1 [a|b]\n"},
        {"server without a name",
         "id=x\nserver_0_host=h\nserver_0_port=1\n"
         "server_0_point_0_name=a\nserver_0_point_0_desc=b\n",
         0, ""},
    };
    temp_dir_t dir;
    for (const auto& r : rows) {
        const std::string path = dir.write(std::string("c") + TKS_IP_CFG_EXT, tks_file(r.body));
        std::string id = "before";
        std::list<tks_ip_server_t> servers;
        EXPECT_EQ(tks_ip_cfg_load(path, id, servers), r.count) << r.what;
        EXPECT_EQ(describe(servers), r.servers) << r.what;
    }
}

TEST(TksIpCfg, TheListIsAppendedToAndUnreadableFilesLoadNothing) {
    temp_dir_t dir;
    std::list<tks_ip_server_t> servers(1);
    std::string id = "keep";
    EXPECT_EQ(tks_ip_cfg_load(dir.file("missing.tksoticfg"), id, servers), 0);
    EXPECT_EQ(tks_ip_cfg_load(dir.write("torn.tksoticfg", "#KeelConfig 1\nid=x"), id, servers), 0);
    EXPECT_EQ(id, "keep");
    const std::string path =
        dir.write("ok.tksoticfg", tks_file("id=ship\nserver_0_host=h\nserver_0_port=0\n"
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
    tks_ip_server_t a;
    a.host = "caster.example.org";
    a.port = 2101;
    a.name = "Main = first";
    a.mount_points = {{"RTCM3", "line one\nline two"}, {"NET", ""}};
    tks_ip_server_t b;
    b.host = "10.0.0.2";
    b.port = 65535;
    b.name = "Backup";
    b.mount_points = {{"B", "b"}};
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
