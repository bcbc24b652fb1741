// Running out of descriptors on purpose, to reach the EMFILE paths of code under test.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <vector>

namespace tern_test {

// While it lives, the process may open exactly one more descriptor (a low limit, filled up
// with /dev/null). ok() is false when the limit could not be lowered.
class fd_squeeze_t {
public:
    fd_squeeze_t() {
        if (getrlimit(RLIMIT_NOFILE, &old_) != 0) return;
        rlimit low = old_;
        low.rlim_cur = 64;
        if (setrlimit(RLIMIT_NOFILE, &low) != 0) return;
        lowered_ = true;
        for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fill_.push_back(fd);
        if (fill_.empty()) return;
        close(fill_.back());
        fill_.pop_back();
    }
    ~fd_squeeze_t() {
        for (int fd : fill_) close(fd);
        if (lowered_) setrlimit(RLIMIT_NOFILE, &old_);
    }
    fd_squeeze_t(const fd_squeeze_t&) = delete;
    fd_squeeze_t& operator=(const fd_squeeze_t&) = delete;
    bool ok() const { return lowered_ && !fill_.empty(); }

private:
    rlimit old_{};
    bool lowered_ = false;
    std::vector<int> fill_;
};

} // namespace tern_test
