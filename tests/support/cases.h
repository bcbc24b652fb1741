// Tables of test cases kept as text under tests/cases/<area>/: one case a line, columns
// separated by "|" and trimmed, the first one the case's name (letters, digits, "_"); lines
// starting with "#" and empty lines are skipped. Columns are taken as written; a test whose
// texts need other bytes passes them through unescape(): \n \r \t \0 \\ and \xHH stand for
// their bytes (\x20 for a blank the trimming would drop, \x7C for "|").
#pragma once

#include "support/scratch.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tern_test {

struct case_t {
    std::string name;
    std::vector<std::string> cols; // after the name
};
inline std::ostream& operator<<(std::ostream& os, const case_t& c) {
    return os << c.name;
}

inline std::vector<case_t> read_cases(const std::string& file) {
    std::istringstream in(temp_dir_t::read(TERN_TEST_DATA_DIR "/../cases/" + file));
    std::vector<case_t> cases;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream cols(line + "|");
        case_t c;
        for (std::string col; std::getline(cols, col, '|');) {
            col.erase(0, col.find_first_not_of(' '));
            col.erase(col.find_last_not_of(' ') + 1);
            (c.name.empty() ? c.name : c.cols.emplace_back()) = col;
        }
        cases.push_back(c);
    }
    if (cases.empty()) cases.push_back({"no_cases_read", {file}});
    return cases;
}

// The bytes a column stands for (see the top of this file); any other escaped character is
// itself.
inline std::string unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        if (c == 'x' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == '0' ? '\0' : c;
        }
    }
    return out;
}

inline std::string case_name(const testing::TestParamInfo<case_t>& info) {
    return info.param.name;
}

} // namespace tern_test
