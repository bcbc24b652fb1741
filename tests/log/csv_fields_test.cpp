#include <tern/log/csv_fields.h>
#include <tern/msg/msg.h>

#include "support/codec.h"
#include "support/scratch.h"

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

using namespace tern;
using tern_test::payload_of;

// The titles are pinned by the golden CSV header, the settings names by the golden selection.
TEST(CsvFields, ConfigNames) {
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
    std::string text;
    for (const ConfigEntry& e : store.entries()) text += e.key + "=" + e.value + "\n";
    EXPECT_EQ(text, tern_test::temp_dir_t::read(TERN_TEST_DATA_DIR "/log/csv_selection.txt"));

    csv_output_cfg_t back;
    EXPECT_TRUE(back.load_cfg(store, "log_csv_output_"));
    EXPECT_EQ(back, c); // the bits beyond the 28 columns keep the default
    KeelConfig empty;
    EXPECT_FALSE(back.load_cfg(empty, "log_csv_output_"));
    EXPECT_EQ(back.mask, 0xF0000000u);
    for (unsigned i = 0; i < csv_field_count; ++i) EXPECT_FALSE(back.field_is_set(i));
}
