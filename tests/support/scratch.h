// Scratch surroundings for tests: a fresh temporary directory and a comma-decimal locale.
#pragma once

#include <locale>
#include <string>

namespace tern_test {

// A fresh directory under the system's temporary directory, removed with everything in it.
class temp_dir_t {
public:
    temp_dir_t();
    ~temp_dir_t();
    temp_dir_t(const temp_dir_t&) = delete;
    temp_dir_t& operator=(const temp_dir_t&) = delete;

    const std::string& path() const { return path_; }
    // path()/name
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes `text` to path()/name and returns that path.
    std::string write(const std::string& name, const std::string& text) const;
    // The whole content of a file ("" when it cannot be read).
    static std::string read(const std::string& path);

private:
    std::string path_;
};

// While it lives, the process's C++ global locale writes "1,5" and groups thousands with ".",
// and the C locale's numbers are those of a comma-decimal locale when the system has one.
class comma_locale_t {
public:
    comma_locale_t();
    ~comma_locale_t();
    comma_locale_t(const comma_locale_t&) = delete;
    comma_locale_t& operator=(const comma_locale_t&) = delete;

private:
    std::locale saved_;
    std::string saved_c_;
};

} // namespace tern_test
