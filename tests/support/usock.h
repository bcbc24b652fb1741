// Plain Unix stream sockets on names as the library's transports address them.
#pragma once

#include <string>

namespace tern_test {

// A blocking socket on NAME ("@name" in the abstract namespace, addressed with the whole
// zero-filled path as our connectors do): connected to it, or bound and listening on it when
// `listening`; -1 on failure.
int raw_socket(const std::string& name, bool listening = false);

// Connects to NAME; -1 when nobody listens.
inline int raw_connect(const std::string& name) {
    return raw_socket(name);
}

} // namespace tern_test
