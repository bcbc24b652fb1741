#include "support/usock.h"

#include <algorithm>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tern_test {

int raw_socket(const std::string& name, bool listening) {
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

} // namespace tern_test
