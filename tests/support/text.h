// Text forms for checks: what `os << v` writes, the dump of a message, and the payload of a
// message filled in place.
#pragma once

#include <tern/msg/msg.h>

#include <keelconfig/KeelConfig.h>

#include "support/codec.h"

#include <functional>
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

// The payload (as "AA BB ...") of a default message of class M after `fill`.
template <class M>
std::string payload_hex_of(const std::function<void(M&)>& fill) {
    M m;
    fill(m);
    return payload_hex(m);
}

// A settings store's entries as "key=value" lines, in their order (as its file lists them).
inline std::string store_text(const KeelConfig& store) {
    std::string text;
    for (const ConfigEntry& e : store.entries()) text += e.key + '=' + e.value + '\n';
    return text;
}

} // namespace tern_test
