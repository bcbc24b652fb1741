// Tables of test cases kept as readable text under tests/cases/<area>/: one case a line, its
// columns separated by "|" (blanks around a column are trimmed), the first column the case's
// name (letters, digits and "_"). Lines starting with "#" and empty lines are skipped.
#pragma once

#include "support/scratch.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace tern_test {

struct case_t {
    std::string name;
    std::vector<std::string> cols; // after the name
};

inline std::ostream& operator<<(std::ostream& os, const case_t& c) {
    return os << c.name;
}

// The cases of tests/cases/<file>; a file that cannot be read gives one case that fails.
inline std::vector<case_t> read_cases(const std::string& file) {
    const std::string path = std::string(TERN_TEST_DATA_DIR) + "/../cases/" + file;
    std::istringstream in(temp_dir_t::read(path));
    std::vector<case_t> cases;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        case_t c;
        std::size_t start = 0;
        for (bool first = true; start <= line.size(); first = false) {
            std::size_t bar = line.find('|', start);
            if (bar == std::string::npos) bar = line.size();
            std::string col = line.substr(start, bar - start);
            col.erase(0, col.find_first_not_of(' '));
            col.erase(col.find_last_not_of(' ') + 1);
            (first ? c.name : c.cols.emplace_back()) = col;
            start = bar + 1;
        }
        cases.push_back(c);
    }
    if (cases.empty()) cases.push_back({"unreadable_" + std::to_string(cases.size()), {path}});
    return cases;
}

// Names the instances of a value-parameterised test after their cases.
inline std::string case_name(const testing::TestParamInfo<case_t>& info) {
    return info.param.name;
}

} // namespace tern_test
