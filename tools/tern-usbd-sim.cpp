// tern-usbd-sim: a stand-in USB daemon. Serves the USB daemon link on a Unix socket, announces
// directories as mounted volumes, and plugs and unplugs them on commands read from standard
// input, one per line:
//
//   add DIR[:LABEL]             a new (non-persistent) volume mounted at DIR
//   add-persistent DIR[:LABEL]  the same, surviving a loss of the link in its clients
//   remove DIR                  the volume mounted at DIR goes away
//
// Each change is printed on standard output ("added /dev/usbsim0 DIR", "removed ...").
#include "common/program.h"
#include "common/signal_watch.h"

#include <tern/conn/conn_usock_stream.h>
#include <tern/thread/glibTimer.h>
#include <tern/usb/usbd_conn.h>
#include <tern/usb/usbd_msg.h>

#include <glib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <list>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char usage[] =
    "Usage: tern-usbd-sim [OPTION]...\n"
    "A stand-in USB daemon: serves the USB daemon link on PATH (default $TERN_USBD_SOCKET or\n"
    "/tmp/tern_usbd_socket; @name is abstract) and announces each DIR as a mounted volume.\n"
    "Standard input takes the lines 'add DIR[:LABEL]', 'add-persistent DIR[:LABEL]' and\n"
    "'remove DIR'; each change is printed on standard output. Ends on SIGTERM or SIGINT.\n"
    "A PATH that is not a socket, or where a daemon answers, is refused; at the end only the\n"
    "socket this process made is removed.\n"
    "  --socket PATH        serve the link on PATH\n"
    "  --volume DIR[:LABEL] announce DIR as a mounted volume (repeatable)\n"
    "  --persistent-volume DIR[:LABEL]\n"
    "                       the same for a volume that survives a loss of the link in its\n"
    "                       clients\n";

// "DIR[:LABEL]": the label follows the last ':' when no '/' comes after it.
usb_dev_t parse_volume(const std::string& arg, bool persistent, unsigned int n) {
    usb_dev_t d;
    const std::string::size_type colon = arg.rfind(':');
    if (colon != std::string::npos && arg.find('/', colon) == std::string::npos) {
        d.mount_path = arg.substr(0, colon);
        d.label = arg.substr(colon + 1);
    } else {
        d.mount_path = arg;
    }
    d.dev_path = "/dev/usbsim" + std::to_string(n);
    d.vol_id = "SIM-" + std::to_string(n);
    d.persistent = persistent;
    return d;
}

