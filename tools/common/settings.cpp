#include "common/settings.h"

#include "common/program.h"

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

} // namespace tern_tool
