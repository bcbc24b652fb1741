// Tables of test cases kept as text under tests/cases/<area>/: one case a line, columns
// separated by "|" and trimmed, the first one the case's name (letters, digits, "_"); lines
// starting with "#" and empty lines are skipped.
//
// A column that must hold blanks at its ends, line ends or any other byte is written in double
// quotes with C escapes, and read through unquote(): \n \r \t \0 \\ \" and \xHH (a "|" inside it
// is \x7C). Columns without quotes are taken as they stand.
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

inline std::string case_name(const testing::TestParamInfo<case_t>& info) {
    return info.param.name;
}

// The bytes a column stands for: the text between its double quotes with the escapes above
// undone, or the column itself when it is not quoted.
inline std::string unquote(const std::string& col) {
    if (col.size() < 2 || col.front() != '"' || col.back() != '"') return col;
    std::string out;
    for (size_t i = 1; i + 1 < col.size(); ++i) {
        char c = col[i];
        if (c == '\\' && i + 2 < col.size()) {
            c = col[++i];
            if (c == 'x' && i + 3 < col.size()) {
                c = static_cast<char>(std::stoi(col.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                c = c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == '0' ? '\0' : c;
            }
        }
        out += c;
    }
    return out;
}

} // namespace tern_test

// Instantiates the parameterised SUITE over the cases of tests/cases/FILE, each named in ctest
// by its first column.
#define TERN_CASES(prefix, suite, file)                                                            \
    INSTANTIATE_TEST_SUITE_P(prefix, suite, ::testing::ValuesIn(::tern_test::read_cases(file)),    \
                             ::tern_test::case_name)
