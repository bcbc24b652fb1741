// The fuzzer's bytes as a file the decoders can open by path.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

class fuzz_file_t {
public:
    fuzz_file_t(const std::uint8_t* data, std::size_t size) {
        fd_ = memfd_create("fuzz", 0);
        if (fd_ >= 0 && write(fd_, data, size) != static_cast<ssize_t>(size)) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~fuzz_file_t() {
        if (fd_ >= 0) close(fd_);
    }
    fuzz_file_t(const fuzz_file_t&) = delete;
    fuzz_file_t& operator=(const fuzz_file_t&) = delete;

    bool ok() const { return fd_ >= 0; }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_ = -1;
};
