#include "common/settings.h"

#include "common/program.h"

#include <tern/util/quoted.h>

#include <cstdlib>
#include <fstream>

namespace tern_tool {

const char settings_usage[] =
    "  --config FILE        read the settings from the key/value file FILE\n"
    "  --prefix P           the prefix of every settings key\n"
    "  --set KEY=VALUE      set one key after reading the file (repeatable)\n";

bool take_settings_option(int argc, char** argv, int& i, settings_opt_t& opt, int& status) {
    const std::string a = argv[i];
    if (a != "--config" && a != "--prefix" && a != "--set") return false;
    status = 0;
    if (i + 1 >= argc) {
        diag(a + " needs a value (see --help)");
        status = 2;
        return true;
    }
    const std::string value = argv[++i];
    if (a == "--config") {
        opt.config = value;
    } else if (a == "--prefix") {
        opt.prefix = value;
    } else {
        const auto eq = value.find('=');
        if (eq == 0 || eq == std::string::npos) {
            diag("--set takes KEY=VALUE, not " + value + " (see --help)");
            status = 2;
            return true;
        }
        opt.sets.emplace_back(value.substr(0, eq), value.substr(eq + 1));
    }
    return true;
}

bool load_settings(const settings_opt_t& opt, KeelConfig& store, std::string& why) {
    if (!opt.config.empty() && !store.read(opt.config)) {
        why = store.error();
        return false;
    }
    for (const auto& kv : opt.sets) store.setValue(kv.first, kv.second);
    return true;
}

namespace {

// The key of a settings file line (up to its first unescaped "="), unescaped as the store
// reads it.
std::string line_key(const std::string& line) {
    std::string key;
    for (std::size_t i = 0; i < line.size() && line[i] != '='; ++i) {
        if (line[i] != '\\' || i + 1 >= line.size()) {
            key += line[i];
            continue;
        }
        const char e = line[++i];
        if (e == 'n') {
            key += '\n';
        } else if (e == 'r') {
            key += '\r';
        } else if (e == 't') {
            key += '\t';
        } else if (e == 'x' && i + 2 < line.size()) {
            const char hex[] = {line[i + 1], line[i + 2], '\0'};
            key += static_cast<char>(std::strtol(hex, nullptr, 16));
            i += 2;
        } else {
            key += e; // \\ and \=
        }
    }
    return key;
}

} // namespace

std::string setting_origin(const settings_opt_t& opt, const std::string& key) {
    for (const auto& kv : opt.sets)
        if (kv.first == key) return "--set";
    if (opt.config.empty()) return std::string();
    std::ifstream in(opt.config, std::ios::binary);
    std::string line, origin;
    for (unsigned long n = 1; std::getline(in, line); ++n) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line_key(line) == key) origin = opt.config + ":" + std::to_string(n);
    }
    return origin;
}

int report_faults(const settings_opt_t& opt, const std::vector<tern::cfg_fault_t>& faults) {
    int status = 0;
    for (const tern::cfg_fault_t& f : faults) {
        std::string where = setting_origin(opt, f.key);
        if (!where.empty()) where += ": ";
        if (f.expected.empty()) {
            diag("warning: " + where + "unknown key " + tern::quoted(f.key) + " (ignored)");
            continue;
        }
        diag(where + "key " + f.key + ": " + tern::quoted(f.value) + " is not " + f.expected);
        if (where.compare(0, 5, "--set") == 0)
            status = 2;
        else if (status == 0)
            status = 1;
    }
    return status;
}

} // namespace tern_tool
