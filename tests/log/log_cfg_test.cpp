#include <tern/log/log_cfg.h>
#include <tern/msg/msg.h>

#include "support/codec.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace tern;
using tern_test::decode_into;
using tern_test::payload_of;

TEST(LogCfg, CodecFieldOrder) {
    log_cfg_t c;
    c.log_enabled = true;
    c.switch_file = log_cfg_t::switch_fixed;
    c.log_path = "/m/a";
    c.log_diag_mode = true;
    c.log_auto_delete_age = 86400;
    const std::string bytes = "01 03 04 2F 6D 2F 61 01 80 51 01 00";
    EXPECT_EQ(payload_of(c), bytes);
    log_cfg_t back;
    EXPECT_TRUE(decode_into(bytes, back));
    EXPECT_EQ(back, c);
    EXPECT_FALSE(decode_into("01 03 04 2F 6D", back)); // cut inside the path
}

TEST(LogCfg, SwitchModeTexts) {
    const struct {
        const char* text;
        log_cfg_t::switch_file_t mode;
    } rows[] = {{"daily", log_cfg_t::switch_daily},
                {"hourly", log_cfg_t::switch_hourly},
                {"log_start", log_cfg_t::switch_log_start},
                {"fixed", log_cfg_t::switch_fixed}};
    for (const auto& r : rows) {
        std::ostringstream os;
        os << r.mode;
        EXPECT_EQ(os.str(), r.text);
        log_cfg_t::switch_file_t m = log_cfg_t::switch_fixed;
        std::string(r.text) >> m;
        EXPECT_EQ(m, r.mode) << r.text;
    }
    log_cfg_t::switch_file_t m = log_cfg_t::switch_fixed;
    std::string("Hourly") >> m;
    EXPECT_EQ(m, log_cfg_t::switch_daily);
    std::ostringstream os;
    os << static_cast<log_cfg_t::switch_file_t>(4);
    EXPECT_EQ(os.str(), "daily");
}
