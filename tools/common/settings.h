// The settings options of the programs that take their configuration from a key/value file:
// "--config FILE", "--prefix P" and "--set KEY=VALUE" (repeatable, applied after the file).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <keelconfig/KeelConfig.h>

#include <tern/output/output_cfg.h>

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

// Where the value of `key` came from: "--set" when a --set gave it, else "FILE:LINE" of the
// last line of the file that holds it (empty when neither did).
std::string setting_origin(const settings_opt_t& opt, const std::string& key);

// Reports settings values that do not convert (one line each: where it came from, the key,
// the value and what it must be) and keys that no setting has (a warning each). Returns 0
// when every value converts, else 2 when a bad value came from --set and 1 when only the
// file held bad values.
int report_faults(const settings_opt_t& opt, const std::vector<tern::cfg_fault_t>& faults);

// Help text lines for the three options.
extern const char settings_usage[];

} // namespace tern_tool
