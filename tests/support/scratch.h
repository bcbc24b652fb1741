// Scratch surroundings for tests: a fresh temporary directory and a comma-decimal locale.
#pragma once

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <locale>
#include <string>

namespace tern_test {

// A fresh directory under the system's temporary directory, removed with everything in it.
class temp_dir_t {
public:
    temp_dir_t() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "tern_test.XXXXXX").string();
        if (mkdtemp(&tmpl[0])) path_ = tmpl;
    }
    ~temp_dir_t() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    temp_dir_t(const temp_dir_t&) = delete;
    temp_dir_t& operator=(const temp_dir_t&) = delete;

    const std::string& path() const { return path_; }
    // path()/name
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes `text` to path()/name and returns that path.
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(file(name), std::ios::binary) << text;
        return file(name);
    }
    // The whole content of a file ("" when it cannot be read).
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string path_;
};

// While it lives, the process's C++ global locale writes "1,5" and groups thousands with ".",
// and the C locale's numbers are those of a comma-decimal locale when the system has one.
class comma_locale_t {
public:
    comma_locale_t()
        : saved_(std::locale::global(std::locale(std::locale::classic(), new comma_t))) {
        const char* c = std::setlocale(LC_NUMERIC, nullptr);
        saved_c_ = c ? c : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"})
            if (std::setlocale(LC_NUMERIC, name)) break;
    }
    ~comma_locale_t() {
        std::setlocale(LC_NUMERIC, saved_c_.c_str());
        std::locale::global(saved_);
    }
    comma_locale_t(const comma_locale_t&) = delete;
    comma_locale_t& operator=(const comma_locale_t&) = delete;

private:
    struct comma_t : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    std::locale saved_;
    std::string saved_c_;
};

} // namespace tern_test
