// Helpers for running the library's programs from the tests of this folder.
#pragma once

#include "support/mainloop.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <glib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace tern_tools_test {

inline bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A socket of `type` (SOCK_STREAM, SOCK_DGRAM) bound to a free loopback port (or a free port
// of `host`, such as INADDR_ANY), and the port.
inline int bind_loopback(int type, unsigned short& port, in_addr_t host = INADDR_LOOPBACK) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(host);
    socklen_t len = sizeof a;
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// The frames of `epochs` epochs of the simulated vessel, as fast as tern-sim writes them.
inline std::string sim_frames(int epochs) {
    const auto r = tern_test::run_program(
        {tern_test::tool_path("tern-sim"), "--epochs", std::to_string(epochs), "--rate", "0"});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

// Runs a program to its end on another thread while the test goes on.
struct background_t {
    tern_test::run_result_t result;
    std::thread thread;
    explicit background_t(std::vector<std::string> argv, double timeout_s = 20) {
        thread = std::thread(
            [this, argv, timeout_s] { result = tern_test::run_program(argv, "", timeout_s); });
    }
    tern_test::run_result_t& wait() {
        if (thread.joinable()) thread.join();
        return result;
    }
    ~background_t() { wait(); }
};

// A program running in the background with a pipe on its standard input, its standard
// error in a file and its standard output in another (or nowhere); killed if still running
// at the end.
class child_t {
public:
    child_t(const std::vector<std::string>& argv, const std::string& err_file,
            const std::string& out_file = "/dev/null") {
        std::string cmd = "exec";
        for (const std::string& a : argv) {
            gchar* q = g_shell_quote(a.c_str());
            cmd += std::string(" ") + q;
            g_free(q);
        }
        cmd += " 2>" + err_file + " >" + out_file;
        const gchar* args[] = {"/bin/sh", "-c", cmd.c_str(), nullptr};
        gint in = -1;
        if (g_spawn_async_with_pipes(nullptr, const_cast<gchar**>(args), nullptr,
                                     G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid_, &in,
                                     nullptr, nullptr, nullptr))
            in_ = in;
    }
    ~child_t() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        close_input();
    }
    bool running() { return pid_ > 0 && !reaped(); }
    void send(const std::string& bytes) {
        if (in_ < 0) return;
        EXPECT_EQ(::write(in_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // Bytes sent that the child has not read yet.
    int unread() const {
        int n = 0;
        return in_ >= 0 && ::ioctl(in_, FIONREAD, &n) == 0 ? n : -1;
    }
    void close_input() {
        if (in_ >= 0) ::close(in_);
        in_ = -1;
    }
    void kill(int sig) { ::kill(pid_, sig); }
    // Exit status, or 128 + signal; -1 when it did not end within 10 s.
    int wait() {
        for (int i = 0; i < 1000 && pid_ > 0 && !reaped(); ++i)
            tern_test::run_until([] { return false; }, 0.01);
        return pid_ > 0 ? -1 : status_;
    }

private:
    bool reaped() {
        int st = 0;
        if (::waitpid(pid_, &st, WNOHANG) != pid_) return false;
        pid_ = -1;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return true;
    }
    GPid pid_ = -1;
    int in_ = -1;
    int status_ = -1;
};

} // namespace tern_tools_test
