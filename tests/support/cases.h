// Tables of test cases kept in text files under tests/cases/<area>/, one case a line:
//
//   # a comment line; blank lines are skipped too
//   name | field | field ...
//
// Fields are split at '|' and trimmed of blanks. A field written in double quotes keeps its
// blanks and takes C escapes (\r, \n, \t, \", \\, octal \NNN), so any byte can be shown. The
// name is the case's name in the test's output: letters, digits and '_'.
#pragma once

#include <glib.h>
#include <gtest/gtest.h>

#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace tern_test {

struct case_t {
    std::string name;
    std::vector<std::string> fields; // after the name
    unsigned int line = 0;           // in the file, for messages
};

inline std::ostream& operator<<(std::ostream& os, const case_t& c) {
    return os << c.name << " (line " << c.line << ")";
}

// The field at `i`, or an empty text when the line has fewer.
inline const std::string& field(const case_t& c, std::size_t i) {
    static const std::string none;
    return i < c.fields.size() ? c.fields[i] : none;
}

inline std::string case_field(std::string text) {
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return text;
    gchar* plain = g_strcompress(text.substr(1, text.size() - 2).c_str());
    text = plain;
    g_free(plain);
    return text;
}

// The cases of tests/cases/`file`. A file that cannot be read gives one case named
// "unreadable_case_file" with no fields, so that the test fails rather than running nothing.
inline std::vector<case_t> read_cases(const std::string& file) {
    std::vector<case_t> cases;
    std::ifstream in(std::string(TERN_TEST_DATA_DIR) + "/../cases/" + file);
    std::string text;
    for (unsigned int line = 1; std::getline(in, text); ++line) {
        if (text.find_first_not_of(" \t") == std::string::npos || text[0] == '#') continue;
        case_t c;
        c.line = line;
        std::size_t from = 0;
        bool quoted = false, escaped = false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char ch = text[i];
            if (escaped)
                escaped = false;
            else if (quoted && ch == '\\')
                escaped = true;
            else if (ch == '"')
                quoted = !quoted;
            else if (ch == '|' && !quoted) {
                c.fields.push_back(case_field(text.substr(from, i - from)));
                from = i + 1;
            }
        }
        c.fields.push_back(case_field(text.substr(from)));
        c.name = c.fields.front();
        c.fields.erase(c.fields.begin());
        cases.push_back(c);
    }
    if (cases.empty()) cases.push_back({"unreadable_case_file", {}, 0});
    return cases;
}

// The name of a case for INSTANTIATE_TEST_SUITE_P.
inline std::string case_name(const ::testing::TestParamInfo<case_t>& info) {
    return info.param.name;
}

} // namespace tern_test
