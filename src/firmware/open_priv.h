// Opening a firmware file: only a regular file is read. A directory would fail later with a
// puzzling read error, and a FIFO would block the caller until some writer came along.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace tern_fw {

// The file open for binary reading; null with the reason in `why` (the system's message, or
// "not a regular file").
inline FILE* open_file(const std::string& path, std::string& why) {
    // Non-blocking, so that opening a FIFO returns at once; reads of a regular file ignore it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = strerror(errno);
        return nullptr;
    }
    struct stat st = {};
    FILE* f = nullptr;
    if (fstat(fd, &st) != 0)
        why = strerror(errno);
    else if (S_ISDIR(st.st_mode))
        why = strerror(EISDIR);
    else if (!S_ISREG(st.st_mode))
        why = "not a regular file";
    else if (!(f = fdopen(fd, "rb")))
        why = strerror(errno);
    if (!f) ::close(fd);
    return f;
}

} // namespace tern_fw
