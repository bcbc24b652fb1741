// Text forms for checks: what `os << v` writes, and the dump of a message.
#pragma once

#include <tern/msg/msg.h>

#include <sstream>
#include <string>

namespace tern_test {

// What `os << v` writes to a fresh stream.
template <class T>
std::string text_of(const T& v) {
    std::ostringstream os;
    os << v;
    return os.str();
}

// The text form of a message, as msg_t::dump writes it.
inline std::string dump_of(const tern::msg_t& m) {
    std::ostringstream os;
    m.dump(os);
    return os.str();
}

} // namespace tern_test
