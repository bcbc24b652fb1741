#include <tern/conn/net_addr.h>

#include "support/text.h"

#include <gtest/gtest.h>

#include <sstream>

using tern_test::text_of;

TEST(NetAddr, AddressParsing) {
    const struct {
        const char* text;
        bool ok;
        unsigned addr;
    } rows[] = {
        {"10.0.0.1", true, 0x0A000001u},
        {"255.255.255.255", true, 0xFFFFFFFFu},
        {"010.000.000.001", true, 0x0A000001u},
        {"10.0.0.1x", true, 0x0A000001u}, // trailing text is not examined
        {"10.0.0.1.9", true, 0x0A000001u},
        {"192.168.1.256", false, 0},
        {"1.2.3", false, 0},
        {"1..2.3", false, 0},
        {"a.b.c.d", false, 0},
        {"", false, 0},
        {"-1.2.3.4", false, 0},
        {"1.2.3.99999999999", false, 0},
    };
    for (const auto& r : rows) {
        unsigned addr = 0xDEADBEEF;
        EXPECT_EQ(ip_addr_from_str(r.text, addr), r.ok) << r.text;
        EXPECT_EQ(addr, r.ok ? r.addr : 0xDEADBEEF) << r.text;
    }
    unsigned addr = 1;
    EXPECT_FALSE(ip_addr_from_str(nullptr, addr));
}

TEST(NetAddr, PortParsing) {
    const struct {
        const char* text;
        bool ok;
        unsigned short port;
    } rows[] = {
        {"0", true, 0},       {"65535", true, 65535},
        {"7654", true, 7654}, {"65536", false, 0},
        {"80a", false, 0},    {"", false, 0},
        {" 80", false, 0},    {"-1", false, 0},
        {"+80", false, 0},    {"99999999999999999999999", false, 0},
    };
    for (const auto& r : rows) {
        unsigned short port = 4242;
        EXPECT_EQ(ip_port_from_str(r.text, port), r.ok) << r.text;
        EXPECT_EQ(port, r.ok ? r.port : 4242) << r.text;
    }
}

TEST(NetAddr, Printing) {
    EXPECT_EQ(text_of(ipaddr_str_t(net_addr_loopback())), "127.0.0.1");
    EXPECT_EQ(text_of(ipaddr_str_t(0x0A000001u, true)), "010.000.000.001");
    EXPECT_EQ(text_of(ipaddr_str_t(net_addr_any())), "0.0.0.0");
    EXPECT_EQ(text_of(hostport_str_t(0xC0A80164u, 5017)), "192.168.1.100:5017");

    // The caller's stream settings neither change the text nor get changed.
    std::ostringstream os;
    os.fill('*');
    os << std::hex << ipaddr_str_t(0xC0A8010Au, true) << ' ' << hostport_str_t(0x0A000001u, 255);
    EXPECT_EQ(os.str(), "192.168.001.010 10.0.0.1:255");
    EXPECT_EQ(os.fill(), '*');
}

TEST(NetAddr, TrimFatAddress) {
    const char* const rows[][2] = {
        {"000.000.000.000", "0.0.0.0"},    {"192.168.001.100", "192.168.1.100"},
        {"010.000.000.001", "10.0.0.1"},   {"10.0.0.1", "10.0.0.1"},
        {"100.020.003.000", "100.20.3.0"},
    };
    for (const auto& r : rows) {
        std::string out = ">";
        trim_fat_addr_string(r[0], out);
        EXPECT_EQ(out, std::string(">") + r[1]) << r[0];
    }
}
