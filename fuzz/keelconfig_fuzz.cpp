// Feeds arbitrary bytes to KeelConfig::read as a settings file; whatever reads must write out
// and read back to exactly the same entries.
#include <keelconfig/KeelConfig.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string scratchPath(const char* what) {
    return "/tmp/keelconfig_fuzz." + std::to_string(::getpid()) + "." + what;
}

struct paths_t {
    std::string input = scratchPath("in");
    std::string output = scratchPath("out");
    ~paths_t() {
        std::remove(input.c_str());
        std::remove(output.c_str());
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const paths_t paths;
    {
        std::ofstream out(paths.input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) std::abort();
    }
    KeelConfig first;
    if (!first.read(paths.input)) {
        if (first.error().empty() || first.error().find('\n') != std::string::npos) std::abort();
        if (first.size() != 0) std::abort();
        return 0;
    }
    if (!first.write(paths.output)) std::abort();
    KeelConfig second;
    if (!second.read(paths.output)) std::abort();
    if (second.entries() != first.entries()) std::abort();
    return 0;
}
