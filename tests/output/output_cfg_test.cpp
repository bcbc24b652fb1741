// The output settings: their record on the wire and in the settings store, and the sentence
// streams each configuration gives.
#include <tern/msg/catalogue.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/msg.h>
#include <tern/output/outputBuilder.h>
#include <tern/output/output_cfg.h>

#include "support/codec.h"
#include "support/scratch.h"
#include "support/text.h"

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

#include <memory>

using namespace tern;
using tern_test::decode_into;
using tern_test::payload_of;
using tern_test::temp_dir_t;

namespace {

output_cfg_t decode(const std::string& hex) {
    output_cfg_t v;
    EXPECT_TRUE(decode_into(hex, v));
    return v;
}

KeelConfig without(const KeelConfig& from, std::initializer_list<const char*> keys) {
    KeelConfig out;
    for (const ConfigEntry& e : from.entries()) {
        bool drop = false;
        for (const char* k : keys) drop = drop || e.key == k;
        if (!drop) out.setValue(e.key, e.value);
    }
    return out;
}

const std::string default_payload = "00 00 00 00 01 00 00 A0 40 00 00 C0 3F 05 2C 01" // dpgga
                                    " 00 00 00 00 00 01"                              // hehdt, ttm
                                    " FF 01"                   // gps_port, nmea_version
                                    " 01 01 00 00 00 00 00 00" // flags: gga, vtg
                                    " 00 01 01";               // talker, ref type, quality

using C = output_cfg_t;
// The flags in the order of their bits on the wire; bits 14 and 17 are unused.
// clang-format off
const std::vector<bool C::*> flag_bits = {
    &C::output_gga, &C::output_gll, &C::output_gns, &C::output_gsa, &C::output_gst,
    &C::output_gsv, &C::output_hdt, &C::output_rmc, &C::output_vtg, &C::output_zda,
    &C::output_pternr_navq, &C::output_pternr_rxq, &C::output_pternr_sats, &C::output_rtcm,
    nullptr, &C::output_dpgga, &C::strict_nmea, nullptr, &C::output_raw_lumo_ephem,
    &C::output_raw_lumo_meas, &C::output_raw_lumo_pvt, &C::output_raw_vardi_alm,
    &C::output_raw_vardi_ephem, &C::output_raw_vardi_meas, &C::output_raw_vardi_pvt,
    &C::output_raw_orsk_alm, &C::output_raw_orsk_ephem, &C::output_raw_orsk_meas,
    &C::output_raw_orsk_pvt, &C::output_hehdt, &C::output_ttm, &C::output_dtm, &C::output_tss1,
    &C::output_rot, &C::output_ths, &C::output_raw_rimba_alm, &C::output_raw_rimba_ephem,
    &C::output_raw_rimba_meas1, &C::output_raw_rimba_meas3, &C::output_raw_rimba_pvt,
    &C::output_raw_ddktessa_pvt, &C::output_raw_ternquill_pvt,
};
// clang-format on

// A record with no field at its default.
output_cfg_t odd_cfg() {
    output_cfg_t c;
    c.dpgga_cfg.prefix = dpgga_prefix_in;
    c.dpgga_cfg.fix_mode_max = c.dpgga_cfg.station_id_limit = c.dpgga_cfg.filter_enable = true;
    c.dpgga_cfg.use_pseudo_range_stats = false;
    c.dpgga_cfg.max_hdop = 2.25f;
    c.dpgga_cfg.max_error = 0.1f;
    c.dpgga_cfg.min_sats = 9;
    c.dpgga_cfg.min_3D_time = 65535;
    c.hehdt_cfg.prefix = hehdt_cfg_t::prefix_in;
    c.ttm_cfg.target_num = 4000000000u;
    c.ttm_cfg.range_uses_vertical = false;
    c.gps_port = 12;
    c.nmea_version = nmea_version_2_1;
    c.setFlagBits(0x2A5A5A5A5A5ull);
    c.force_talker = force_talker_gl;
    c.gga_ref_type = gga_ref_qvt;
    c.gga_quality = gga_quality_as_5;
    return c;
}

} // namespace

