// The output builder: builder order, the signal, raw feedback, raw pass-through without a
// copy, resets, and what must never reach the wire.
#include <tern/data/outputDataCache.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/output/outputBuilder.h>

#include <gtest/gtest.h>

#include <limits>
#include <memory>

using namespace tern;

namespace {

constexpr double T = 1700000000.0;

struct list_t {
    outputBuilder_t::msgList_t msgs;
    ~list_t() {
        for (msg_t* m : msgs) delete m;
    }
    // Sentences and feedback in order: "S:<text>", "A<kind>:<text>", "B<kind>:<count>".
    std::vector<std::string> take() {
        std::vector<std::string> v;
        for (msg_t* m : msgs) {
            if (auto* c = dynamic_cast<cmd_device_write_t*>(m))
                v.push_back("S:" + std::string(reinterpret_cast<const char*>(c->write_data()),
                                               c->write_len()));
            else if (auto* a = dynamic_cast<fb_raw_ascii_t*>(m))
                v.push_back("A" + std::to_string(a->raw_type) + ":" + a->text);
            else if (auto* b = dynamic_cast<fb_raw_binary_t*>(m))
                v.push_back("B" + std::to_string(b->raw_type) + ":" + std::to_string(b->count));
            delete m;
        }
        msgs.clear();
        return v;
    }
};

data_heading_t heading(double t) {
    data_heading_t h;
    h.utc_tstamp = t;
    return h;
}

output_cfg_t only(bool output_cfg_t::*flag) {
    output_cfg_t c;
    c.output_gga = c.output_vtg = false;
    c.*flag = true;
    return c;
}

} // namespace

TEST(OutputBuilder, BuildersRunInTheirOrderAndFeedbackFollowsEachSentence) {
    outputBuilder_t ob;
    output_cfg_t c = only(&output_cfg_t::output_hdt);
    c.output_ths = c.output_zda = true;
    ob.setConfig(c);
    rawMsgSet_t fb;
    fb.insert(raw_hdt);
    fb.insert(raw_zda);
    ob.setRawFbSet(fb);
    std::vector<std::size_t> seen; // the list's size when the signal fires
    ob.messageGeneratedSignal().connect(
        [&](const cmd_device_write_t&, outputBuilder_t::msgList_t& l) {
            seen.push_back(l.size());
        });
    list_t out;
    ob.handleDataMessage(heading(T), out.msgs);
    EXPECT_EQ(out.take(),
              (std::vector<std::string>{"S:$HDHDT,0.000,T*2E\r\n", "A7:$HDHDT,0.000,T*2E\r\n",
                                        "S:$GPTHS,0.000,A*37\r\n",
                                        "S:$GPZDA,221320.00,14,11,2023,00,00*60\r\n",
                                        "A13:$GPZDA,221320.00,14,11,2023,00,00*60\r\n"}));
    EXPECT_EQ(seen, (std::vector<std::size_t>{0, 2, 3}));
}

TEST(OutputBuilder, GpsPortChangeResetsOtherChangesKeepState) {
    outputBuilder_t ob;
    output_cfg_t c = only(&output_cfg_t::output_hdt);
    ob.setConfig(c);
    list_t out;
    ob.handleDataMessage(heading(T), out.msgs);
    EXPECT_EQ(out.take().size(), 1u);
    c.strict_nmea = true;
    ob.setConfig(c);
    ob.handleDataMessage(heading(T), out.msgs);
    EXPECT_TRUE(out.take().empty()) << "same stamp, state kept";
    c.gps_port = 3;
    ob.setConfig(c);
    EXPECT_EQ(ob.cache().heading().utc_tstamp, 0.0);
    ob.handleDataMessage(heading(T), out.msgs);
    EXPECT_EQ(out.take(), (std::vector<std::string>{"S:$HDHDT,0.0,T*2E\r\n"}));
}

TEST(OutputBuilder, RawDataSharesTheBufferOnlyForItsFlag) {
    outputBuilder_t ob;
    output_cfg_t c;
    c.output_raw_orsk_meas = c.output_rtcm = true;
    ob.setConfig(c);
    ob.setRawFbSet(rawMsgSet_t(true));
    const struct {
        rawMsgType_t type;
        bool passed;
    } rows[] = {{raw_orsk_meas, true}, {raw_rtcm, true},
                {raw_orsk_pvt, false}, {raw_pternr_sats, false},
                {raw_tss1, false},     {static_cast<rawMsgType_t>(41), false}};
    for (const auto& r : rows) {
        data_device_raw_t raw(r.type, "\xB5\x62\x01", 3);
        list_t out;
        ob.handleDataMessage(raw, out.msgs);
        if (!r.passed) {
            EXPECT_TRUE(out.msgs.empty()) << int(r.type);
            continue;
        }
        ASSERT_EQ(out.msgs.size(), 2u);
        auto* cmd = dynamic_cast<cmd_device_write_t*>(out.msgs.front());
        ASSERT_NE(cmd, nullptr);
        EXPECT_EQ(cmd->ext_buf(), raw.buf()) << "no copy";
        EXPECT_EQ(raw.buf()->ref_cnt(), 2);
        EXPECT_EQ(cmd->write_len(), 3u);
        EXPECT_EQ(out.take()[1], "B" + std::to_string(r.type) + ":3");
        EXPECT_EQ(raw.buf()->ref_cnt(), 1);
    }
    data_device_raw_t empty(raw_rtcm, "", 0);
    list_t out;
    ob.handleDataMessage(empty, out.msgs);
    EXPECT_TRUE(out.msgs.empty());
    EXPECT_EQ(ob.cache().lastMessageType(), 0u) << "raw data never reaches the cache";
}

TEST(OutputBuilder, NoSentenceFromAStampThatIsNotATime) {
    outputBuilder_t ob;
    output_cfg_t c = only(&output_cfg_t::output_hdt);
    c.output_zda = c.output_rmc = true;
    ob.setConfig(c);
    list_t out;
    for (double t :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        ob.handleDataMessage(heading(t), out.msgs);
        data_pos_t p;
        p.utc_tstamp = t;
        ob.handleDataMessage(p, out.msgs);
        EXPECT_TRUE(out.take().empty());
    }
}

TEST(OutputBuilder, ASentenceThatDoesNotFitIsDroppedWhole) {
    outputBuilder_t ob;
    output_cfg_t c = only(&output_cfg_t::output_dtm);
    ob.setConfig(c);
    list_t out;
    data_datum_t d;
    d.utc_tstamp = T;
    d.mask = data_datum_t::datum_local_subdivision;
    d.localDatumSubdivision.assign(1006, 'x'); // 1020 bytes of body: the tail no longer fits
    ob.handleDataMessage(d, out.msgs);
    EXPECT_TRUE(out.take().empty());
    d.utc_tstamp = T + 1;
    d.localDatumSubdivision.assign(1005, 'x'); // exactly 1024 with its tail
    ob.handleDataMessage(d, out.msgs);
    const auto s = out.take();
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].size(), 2u + 1024u);
    EXPECT_EQ(s[0].substr(s[0].size() - 5), "*32\r\n");
    EXPECT_EQ(s[0].substr(s[0].size() - 12, 7), "x,,,,,,");
}
