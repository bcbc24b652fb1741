#include "support/usock.h"

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tern_test {

int raw_connect(const std::string& name) {
    sockaddr_un a;
    std::memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path + 1, name.data() + 1, name.size() - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return fd;
    close(fd);
    return -1;
}

} // namespace tern_test
