#include <tern/msg/records.h>

#include "support/cases.h"
#include "support/codec.h"
#include "support/hex.h"
#include "support/text.h"

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

#include <string>

using namespace tern;
using tern_test::decode_into;
using tern_test::from_hex;
using tern_test::payload_of;
using tern_test::to_hex;

namespace {

net_port_cfg_t tcp_listen_5017() {
    net_port_cfg_t c;
    c.enabled = true;
    c.protocol = net_port_proto_tcp_listen;
    c.specify_local_port = true;
    c.local_port = 5017;
    c.remote_port = 77; // behind a cleared flag: not sent
    c.remote_host = "ignored";
    return c;
}

} // namespace

// What the golden message frames do not show: flags that leave parts out, and a record no
// message carries.
TEST(RecordsBinary, GoldenEncodings) {
    coordSysId_t cs;
    cs.datum_id = "WGS84";
    cs.zone_id = "31N";
    EXPECT_EQ(payload_of(tcp_listen_5017()), "03 01 99 13");
    EXPECT_EQ(payload_of(cs), "05 57 47 53 38 34 03 33 31 4E");
}

TEST(RecordsBinary, NetPortDecodeClearsWhatItsFlagsLeaveOut) {
    net_port_cfg_t c;
    c.specify_local_port = c.specify_remote_port = c.specify_remote_host = true;
    c.local_port = 5;
    c.remote_port = 999;
    c.remote_host = "old";
    // Enabled, protocol TCP connecting, no optional part on the wire.
    EXPECT_TRUE(decode_into("01 02", c));
    EXPECT_TRUE(c.enabled);
    EXPECT_FALSE(c.specify_local_port || c.specify_remote_port || c.specify_remote_host);
    EXPECT_EQ(c.protocol, net_port_proto_tcp_connect);
    EXPECT_EQ(c.local_port, 0);
    EXPECT_EQ(c.remote_port, 0);
    EXPECT_EQ(c.remote_host, "");
}

TEST(RecordsBinary, NetPortHostIsCutTo80) {
    net_port_cfg_t c;
    c.specify_remote_host = true;
    c.remote_host = std::string(90, 'h');
    const std::string hex = payload_of(c);
    EXPECT_EQ(hex.substr(0, 8), "08 00 50"); // flags, protocol, 80
    net_port_cfg_t back;
    EXPECT_TRUE(decode_into(hex, back));
    EXPECT_EQ(back.remote_host, std::string(80, 'h'));
}

TEST(RecordsBinary, TksServerListIsReplacedAndStopsAtShortFrame) {
    tks_ip_server_t s;
    s.mount_points = {{"x", "y"}, {"z", "w"}};
    // Three mount points announced, only one and a half present.
    EXPECT_FALSE(decode_into("01 68 35 08 01 6E 03 00 01 61 01 62 01 63", s));
    ASSERT_EQ(s.mount_points.size(), 1u);
    EXPECT_EQ(s.mount_points[0].name, "a");
    EXPECT_EQ(s.mount_points[0].desc, "b");
    EXPECT_EQ(s.host, "h");
    EXPECT_EQ(s.port, 2101);
}

// Each row changes the second of two equal records (a listener on 5017, without or with the
// remote-host flag).
TEST(RecordsBinary, NetPortInequalityIgnoresUnspecifiedParts) {
    const struct {
        const char* name;
        bool host_flag;
        void (*change)(net_port_cfg_t&);
        bool differs;
    } rows[] = {
        {"host, flag clear", false, [](net_port_cfg_t& c) { c.remote_host = "x"; }, false},
        {"host, flag set", true, [](net_port_cfg_t& c) { c.remote_host = "x"; }, true},
        {"protocol", false, [](net_port_cfg_t& c) { c.protocol = net_port_proto_udp; }, true},
        {"a specify flag", false, [](net_port_cfg_t& c) { c.specify_remote_port = true; }, true},
    };
    for (const auto& row : rows) {
        net_port_cfg_t a = tcp_listen_5017();
        a.specify_remote_host = row.host_flag;
        net_port_cfg_t b = a;
        row.change(b);
        EXPECT_EQ(a != b, row.differs) << row.name;
        EXPECT_EQ(a == b, !row.differs) << row.name;
    }
}

// ---- key/value forms

TEST(RecordsStore, KeysInTheirOrderAndBackAgain) {
    net_port_cfg_t net;
    net.enabled = true;
    net.protocol = net_port_proto_tcp_connect;
    net.specify_remote_port = net.specify_remote_host = true;
    net.remote_port = 2101;
    net.remote_host = "caster.example";
    net.local_port = 44;
    webmon_site_cfg_t site;
    site.site_id = 12;
    site.site_name = "Harbour";
    site.site_location = "Quay 3";
    site.site_ip_addr = 0xC0A80164;
    webmon_server_cfg_t server;
    server.ip_addr = 0x0A000001;
    server.port = 8080;
    coordSysId_t cs;
    cs.datum_id = "ED50";
    cs.zone_id = "31";

    KeelConfig cfg;
    net.set_cfg(cfg, "net_2_");
    site.set_cfg(cfg, "w_");
    server.set_cfg(cfg, "");
    cs.save(cfg, "cs_");
    EXPECT_EQ(tern_test::store_text(cfg),
              "net_2_protocol=tcp_connect\nnet_2_enabled=1\n"
              "net_2_specify_local_port=0\nnet_2_specify_remote_port=1\n"
              "net_2_specify_remote_host=1\nnet_2_remote_port=2101\n"
              "net_2_remote_host=caster.example\n"
              "w_webmon_site_id=12\nw_webmon_site_name=Harbour\n"
              "w_webmon_site_location=Quay 3\nw_webmon_site_ip_address=192.168.1.100\n"
              "webmon_server_ip_address=10.0.0.1\nwebmon_server_port=8080\n"
              "cs_datum_id=ED50\ncs_zone_id=31\n");

    net_port_cfg_t net_back;
    webmon_site_cfg_t site_back;
    webmon_server_cfg_t server_back;
    coordSysId_t cs_back;
    ASSERT_TRUE(net_back.load_cfg(cfg, "net_2_"));
    ASSERT_TRUE(site_back.load_cfg(cfg, "w_"));
    ASSERT_TRUE(server_back.load_cfg(cfg, ""));
    ASSERT_TRUE(cs_back.load(cfg, "cs_"));
    EXPECT_EQ(net_back, net);
    EXPECT_EQ(net_back.local_port, 0);
    EXPECT_EQ(site_back, site);
    EXPECT_EQ(server_back, server);
    EXPECT_EQ(cs_back, cs);
}

