// fsync: flushes one file's data and metadata to its storage medium. The library starts it
// to flush log files without blocking its main loop.
#include "common/program.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

namespace {

const char usage[] =
    "Usage: fsync FILE\n"
    "Flushes FILE (a file or a directory) to its storage medium; exit status 0 when done.\n";

int fail(const std::string& what, const std::string& path, int err) {
    tern_tool::diag(what + " " + path + ": " + std::strerror(err));
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    // Always "fsync": the diagnostics name the job, whatever the link is called.
    tern_tool::set_program("fsync");
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::cout << usage << tern_tool::standard_usage;
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--version") return tern_tool::print_version();
    if (argc != 2) {
        tern_tool::diag("expected exactly one file (see --help)");
        return 2;
    }
    const std::string path = argv[1];
    if (path.size() > 1 && path[0] == '-') {
        tern_tool::diag("unknown option " + path + " (see --help)");
        return 2;
    }
    // Read-only is enough for fsync and also opens read-only files and directories.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail("cannot open", path, errno);
    if (::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        return fail("cannot flush", path, err);
    }
    if (::close(fd) != 0) return fail("cannot close", path, errno);
    return 0;
}
