// Runs a program as a child process with given standard input, capturing its output.
#pragma once

#include <string>
#include <vector>

namespace tern_test {

struct run_result_t {
    int status = -1; // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// Runs `argv` (argv[0] is the program path) with `input` on standard input; kills it after
// `timeout_s` seconds (status then 128 + SIGKILL).
run_result_t run_program(const std::vector<std::string>& argv, const std::string& input = "",
                         double timeout_s = 30.0);

// Path of a program built beside the tests.
std::string tool_path(const std::string& name);

// How many threads of this process carry the name `name` (the library's detached workers are
// "tern-nojoin"): a test waits for a worker's whole pass by waiting for this to reach 0.
int threads_named(const std::string& name);

} // namespace tern_test
