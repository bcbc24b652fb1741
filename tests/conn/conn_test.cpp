#include "support/conn_recorder.h"
#include "support/hex.h"

#include <tern/conn/conn.h>

#include <gtest/gtest.h>

#include <cstring>

using tern_test::conn_recorder_t;
using tern_test::from_hex;

namespace {

using bytes_t = std::vector<unsigned char>;

// Command 1/1 port 255, empty payload.
const char* const f_cmd = "02 04 00 01 00 FF 01 AA E1 03";
// Data 3/49 port 2, empty payload.
const char* const f_data49 = "02 04 00 31 00 02 03 9C 88 03";
// Position 3/10 port 2, 28 bytes.
const char* const f_pos = "02 16 00 0A 00 02 03 00 00 00 40 FC 54 D9 41 00 01 00 00 00 00 "
                          "00 00 F0 3F 98 AA 03";

// A connection fed by the test instead of a descriptor, one "read" per feed().
class fed_conn_t : public tern::conn_t {
public:
    bool send_msg(const tern::msg_t*) override { return true; }
    void feed(const bytes_t& b) {
        guard_t g(*this);
        if (check_overflow() || !g.alive()) return;
        const unsigned n = std::min<unsigned>(rxbuf.free_size(), static_cast<unsigned>(b.size()));
        std::memcpy(rxbuf.free_space(), b.data(), n);
        rxbuf.add(n);
        decode();
    }
};

struct fed_t {
    conn_recorder_t rec;
    fed_conn_t* conn = new fed_conn_t;
    explicit fed_t(unsigned bufsize = 2048) {
        rec.bufsize = bufsize;
        rec.conn.reset(conn);
        conn->start(&rec);
    }
};

} // namespace

TEST(Buf, GrowConsumeAndFreeSpace) {
    unsigned char mem[8];
    tern::buf_t wrapped(mem, sizeof mem);
    EXPECT_TRUE(wrapped.grow(4)); // less than wrapped: no change
    EXPECT_EQ(wrapped.capacity(), 8u);
    EXPECT_EQ(wrapped.data(), mem);
    EXPECT_FALSE(wrapped.grow(9));

    tern::buf_t b;
    EXPECT_EQ(b.free_space(), nullptr);
    ASSERT_TRUE(b.grow(6));
    std::memcpy(b.free_space(), "abcd", 4);
    b.add(4);
    ASSERT_TRUE(b.grow(10)); // keeps the valid bytes
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data()), b.len()), "abcd");
    EXPECT_EQ(b.free_size(), 6u);
    b.consume(1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data()), b.len()), "bcd");
    b.add(100); // clamped to capacity
    EXPECT_EQ(b.len(), 10u);
    EXPECT_EQ(b.free_space(), nullptr);
    EXPECT_EQ(b.free_size(), 0u);
    b.consume(10);
    EXPECT_EQ(b.len(), 0u);
    b.add(3);
    b.consume(7);
    EXPECT_EQ(b.len(), 0u);
}

TEST(ConnDecode, FramesGarbageAndTornReads) {
    const struct {
        const char* name;
        std::vector<std::string> reads; // hex, one read each (one per byte when bytewise)
        std::vector<std::string> events;
        unsigned left; // bytes waiting at the end
        bool bytewise = false;
    } cases[] = {
        {"garbage before", {std::string("41 42 00 FF 03 ") + f_cmd}, {"msg 1/1/255"}, 0},
        {"garbage between",
         {std::string(f_cmd) + " 03 41 7E " + f_data49},
         {"msg 1/1/255", "msg 3/49/2"},
         0},
        {"bad checksum then good",
         {"02 04 00 01 00 FF 01 AA E2 03 " + std::string(f_data49)},
         {"msg 3/49/2"},
         0},
        {"two and a half in one read",
         {std::string(f_cmd) + " " + f_data49 + " 02 16 00 0A 00 02 03 00 00 00"},
         {"msg 1/1/255", "msg 3/49/2"},
         10},
        {"half completed by the next read",
         {std::string(f_cmd) + " 02 16 00 0A 00 02 03 00 00 00",
          "40 FC 54 D9 41 00 01 00 00 00 00 00 00 F0 3F 98 AA 03 02 04"},
         {"msg 1/1/255", "msg 3/10/2"},
         2},
        {"garbage inside a frame resynchronises",
         {"02 16 00 0A 00 " + std::string(f_cmd) +
          " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
          "00 00 00 00 00 00 00 00"},
         {"msg 1/1/255"},
         0},
        {"one byte at a time",
         {std::string(f_pos) + " " + f_cmd},
         {"msg 3/10/2", "msg 1/1/255"},
         0,
         true},
    };
    for (const auto& c : cases) {
        fed_t f;
        for (const auto& r : c.reads) {
            if (!c.bytewise) f.conn->feed(from_hex(r));
            for (unsigned char b : c.bytewise ? from_hex(r) : bytes_t()) f.conn->feed(bytes_t{b});
        }
        EXPECT_EQ(f.rec.events, c.events) << c.name;
        EXPECT_EQ(f.conn->get_rxbuf().len(), c.left) << c.name;
    }
}

// Deleting on the first message is covered on every transport; here the overflow path.
TEST(ConnDecode, ClientMayDeleteTheConnectionOnAnOverflow) {
    fed_t g(16);
    g.rec.close_on_fault = true;
    g.conn->feed(bytes_t(16, 0x02));
    g.conn->feed(from_hex(f_cmd));
    EXPECT_EQ(g.rec.events, (std::vector<std::string>{"err: buffer overflow"}));
    EXPECT_EQ(g.rec.conn, nullptr);
}

TEST(ConnGlobals, DefaultAndSendConnectionForgetDeletedConnections) {
    auto* a = new fed_conn_t;
    EXPECT_EQ(tern::conn_t::set_default(a), nullptr);
    EXPECT_EQ(tern::conn_t::get_default(), a);
    tern::msg_t m(tern::msg_t::category_cmd, 1);

    EXPECT_EQ(tern::set_send_msg_conn(nullptr), nullptr);
    EXPECT_FALSE(tern::send_msg(&m));
    EXPECT_TRUE(tern::send_msg_dropped());
    EXPECT_EQ(tern::set_send_msg_conn(a), nullptr);
    EXPECT_FALSE(tern::send_msg_dropped()); // reset by setting
    EXPECT_TRUE(tern::send_msg(&m));
    EXPECT_FALSE(tern::send_msg_dropped());

    delete a;
    EXPECT_EQ(tern::conn_t::get_default(), nullptr);
    EXPECT_FALSE(tern::send_msg(&m)); // dropped, not sent through a deleted object
    EXPECT_EQ(tern::set_send_msg_conn(nullptr), nullptr);
}
