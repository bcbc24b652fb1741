#include <tern/log/csv_fields.h>
#include <tern/msg/msg.h>

#include "support/codec.h"

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

using namespace tern;
using tern_test::payload_of;

// The titles are pinned by the golden CSV header; here the settings names.
TEST(CsvFields, ConfigNames) {
    const std::pair<unsigned, const char*> rows[] = {
        {0, "latitude"}, {10, "nav_3d"}, {15, "corr_snr"}, {22, "max_pos_mde"}, {27, "heave"}};
    for (const auto& r : rows) EXPECT_EQ(csvFieldToConfigString(r.first), r.second);
    for (unsigned i = 0; i < csv_field_count; ++i)
        EXPECT_EQ(csvFieldFromConfigString(csvFieldToConfigString(i)), i);
    EXPECT_EQ(csvFieldToString(28), std::string("Unknown"));
    EXPECT_EQ(csvFieldToConfigString(28), std::string("Unknown"));
    EXPECT_EQ(csvFieldFromConfigString("Latitude"), 28u); // a title is no name
    EXPECT_EQ(csvFieldFromConfigString(Unknown_str), 28u);
}

TEST(CsvOutputCfg, CodecAndSelection) {
    csv_output_cfg_t c;
    EXPECT_EQ(payload_of(c), "FF FF FF FF");
    c.set_field(csv_field_latitude, false);
    c.set_field(csv_field_heave, false);
    c.set_field(40, false); // no such bit: ignored
    EXPECT_EQ(payload_of(c), "FE FF FF F7");
    EXPECT_FALSE(c.field_is_set(32));
}

TEST(CsvOutputCfg, StoreRoundTripAndMissingKeysTurnFieldsOff) {
    csv_output_cfg_t c;
    c.set_field(csv_field_sats_used, false);
    KeelConfig store;
    c.set_cfg(store, "log_csv_output_");
    ASSERT_EQ(store.size(), 28u);
    EXPECT_EQ(store.entries()[0].key, "log_csv_output_enable_latitude");
    EXPECT_EQ(store.entries()[5].key, "log_csv_output_enable_sats_used");
    EXPECT_EQ(store.entries()[5].value, "0");
    EXPECT_EQ(store.entries()[27].key, "log_csv_output_enable_heave");

    csv_output_cfg_t back;
    EXPECT_TRUE(back.load_cfg(store, "log_csv_output_"));
    EXPECT_EQ(back, c); // the bits beyond the 28 columns keep the default
    KeelConfig empty;
    EXPECT_FALSE(back.load_cfg(empty, "log_csv_output_"));
    EXPECT_EQ(back.mask, 0xF0000000u);
    for (unsigned i = 0; i < csv_field_count; ++i) EXPECT_FALSE(back.field_is_set(i));
}
