#include <tern/msg/records.h>

#include "support/codec.h"
#include "support/hex.h"

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace tern;
using tern_test::decode_into;
using tern_test::from_hex;
using tern_test::payload_of;
using tern_test::to_hex;

namespace {

// The payload of a default record of type R after `fill`.
template <class R>
std::string enc(const std::function<void(R&)>& fill) {
    R r;
    fill(r);
    return payload_of(r);
}

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
    const struct {
        const char* name;
        std::string got;
        const char* hex;
    } rows[] = {
        // clang-format off
        {"net_port tcp listen", payload_of(tcp_listen_5017()), "03 01 99 13"},
        {"coordinate system", enc<coordSysId_t>([](auto& c) { c.datum_id = "WGS84"; c.zone_id = "31N"; }),
         "05 57 47 53 38 34 03 33 31 4E"},
        // clang-format on
    };
    for (const auto& row : rows) EXPECT_EQ(row.got, to_hex(from_hex(row.hex))) << row.name;
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

TEST(RecordsBinary, NetPortInequalityIgnoresUnspecifiedParts) {
    using change_t = std::function<void(net_port_cfg_t&)>;
    const change_t nothing = [](net_port_cfg_t&) {};
    struct row_t {
        const char* name;
        change_t both;   // applied to both records first
        change_t change; // then to the second only
        bool differs;
    };
    const std::vector<row_t> rows = {
        {"host, flag clear", nothing, [](net_port_cfg_t& c) { c.remote_host = "x"; }, false},
        {"remote port, flag clear", nothing, [](net_port_cfg_t& c) { c.remote_port = 9; }, false},
        {"local port, flag set", nothing, [](net_port_cfg_t& c) { c.local_port = 9; }, true},
        {"host, flag set", [](net_port_cfg_t& c) { c.specify_remote_host = true; },
         [](net_port_cfg_t& c) { c.remote_host = "x"; }, true},
        {"protocol", nothing, [](net_port_cfg_t& c) { c.protocol = net_port_proto_udp; }, true},
        {"enabled", nothing, [](net_port_cfg_t& c) { c.enabled = false; }, true},
        {"a specify flag", nothing, [](net_port_cfg_t& c) { c.specify_remote_port = true; }, true},
    };
    for (const auto& row : rows) {
        net_port_cfg_t a = tcp_listen_5017();
        row.both(a);
        net_port_cfg_t b = a;
        row.change(b);
        EXPECT_EQ(a != b, row.differs) << row.name;
        EXPECT_EQ(a == b, !row.differs) << row.name;
    }
}

TEST(RecordsText, ProtocolTexts) {
    const std::pair<net_port_proto_t, const char*> protos[] = {
        {net_port_proto_udp, "udp"},
        {net_port_proto_tcp_listen, "tcp_listen"},
        {net_port_proto_tcp_connect, "tcp_connect"}};
    for (const auto& [p, text] : protos) {
        EXPECT_STREQ(net_port_proto_to_string(p), text);
        EXPECT_EQ(net_port_proto_from_string(text), p);
    }
    // Unknown values and texts (the case counts) are UDP.
    EXPECT_STREQ(net_port_proto_to_string(static_cast<net_port_proto_t>(9)), "udp");
    EXPECT_EQ(net_port_proto_from_string("TCP_LISTEN"), net_port_proto_udp);
}

// ---- key/value forms

namespace {
std::string value_of(const KeelConfig& cfg, const std::string& key) {
    KeelConfig::const_iterator it;
    return cfg.find(key, it) ? it->value : std::string("<missing>");
}
} // namespace

TEST(RecordsStore, NetPortRoundTripWritesOnlySpecifiedParts) {
    net_port_cfg_t c;
    c.enabled = true;
    c.protocol = net_port_proto_tcp_connect;
    c.specify_remote_port = c.specify_remote_host = true;
    c.remote_port = 2101;
    c.remote_host = "caster.example";
    c.local_port = 44;
    KeelConfig cfg;
    c.set_cfg(cfg, "net_2_");
    EXPECT_EQ(value_of(cfg, "net_2_protocol"), "tcp_connect");
    EXPECT_EQ(value_of(cfg, "net_2_remote_port"), "2101");
    EXPECT_EQ(value_of(cfg, "net_2_remote_host"), "caster.example");
    EXPECT_EQ(value_of(cfg, "net_2_local_port"), "<missing>");
    EXPECT_EQ(cfg.entries().front().key, "net_2_protocol");

    net_port_cfg_t back;
    ASSERT_TRUE(back.load_cfg(cfg, "net_2_"));
    EXPECT_EQ(back, c);
    EXPECT_EQ(back.local_port, 0);
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
}

TEST(RecordsStore, NetPortLoadFailures) {
    struct row_t {
        const char* name;
        const char* key;
        const char* value; // nullptr: remove the key
    };
    const std::vector<row_t> rows = {
        {"enabled missing", "p_enabled", nullptr},
        {"protocol missing", "p_protocol", nullptr},
        {"port not a number", "p_local_port", "50a"},
        {"port beyond 16 bits", "p_local_port", "65536"},
        {"flag not a bool", "p_specify_local_port", "maybe"},
    };
    for (const auto& row : rows) {
        KeelConfig cfg;
        tcp_listen_5017().set_cfg(cfg, "p_");
        net_port_cfg_t ok;
        ASSERT_TRUE(ok.load_cfg(cfg, "p_")) << row.name;
        KeelConfig broken;
        for (const auto& e : cfg.entries())
            if (e.key != row.key) broken.setValue(e.key, e.value);
        if (row.value) broken.setValue(row.key, row.value);
        net_port_cfg_t c;
        EXPECT_FALSE(c.load_cfg(broken, "p_")) << row.name;
    }
}

TEST(RecordsStore, WebmonSite) {
    KeelConfig empty;
    webmon_site_cfg_t s;
    s.site_id = 4;
    s.site_name = "old";
    s.site_ip_addr = 9;
    EXPECT_TRUE(s.load_cfg(empty, "w_"));
    EXPECT_EQ(s, webmon_site_cfg_t());

    s.site_id = 12;
    s.site_name = "Harbour";
    s.site_location = "Quay 3";
    s.site_ip_addr = 0xC0A80164;
    KeelConfig cfg;
    s.set_cfg(cfg, "w_");
    EXPECT_EQ(value_of(cfg, "w_webmon_site_id"), "12");
    EXPECT_EQ(value_of(cfg, "w_webmon_site_ip_address"), "192.168.1.100");
    webmon_site_cfg_t back;
    EXPECT_TRUE(back.load_cfg(cfg, "w_"));
    EXPECT_EQ(back, s);

    // An address that does not parse gives 0; an id beyond one byte gives none.
    cfg.setValue("w_webmon_site_ip_address", "192.168.1.256");
    cfg.setValue("w_webmon_site_id", "300");
    EXPECT_TRUE(back.load_cfg(cfg, "w_"));
    EXPECT_EQ(back.site_ip_addr, 0u);
    EXPECT_EQ(back.site_id, -1);
    EXPECT_EQ(back.site_location, "Quay 3");
}

TEST(RecordsStore, WebmonServer) {
    KeelConfig cfg;
    webmon_server_cfg_t s;
    EXPECT_FALSE(s.load_cfg(cfg, ""));

    s.ip_addr = 0x0A000001;
    s.port = 8080;
    s.set_cfg(cfg, "");
    EXPECT_EQ(value_of(cfg, "webmon_server_ip_address"), "10.0.0.1");
    EXPECT_EQ(value_of(cfg, "webmon_server_port"), "8080");
    webmon_server_cfg_t back;
    EXPECT_TRUE(back.load_cfg(cfg, ""));
    EXPECT_EQ(back, s);

    KeelConfig no_port;
    no_port.setValue("webmon_server_ip_address", "10.0.0.1");
    EXPECT_FALSE(back.load_cfg(no_port, ""));
    EXPECT_EQ(back.ip_addr, 0x0A000001u); // fields read so far stay

    cfg.setValue("webmon_server_ip_address", "not an address");
    EXPECT_FALSE(back.load_cfg(cfg, ""));
}

TEST(RecordsStore, CoordSysIdLoadsOnlyComplete) {
    coordSysId_t id;
    id.datum_id = "ED50";
    id.zone_id = "31";
    KeelConfig cfg;
    id.save(cfg, "cs_");
    EXPECT_EQ(value_of(cfg, "cs_datum_id"), "ED50");
    EXPECT_EQ(value_of(cfg, "cs_zone_id"), "31");

    coordSysId_t keep;
    keep.datum_id = "WGS84";
    keep.zone_id = "32N";
    cfg.setValue("cs_zone_id", "");
    EXPECT_FALSE(keep.load(cfg, "cs_"));
    EXPECT_EQ(keep.datum_id, "WGS84");
    EXPECT_EQ(keep.zone_id, "32N");

    KeelConfig only_datum;
    only_datum.setValue("cs_datum_id", "ED50");
    EXPECT_FALSE(keep.load(only_datum, "cs_"));
    EXPECT_TRUE(keep.isValid());

    cfg.setValue("cs_zone_id", "31");
    EXPECT_TRUE(keep.load(cfg, "cs_"));
    EXPECT_EQ(keep, id);
}
