// A recorded-style stream of frames (garbage and a torn frame included) through the output
// builder in every configuration that matters, compared byte for byte with the sentence
// streams kept in tests/golden/output.
#include <tern/msg/catalogue.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/output/outputBuilder.h>

#include "support/scratch.h"

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

#include <memory>

using namespace tern;
using tern_test::temp_dir_t;

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
