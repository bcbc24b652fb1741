// A text from outside (a file, a peer) quoted for a one-line message: between double quotes,
// with backslash, double quote and control bytes escaped as \\ \" \n \r \t or \xHH, so the
// message stays one line whatever the text holds. Other bytes are kept as they are.
#pragma once

#include <string>

namespace tern {

std::string quoted(const std::string& text);

} // namespace tern
