// Plain Unix stream sockets on names as the library's transports address them.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tern_test {

// A blocking socket on NAME ("@name" in the abstract namespace, addressed with the whole
// zero-filled path as our connectors do): connected to it, or bound and listening on it when
// `listening`; -1 on failure.
inline int raw_socket(const std::string& name, bool listening = false) {
    sockaddr_un a;
    std::memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    const bool abstract = !name.empty() && name[0] == '@';
    std::memcpy(a.sun_path + abstract, name.data() + abstract,
                std::min(name.size() - abstract, sizeof a.sun_path - 1));
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const auto* sa = reinterpret_cast<const sockaddr*>(&a);
    if (fd >= 0 && (listening ? bind(fd, sa, sizeof a) == 0 && listen(fd, 4) == 0
                              : connect(fd, sa, sizeof a) == 0))
        return fd;
    if (fd >= 0) close(fd);
    return -1;
}

// Connects to NAME; -1 when nobody listens.
inline int raw_connect(const std::string& name) {
    return raw_socket(name);
}

} // namespace tern_test