TEST(OutputCfgCodec, GoldenRecords) {
    EXPECT_EQ(payload_of(output_cfg_t()), default_payload);
    EXPECT_EQ(decode(default_payload), output_cfg_t());
    const std::string odd = "03 01 01 01 00 00 00 10 40 CD CC CC 3D 09 FF FF 02 00 28 6B EE 00"
                            " 0C 00 A5 A5 A5 A5 A5 02 00 00 03 00 02";
    EXPECT_EQ(payload_of(odd_cfg()), odd);
    EXPECT_EQ(decode(odd), odd_cfg());
}

TEST(OutputCfgCodec, EachFlagTravelsInItsBitAndUnusedBitsAreDropped) {
    for (unsigned bit = 0; bit < flag_bits.size(); ++bit) {
        if (!flag_bits[bit]) continue;
        output_cfg_t c;
        c.setFlagBits(0);
        c.*flag_bits[bit] = true;
        EXPECT_EQ(c.flagBits(), 1ull << bit) << "bit " << bit;
        EXPECT_EQ(decode(payload_of(c)).flagBits(), 1ull << bit) << "bit " << bit;
    }
    std::string ones = default_payload;
    ones.replace(ones.find("01 01 00 00 00 00 00 00"), 23, "FF FF FF FF FF FF FF FF");
    const output_cfg_t got = decode(ones);
    for (unsigned bit = 0; bit < flag_bits.size(); ++bit) {
        EXPECT_TRUE(!flag_bits[bit] || got.*flag_bits[bit]) << "bit " << bit;
    }
    EXPECT_NE(payload_of(got).find(" FF BF FD FF FF 03 00 00 "), std::string::npos);
}

TEST(OutputCfgStore, WritesEveryFieldAsTextInOrder) {
    KeelConfig store;
    odd_cfg().set_cfg(store, "o_");
    EXPECT_EQ(tern_test::store_text(store),
              temp_dir_t::read(TERN_TEST_DATA_DIR "/output/odd_settings.txt"));
    output_cfg_t back;
    ASSERT_TRUE(back.load_cfg(store, "o_"));
    EXPECT_EQ(back, odd_cfg());
}

TEST(OutputCfgStore, MissingOptionalKeysAndOddTexts) {
    KeelConfig full;
    odd_cfg().set_cfg(full, "");
    KeelConfig store = without(full, {"output_gga", "gps_port", "force_talker", "gga_ref_type",
                                      "gga_quality", "hehdt_cfg_prefix", "ttm_cfg_target_num"});
    output_cfg_t got = odd_cfg();
    got.hehdt_cfg.prefix = hehdt_cfg_t::prefix_gp;
    got.ttm_cfg.target_num = 17;
    got.output_gga = true;
    store.setValue("dpgga_cfg_prefix", "XX");
    store.setValue("dpgga_cfg_min_sats", "300");
    store.setValue("dpgga_cfg_min_3D_time", "65537");
    ASSERT_TRUE(got.load_cfg(store, ""));
    EXPECT_EQ(got.dpgga_cfg.prefix, dpgga_prefix_dp);
    EXPECT_EQ(got.dpgga_cfg.min_sats, 44); // narrowed
    EXPECT_EQ(got.dpgga_cfg.min_3D_time, 1);
    EXPECT_FALSE(got.output_gga); // off, not the default on
    EXPECT_EQ(got.gps_port, -1);
    EXPECT_EQ(got.force_talker, force_talker_none);
    EXPECT_EQ(got.gga_ref_type, gga_ref_nmea);
    EXPECT_EQ(got.gga_quality, gga_quality_as_reported);
    EXPECT_EQ(got.hehdt_cfg.prefix, hehdt_cfg_t::prefix_gp); // unchanged
    EXPECT_EQ(got.ttm_cfg.target_num, 17u);                  // unchanged
}

