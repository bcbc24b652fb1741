#include <tern/log/log_cfg.h>

#include <gtest/gtest.h>

#include <sstream>

using namespace tern;

TEST(LogCfg, SwitchModeTexts) {
    // Settings values, in order of the modes; an unknown text or mode reads as daily.
    const char* const texts[] = {"daily", "hourly", "log_start", "fixed", "Hourly"};
    for (int i = 0; i < 5; ++i) {
        std::ostringstream os;
        os << static_cast<log_cfg_t::switch_file_t>(i);
        EXPECT_EQ(os.str(), i < 4 ? texts[i] : "daily");
        auto m = log_cfg_t::switch_fixed;
        std::string(texts[i]) >> m;
        EXPECT_EQ(m, i < 4 ? i : 0) << texts[i];
    }
}
