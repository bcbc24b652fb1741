// A signal delivered as a call on the main loop.
#pragma once

#include <csignal>
#include <functional>

namespace tern_tool {

// Calls `on_signal` on the default main context once for each arrival of `sig` (arrivals close
// together may be merged into one call). The handler only writes a byte to a pipe that the loop
// watches: unlike GLib's own signal sources this starts no helper thread, beside which the
// 32-bit emulator the tests use stops delivering anything after the first signal. While the
// watch lives the signal never ends the program; when it ends, the signal's earlier disposition
// returns (a program ignores its signal from the first line of main, so that a signal before or
// after the watch is harmless).
class signal_watch_t {
public:
    signal_watch_t(int sig, std::function<void()> on_signal);
    ~signal_watch_t();
    signal_watch_t(const signal_watch_t&) = delete;
    signal_watch_t& operator=(const signal_watch_t&) = delete;

    // False when the pipe or the handler could not be set up.
    bool ok() const { return source_ != 0; }

private:
    int sig_;
    std::function<void()> on_signal_;
    struct sigaction old_ {};
    int pipe_[2] = {-1, -1};
    unsigned source_ = 0;
};

} // namespace tern_tool
