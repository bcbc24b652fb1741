// The settings options of the programs that take their configuration from a key/value file:
// "--config FILE", "--prefix P" and "--set KEY=VALUE" (repeatable, applied after the file).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <keelconfig/KeelConfig.h>

namespace tern_tool {

struct settings_opt_t {
    std::string config;                                    // empty: built-in defaults
    std::string prefix;                                    // of every key
    std::vector<std::pair<std::string, std::string>> sets; // in command-line order
};

// When argv[i] is one of the three options, takes its value (moving i past it) and returns
// true; `status` is then 0, or 2 after a diagnostic for a missing or malformed value.
bool take_settings_option(int argc, char** argv, int& i, settings_opt_t& opt, int& status);

// Reads the file (when given) into `store`, then applies the --set overrides. False with a
// one-line reason when the file cannot be read or is damaged.
bool load_settings(const settings_opt_t& opt, KeelConfig& store, std::string& why);

// Help text lines for the three options.
extern const char settings_usage[];

} // namespace tern_tool
