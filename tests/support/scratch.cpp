#include "support/scratch.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tern_test {
namespace {
struct comma_numpunct_t : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};
} // namespace

temp_dir_t::temp_dir_t() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tern_test.XXXXXX").string();
    if (mkdtemp(&tmpl[0])) path_ = tmpl;
}

temp_dir_t::~temp_dir_t() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::string temp_dir_t::write(const std::string& name, const std::string& text) const {
    const std::string p = file(name);
    std::ofstream(p, std::ios::binary) << text;
    return p;
}

std::string temp_dir_t::read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

comma_locale_t::comma_locale_t()
    : saved_(std::locale::global(std::locale(std::locale::classic(), new comma_numpunct_t))) {
    const char* c = std::setlocale(LC_NUMERIC, nullptr);
    saved_c_ = c ? c : "C";
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"})
        if (std::setlocale(LC_NUMERIC, name)) break;
}

comma_locale_t::~comma_locale_t() {
    std::setlocale(LC_NUMERIC, saved_c_.c_str());
    std::locale::global(saved_);
}

} // namespace tern_test