TEST(OutputCfgStore, RequiredKeysEndTheLoadAfterEarlierFieldsWereTaken) {
    KeelConfig full;
    odd_cfg().set_cfg(full, "p_");
    KeelConfig no_version = without(full, {"p_nmea_version"});
    output_cfg_t a;
    EXPECT_FALSE(a.load_cfg(no_version, "p_"));
    EXPECT_EQ(a.ttm_cfg, odd_cfg().ttm_cfg);
    EXPECT_EQ(a.gps_port, 12);
    EXPECT_TRUE(a.output_gga); // not reached

    KeelConfig no_strict = without(full, {"p_strict_nmea"});
    output_cfg_t b;
    EXPECT_FALSE(b.load_cfg(no_strict, "p_"));
    EXPECT_EQ(b.nmea_version, nmea_version_2_1);

    KeelConfig no_3d = without(full, {"p_dpgga_cfg_min_3D_time"});
    output_cfg_t c;
    EXPECT_FALSE(c.load_cfg(no_3d, "p_"));
    EXPECT_EQ(c.dpgga_cfg.min_sats, 9);
    EXPECT_EQ(c.dpgga_cfg.min_3D_time, 300);
    EXPECT_FLOAT_EQ(c.dpgga_cfg.max_error, 1.5f);
}

// ---- A recorded-style stream of frames (garbage and a torn frame included) through the output
// builder in every configuration that matters, compared byte for byte with the sentence
// streams kept in tests/golden/output.
namespace {

const std::string dir = TERN_TEST_DATA_DIR "/output/";

// The sentences of the golden frame stream under `cfg`.
std::string run(const output_cfg_t& cfg) {
    const std::string bytes = temp_dir_t::read(dir + "epochs.bin");
    EXPECT_GT(bytes.size(), 10000u);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    unsigned int left = static_cast<unsigned int>(bytes.size());
    outputBuilder_t ob;
    ob.setConfig(cfg);
    outputBuilder_t::msgList_t out;
    std::string text;
    msg_decoder_t dec;
    while (left > 0) {
        unsigned int used = dec.decode_init(p, left);
        if (used == 0) break; // the torn frame at the end
        if (dec.is_valid()) {
            const std::unique_ptr<msg_t> m = create_msg(dec);
            if (const auto* d = dynamic_cast<const data_msg_t*>(m.get()))
                ob.handleDataMessage(*d, out);
        }
        p += used;
        left -= used;
    }
    for (msg_t* m : out) {
        if (auto* c = dynamic_cast<cmd_device_write_t*>(m))
            text.append(reinterpret_cast<const char*>(c->write_data()), c->write_len());
        delete m;
    }
    return text;
}

struct golden_t {
    const char* name;
    const char* prefix;
};

class GoldenStream : public testing::TestWithParam<golden_t> {};

} // namespace

// Each configuration gives its golden stream byte for byte, and again under a comma-decimal
// locale.
TEST_P(GoldenStream, MatchesByteForByteAlsoUnderACommaDecimalLocale) {
    const golden_t g = GetParam();
    output_cfg_t cfg;
    if (std::string(g.name) != "defaults") {
        KeelConfig store;
        ASSERT_TRUE(store.read(dir + g.name + ".cfg")) << store.error();
        ASSERT_TRUE(cfg.load_cfg(store, g.prefix));
    }
    const std::string expected = temp_dir_t::read(dir + g.name + ".nmea");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(run(cfg), expected);
    tern_test::comma_locale_t comma;
    EXPECT_EQ(run(cfg), expected) << "under a comma-decimal locale";
}

INSTANTIATE_TEST_SUITE_P(Output, GoldenStream,
                         testing::Values(golden_t{"defaults", ""}, golden_t{"every", ""},
                                         golden_t{"nmea21", ""}, golden_t{"strict", ""},
                                         golden_t{"talker", ""}, golden_t{"filtered", ""},
                                         golden_t{"prefixed", "port_3_"}),
                         [](const testing::TestParamInfo<golden_t>& i) {
                             return std::string(i.param.name);
                         });