TEST(RecordsStore, NetPortLoadForcesProtocolFlags) {
    // UDP without any specify flag needs a remote peer; the remote port key is missing.
    KeelConfig cfg;
    cfg.setValue("p_protocol", "udp");
    cfg.setValue("p_enabled", "1");
    cfg.setValue("p_specify_local_port", "0");
    cfg.setValue("p_specify_remote_port", "0");
    cfg.setValue("p_specify_remote_host", "0");
    net_port_cfg_t c;
    EXPECT_FALSE(c.load_cfg(cfg, "p_"));
    EXPECT_TRUE(c.specify_remote_port);
    EXPECT_TRUE(c.specify_remote_host);
    EXPECT_TRUE(c.enabled);

    // TCP listening needs the local port and takes a 100-byte host only as its first 80.
    cfg.setValue("p_protocol", "tcp_listen");
    cfg.setValue("p_specify_remote_host", "1");
    cfg.setValue("p_local_port", "5017");
    cfg.setValue("p_remote_host", std::string(100, 'r'));
    net_port_cfg_t l;
    ASSERT_TRUE(l.load_cfg(cfg, "p_"));
    EXPECT_TRUE(l.specify_local_port);
    EXPECT_EQ(l.local_port, 5017);
    EXPECT_EQ(l.remote_host, std::string(80, 'r'));

    // Protocol texts are case-sensitive; an unknown one, or an unknown value, is UDP.
    EXPECT_STREQ(net_port_proto_to_string(net_port_proto_tcp_listen), "tcp_listen");
    EXPECT_STREQ(net_port_proto_to_string(net_port_proto_udp), "udp");
    EXPECT_EQ(net_port_proto_from_string("TCP_LISTEN"), net_port_proto_udp);
    EXPECT_STREQ(net_port_proto_to_string(static_cast<net_port_proto_t>(9)), "udp");
}

class NetPortLoad : public testing::TestWithParam<tern_test::case_t> {};

TEST_P(NetPortLoad, FailsWithOneKeyRemovedOrChanged) {
    const auto& c = GetParam().cols; // key, value ("-": none)
    KeelConfig cfg, broken;
    tcp_listen_5017().set_cfg(cfg, "p_");
    ASSERT_TRUE(net_port_cfg_t().load_cfg(cfg, "p_"));
    for (const auto& e : cfg.entries())
        if (e.key != c[0]) broken.setValue(e.key, e.value);
    if (c[1] != "-") broken.setValue(c[0], c[1]);
    EXPECT_FALSE(net_port_cfg_t().load_cfg(broken, "p_"));
}
TERN_CASES(RecordsStore, NetPortLoad, "msg/net_port_load.txt");

TEST(RecordsStore, WebmonAndCoordinateSystemLoadFailures) {
    // The site loads from any store: what is missing or bad is left at its reset value.
    KeelConfig cfg;
    webmon_site_cfg_t site;
    site.site_id = 4;
    site.site_name = "old";
    EXPECT_TRUE(site.load_cfg(cfg, "w_"));
    EXPECT_EQ(site, webmon_site_cfg_t());
    cfg.setValue("w_webmon_site_ip_address", "192.168.1.256");
    cfg.setValue("w_webmon_site_id", "300"); // beyond one byte: none, not another site
    cfg.setValue("w_webmon_site_location", "Quay 3");
    site.site_ip_addr = 9;
    EXPECT_TRUE(site.load_cfg(cfg, "w_"));
    EXPECT_EQ(site.site_ip_addr, 0u);
    EXPECT_EQ(site.site_id, -1);
    EXPECT_EQ(site.site_location, "Quay 3");

    // The server needs both keys; what was read before the failure stays.
    webmon_server_cfg_t server;
    EXPECT_FALSE(server.load_cfg(cfg, ""));
    cfg.setValue("webmon_server_ip_address", "10.0.0.1");
    EXPECT_FALSE(server.load_cfg(cfg, ""));
    EXPECT_EQ(server.ip_addr, 0x0A000001u);
    cfg.setValue("webmon_server_port", "8080");
    cfg.setValue("webmon_server_ip_address", "not an address");
    EXPECT_FALSE(server.load_cfg(cfg, ""));

    // A coordinate system loads only complete, else it is left as it was.
    coordSysId_t keep;
    keep.datum_id = "WGS84";
    keep.zone_id = "32N";
    cfg.setValue("cs_datum_id", "ED50");
    EXPECT_FALSE(keep.load(cfg, "cs_"));
    cfg.setValue("cs_zone_id", "");
    EXPECT_FALSE(keep.load(cfg, "cs_"));
    EXPECT_EQ(keep.datum_id, "WGS84");
    EXPECT_EQ(keep.zone_id, "32N");
}
