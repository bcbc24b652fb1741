// What the command-line programs share: their diagnostic prefix and argument checks.
#pragma once

#include <string>

namespace tern_tool {

// Remembers the program's name (the base name of argv[0]) for diagnostics.
void set_program(const char* argv0);
// "name:pid", the prefix of every diagnostic line.
std::string prefix();
// Writes "name:pid: text" and a line end to standard error.
void diag(const std::string& text);

// The lines for --help and --version that end every program's usage text.
extern const char standard_usage[];
// Answers --version: "name (tern) VERSION" on standard output; returns the exit status.
int print_version();

// Parses a whole decimal number within [min, max]; false on any other text.
bool parse_unsigned(const char* text, unsigned long long max, unsigned long long& value);
bool parse_double(const char* text, double& value);

} // namespace tern_tool
