#include "common/program.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <locale>
#include <sstream>
#include <unistd.h>

namespace tern_tool {
namespace {
std::string program_name = "tern";
}

void set_program(const char* argv0) {
    if (!argv0 || !*argv0) return;
    const std::string path(argv0);
    const auto slash = path.find_last_of('/');
    program_name = slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string prefix() {
    return program_name + ":" + std::to_string(getpid());
}

void diag(const std::string& text) {
    std::cerr << prefix() << ": " << text << std::endl;
}

const char standard_usage[] = "  --help               show this text and exit\n"
                              "  --version            print the program's version and exit\n";

int print_version() {
    std::cout << program_name << " (tern) " << TERN_VERSION << std::endl;
    return std::cout ? 0 : 1;
}

bool parse_unsigned(const char* text, unsigned long long max, unsigned long long& value) {
    if (!text || !*text || *text == '-' || *text == '+' || *text == ' ') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno || *end || v > max) return false;
    value = v;
    return true;
}

bool parse_double(const char* text, double& value) {
    if (!text || !*text) return false;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double v = 0;
    in >> v;
    if (in.fail() || !in.eof() || !std::isfinite(v)) return false;
    value = v;
    return true;
}

} // namespace tern_tool
