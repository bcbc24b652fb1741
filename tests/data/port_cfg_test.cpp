#include <tern/data/port_cfg.h>

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

#include <sstream>

using namespace tern;

namespace {

port_cfg_t odd_port() {
    port_cfg_t p;
    p.baud = 4800;
    p.data_bits = char_size_7;
    p.parity = parity_even;
    p.stop_bits = stop_bits_2;
    p.flow_control = flow_tern;
    p.serial_device = "/dev/ttyS3";
    p.use_rts = true;
    return p;
}

KeelConfig without(const KeelConfig& from, const std::string& key) {
    KeelConfig out;
    for (const ConfigEntry& e : from.entries())
        if (e.key != key) out.setValue(e.key, e.value);
    return out;
}

template <class E>
unsigned parse(const std::string& text) {
    E v = static_cast<E>(77);
    text >> v;
    return static_cast<unsigned>(v);
}

} // namespace

TEST(PortCfg, StoresEveryKeyAsTextInOrder) {
    KeelConfig store;
    odd_port().set_cfg("ternorsk", port_config_prefix(3), store);
    std::string text;
    for (const ConfigEntry& e : store.entries()) text += e.key + '=' + e.value + '\n';
    EXPECT_EQ(text,
              "port_3_serial_device=/dev/ttyS3\nport_3_device_type=ternorsk\nport_3_baud=4800\n"
              "port_3_data_bits=7\nport_3_parity=even\nport_3_stop_bits=2\n"
              "port_3_flow_control=tern\nport_3_use_rts=1\n");

    port_cfg_t back;
    std::string type;
    ASSERT_TRUE(back.load_cfg(store, "port_3_", type));
    EXPECT_EQ(type, "ternorsk");
    EXPECT_EQ(back, odd_port());
}

// A store missing one key: every key before the gap is read, the rest left alone, and the load
// fails; only "use_rts" (absent from older files) may be missing, and then reads as off.
TEST(PortCfg, LoadStopsAtTheFirstMissingKey) {
    KeelConfig full;
    odd_port().set_cfg("tss", "p_", full);
    const struct {
        const char* missing;
        bool ok;
        const char* after; // serial|type|baud|data bits|parity|stop bits|flow|use_rts
    } rows[] = {
        {"serial_device", false, "|old|115200|8|none|1|none|1"},
        {"device_type", false, "/dev/ttyS3|old|115200|8|none|1|none|1"},
        {"baud", false, "/dev/ttyS3|tss|115200|8|none|1|none|1"},
        {"data_bits", false, "/dev/ttyS3|tss|4800|8|none|1|none|1"},
        {"parity", false, "/dev/ttyS3|tss|4800|7|none|1|none|1"},
        {"stop_bits", false, "/dev/ttyS3|tss|4800|7|even|1|none|1"},
        {"flow_control", false, "/dev/ttyS3|tss|4800|7|even|2|none|1"},
        {"use_rts", true, "/dev/ttyS3|tss|4800|7|even|2|tern|0"},
    };
    for (const auto& r : rows) {
        KeelConfig store = without(full, std::string("p_") + r.missing);
        ASSERT_EQ(store.size(), 7u);
        port_cfg_t p;
        p.use_rts = true;
        std::string type = "old";
        EXPECT_EQ(p.load_cfg(store, "p_", type), r.ok) << r.missing;
        std::ostringstream os;
        os << p.serial_device << '|' << type << '|' << p.baud << '|' << p.data_bits << '|'
           << p.parity << '|' << p.stop_bits << '|' << p.flow_control << '|' << p.use_rts;
        EXPECT_EQ(os.str(), r.after) << r.missing;
    }
}

TEST(PortCfg, EqualityIgnoresTheDeviceName) {
    port_cfg_t a = odd_port(), b = odd_port();
    b.serial_device = "/dev/ttyUSB0";
    EXPECT_EQ(a, b);
    b.use_rts = false;
    EXPECT_NE(a, b);
}

TEST(PortCfg, UnknownTextsReadAsTheDefault) {
    EXPECT_EQ(parse<char_size_t>("5"), 1u);
    EXPECT_EQ(parse<parity_t>("mark"), 0u);
    EXPECT_EQ(parse<parity_t>("EVEN"), 0u);
    EXPECT_EQ(parse<stop_bits_t>("1.5"), 0u);
    EXPECT_EQ(parse<flow_t>("rtscts"), 0u);
    std::ostringstream os;
    os << static_cast<parity_t>(9) << ' ' << static_cast<char_size_t>(4) << ' ' << port_locked;
    EXPECT_EQ(os.str(), "none 8 1");
}