// Mount paths compare without their trailing separators.
std::string trimmed(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

class daemon_t : public tern::connector_client_t {
public:
    // One client of the link.
    class peer_t : public tern::conn_client_t {
    public:
        peer_t(daemon_t& d, tern::conn_t* c) : daemon(d), conn(c) {}
        void handle_conn_msg(tern::msg_decoder_t& dec) override {
            if (dec.category() == tern::msg_t::category_cmd &&
                dec.type() == tern::cmd_usbd_list_t::msg_type) {
                for (const usb_dev_t& v : daemon.volumes) send(tern::fb_usbd_dev_t(v));
            }
        }
        void handle_conn_lost() override { daemon.drop(this); }
        void handle_conn_err() override { daemon.drop(this); }
        void send(const tern::msg_t& m) {
            if (conn) conn->send_msg(&m);
        }

        daemon_t& daemon;
        std::unique_ptr<tern::conn_t> conn;
    };

    explicit daemon_t(const std::string& socket) : args_{"socket=" + socket} {}

    const std::vector<std::string>* get_args() override { return &args_; }
    bool get_passive() override { return true; }
    void conn_ready(tern::conn_t* c) override {
        peers.emplace_back(new peer_t(*this, c));
        c->start(peers.back().get());
    }
    void handle_conn_failed() override {
        tern_tool::diag(connector.get_desc());
        failed = true;
        if (loop) g_main_loop_quit(loop);
    }
    void handle_conn_status() override {}

    // Deleting a peer from inside its own callback is what the connection's guard allows;
    // the peer object itself goes at the next idle moment.
    void drop(peer_t* p) {
        for (auto it = peers.begin(); it != peers.end(); ++it) {
            if (it->get() != p) continue;
            p->conn.reset();
            dead.splice(dead.end(), peers, it);
            g_idle_add(
                [](void* self) -> gboolean {
                    static_cast<daemon_t*>(self)->dead.clear();
                    return G_SOURCE_REMOVE;
                },
                this);
            return;
        }
    }

    // A send may drop its peer (one that stopped reading or hung up), which moves it off the
    // list: walk a copy. A dropped peer lives on without its connection until the loop idles.
    void broadcast(const tern::msg_t& m) {
        std::vector<peer_t*> now;
        now.reserve(peers.size());
        for (auto& p : peers) now.push_back(p.get());
        for (peer_t* p : now) p->send(m);
    }

    void add(const std::string& arg, bool persistent) {
        usb_dev_t d = parse_volume(arg, persistent, next++);
        for (const usb_dev_t& v : volumes) {
            if (trimmed(v.mount_path) == trimmed(d.mount_path)) {
                tern_tool::diag("already a volume: " + d.mount_path);
                return;
            }
        }
        volumes.push_back(d);
        std::cout << "added " << d.dev_path << ' ' << d.mount_path << std::endl;
        broadcast(tern::fb_usbd_dev_t(d));
    }

    void remove(const std::string& dir) {
        for (auto it = volumes.begin(); it != volumes.end(); ++it) {
            if (trimmed(it->mount_path) != trimmed(dir)) continue;
            const std::string dev = it->dev_path;
            volumes.erase(it);
            std::cout << "removed " << dev << ' ' << dir << std::endl;
            broadcast(tern::fb_usbd_dev_gone_t(dev));
            return;
        }
        tern_tool::diag("no volume at " + dir);
    }

    void command(const std::string& line) {
        if (line.empty()) return;
        const std::string::size_type sp = line.find(' ');
        const std::string verb = line.substr(0, sp);
        const std::string arg = sp == std::string::npos ? std::string() : line.substr(sp + 1);
        if (arg.empty() && (verb == "add" || verb == "add-persistent" || verb == "remove")) {
            tern_tool::diag(verb + " needs a directory");
        } else if (verb == "add") {
            add(arg, false);
        } else if (verb == "add-persistent") {
            add(arg, true);
        } else if (verb == "remove") {
            remove(arg);
        } else {
            tern_tool::diag("unknown command: " + line);
        }
    }

    void readable() {
        char chunk[4096];
        const ssize_t n = ::read(0, chunk, sizeof chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
        if (n <= 0) {
            // No more commands; the volumes stay as they are and the daemon keeps serving.
            if (!pending.empty()) command(pending);
            pending.clear();
            input.stop();
            return;
        }
        pending.append(chunk, static_cast<std::size_t>(n));
        std::string::size_type nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            command(line);
        }
    }

    tern::connector_usock_stream_t connector;
    std::list<std::unique_ptr<peer_t>> peers, dead;
    std::vector<usb_dev_t> volumes;
    gio_t<daemon_t> input;
    std::string pending;
    unsigned int next = 0;
    GMainLoop* loop = nullptr;
    bool failed = false;

private:
    std::vector<std::string> args_;
};

// The socket file this process made, so that only it is removed at the end.
struct socket_file_t {
    std::string path;
    dev_t dev = 0;
    ino_t ino = 0;
    bool made = false;

    // Whether `path` may be served: nothing there, or a socket nobody answers on (left by a
    // daemon that died). A daemon that answers keeps its path; any other file is not ours.
    static bool free_to_serve(const std::string& path) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) return true;
        if (!S_ISSOCK(st.st_mode)) {
            tern_tool::diag("not a socket: " + path);
            return false;
        }
        sockaddr_un a{};
        if (path.size() >= sizeof a.sun_path) return true; // the connector says it is too long
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        a.sun_family = AF_UNIX;
        std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
        const bool answers =
            fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
        if (fd >= 0) ::close(fd);
        if (answers) tern_tool::diag("a daemon already answers on " + path);
        return !answers;
    }
    // Called once listening: what is at the path now is ours.
    void note(const std::string& p) {
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return;
        path = p;
        dev = st.st_dev;
        ino = st.st_ino;
        made = true;
    }
    void remove() const {
        struct stat st;
        if (made && ::lstat(path.c_str(), &st) == 0 && st.st_dev == dev && st.st_ino == ino)
            ::unlink(path.c_str());
    }
};

} // namespace

int main(int argc, char** argv) {
    tern_tool::set_program(argv[0]);
    std::string socket = tern::usbd_get_sockname();
    std::vector<std::pair<std::string, bool>> initial;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << usage << tern_tool::standard_usage;
            return 0;
        } else if (a == "--version") {
            return tern_tool::print_version();
        }
        if (a != "--socket" && a != "--volume" && a != "--persistent-volume") {
            tern_tool::diag("unknown option " + a + " (see --help)");
            return 2;
        }
        if (i + 1 >= argc || !*argv[i + 1]) {
            tern_tool::diag(a + " needs a value (see --help)");
            return 2;
        }
        const std::string v = argv[++i];
        if (a == "--socket")
            socket = v;
        else
            initial.emplace_back(v, a == "--persistent-volume");
    }
    std::signal(SIGPIPE, SIG_IGN);
    const bool file_name = !socket.empty() && socket[0] != '@';
    if (file_name && !socket_file_t::free_to_serve(socket)) return 1;

    daemon_t d(socket);
    for (const auto& v : initial) d.add(v.first, v.second);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    d.loop = loop;
    d.input.connect(&d, &daemon_t::readable);
    d.input.start(0, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
    d.connector.start(&d);
    socket_file_t made;
    if (!d.failed && file_name) made.note(socket);
    if (!d.failed) {
        const auto quit = [loop] { g_main_loop_quit(loop); };
        const tern_tool::signal_watch_t sigterm(SIGTERM, quit), sigint(SIGINT, quit);
        g_main_loop_run(loop);
    }
    d.input.stop();
    d.connector.stop();
    d.peers.clear();
    d.dead.clear();
    g_main_loop_unref(loop);
    made.remove();
    return d.failed ? 1 : 0;
}
