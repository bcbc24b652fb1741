#include "support/process.h"

#include <glib.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tern_test {

std::string tool_path(const std::string& name) {
    return std::string(TERN_TOOLS_DIR) + "/" + name;
}

int threads_named(const std::string& name) {
    int n = 0;
    GDir* dir = g_dir_open("/proc/self/task", 0, nullptr);
    if (!dir) return 0;
    while (const gchar* tid = g_dir_read_name(dir)) {
        gchar* comm = nullptr;
        const std::string path = std::string("/proc/self/task/") + tid + "/comm";
        if (g_file_get_contents(path.c_str(), &comm, nullptr, nullptr)) {
            if (g_strchomp(comm) == name) ++n;
            g_free(comm);
        }
    }
    g_dir_close(dir);
    return n;
}

run_result_t run_program(const std::vector<std::string>& argv, const std::string& input,
                         double timeout_s) {
    run_result_t r;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    GPid pid = -1;
    int in = -1, out = -1, err = -1;
    GError* error = nullptr;
    if (!g_spawn_async_with_pipes(nullptr, args.data(), nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr,
                                  nullptr, &pid, &in, &out, &err, &error)) {
        r.err = std::string("spawn failed: ") + error->message;
        g_error_free(error);
        return r;
    }

    // Feed input and drain both outputs together, so that no pipe fills up and blocks.
    signal(SIGPIPE, SIG_IGN);
    fcntl(in, F_SETFL, O_NONBLOCK);
    std::size_t written = 0;
    int wfd = in;
    if (input.empty()) {
        close(wfd);
        wfd = -1;
    }
    const double deadline = static_cast<double>(g_get_monotonic_time()) / 1e6 + timeout_s;
    bool out_open = true, err_open = true;
    char buf[65536];
    while (out_open || err_open) {
        pollfd fds[3] = {
            {out_open ? out : -1, POLLIN, 0}, {err_open ? err : -1, POLLIN, 0}, {wfd, POLLOUT, 0}};
        const double left = deadline - static_cast<double>(g_get_monotonic_time()) / 1e6;
        if (left <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 3, static_cast<int>(left * 1000) + 1) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0)
                (i == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            else
                (i == 0 ? out_open : err_open) = false;
        }
        if (wfd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t n = write(wfd, input.data() + written, input.size() - written);
            if (n > 0) written += static_cast<std::size_t>(n);
            if (n < 0 || written == input.size()) {
                close(wfd);
                wfd = -1;
            }
        }
    }
    if (wfd >= 0) close(wfd);
    close(out);
    close(err);
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return r;
}

} // namespace tern_test
