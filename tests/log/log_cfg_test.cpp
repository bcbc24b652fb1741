#include <tern/log/log_cfg.h>

#include <gtest/gtest.h>

#include <sstream>

using namespace tern;

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
