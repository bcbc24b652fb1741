// The process-wide thread-message dispatcher: senders on any thread write the address of a
// small record to one end of a datagram socket pair; the main loop reads the other end and
// hands each message to the listener registered for its id.
#include <tern/thread/thread.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <new>
#include <thread>

#include <glib.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tern {

namespace {

// What one datagram points at; allocated by the sender, freed by the dispatcher.
struct tmsg_rec_t {
    std::uint32_t id;
    tmsg_t* msg;
};

// Set once the dispatcher is destroyed at exit, so late calls fail instead of touching it.
std::atomic<bool> dispatcher_gone{false};

class tmsg_dispatcher_t {
public:
    tmsg_dispatcher_t() = default;
    tmsg_dispatcher_t(const tmsg_dispatcher_t&) = delete;
    tmsg_dispatcher_t& operator=(const tmsg_dispatcher_t&) = delete;
    ~tmsg_dispatcher_t();

    unsigned int listen(tmsg_listener_t* listener);
    bool cancel(unsigned int id);
    bool remove_listener(tmsg_listener_t* listener);
    int send(unsigned int id, tmsg_t* msg);

private:
    bool init();
    void dispatch(unsigned int id, tmsg_t* msg);
    static gboolean io_func(GIOChannel*, GIOCondition, gpointer data);
    // Reads one datagram holding a record's address; null when none or not a whole one.
    tmsg_rec_t* read_record(bool* again) const;

    std::atomic<int> sock0_{-1}; // read by the main loop
    std::atomic<int> sock1_{-1}; // written by senders
    std::map<unsigned int, tmsg_listener_t*> listeners_;
    GIOChannel* channel_ = nullptr;
    unsigned int watch_ = 0;
    unsigned int next_id_ = 1;
    // The thread that set the dispatcher up, the one that runs the loop reading socket [0].
    std::atomic<std::thread::id> home_{std::thread::id()};
};

tmsg_dispatcher_t::~tmsg_dispatcher_t() {
    dispatcher_gone = true;
    if (watch_ != 0) g_source_remove(watch_);
    if (channel_) g_io_channel_unref(channel_);
    // Messages still queued are deleted unread rather than leaked.
    if (sock0_ >= 0) {
        bool again = true;
        while (again) {
            tmsg_rec_t* rec = read_record(&again);
            if (!rec) continue;
            delete rec->msg;
            delete rec;
        }
        close(sock0_);
    }
    if (sock1_ >= 0) close(sock1_);
}

bool tmsg_dispatcher_t::init() {
    if (sock0_ >= 0) return true;
    int sv[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, sv) != 0) return false;
    home_ = std::this_thread::get_id();
    sock0_ = sv[0];
    sock1_ = sv[1];
    channel_ = g_io_channel_unix_new(sv[0]);
    watch_ = g_io_add_watch(channel_, G_IO_IN, &tmsg_dispatcher_t::io_func, this);
    return true;
}

unsigned int tmsg_dispatcher_t::listen(tmsg_listener_t* listener) {
    if (!init()) return 0;
    // 0 means failure, so it is skipped when the counter wraps.
    while (next_id_ == 0 || listeners_.count(next_id_) != 0) ++next_id_;
    const unsigned int id = next_id_++;
    listeners_[id] = listener;
    return id;
}

bool tmsg_dispatcher_t::cancel(unsigned int id) {
    return listeners_.erase(id) != 0;
}

bool tmsg_dispatcher_t::remove_listener(tmsg_listener_t* listener) {
    bool found = false;
    for (auto it = listeners_.begin(); it != listeners_.end();) {
        if (it->second == listener) {
            it = listeners_.erase(it);
            found = true;
        } else {
            ++it;
        }
    }
    return found;
}

int tmsg_dispatcher_t::send(unsigned int id, tmsg_t* msg) {
    const int fd = sock1_;
    if (fd < 0) return -1;
    auto* rec = new (std::nothrow) tmsg_rec_t{id, msg};
    if (!rec) return -1;
    // Workers wait while the queue is full; the loop's own thread must not, since it is the
    // only reader: there a full queue is reported as a failed send.
    int flags = MSG_NOSIGNAL;
    if (std::this_thread::get_id() == home_.load()) flags |= MSG_DONTWAIT;
    ssize_t n = -1;
    do {
        n = ::send(fd, &rec, sizeof rec, flags);
    } while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(sizeof rec)) {
        delete rec; // nothing was queued: the message stays the sender's
        return -1;
    }
    return static_cast<int>(n);
}

tmsg_rec_t* tmsg_dispatcher_t::read_record(bool* again) const {
    unsigned char buf[sizeof(tmsg_rec_t*)];
    ssize_t n = -1;
    do {
        // MSG_TRUNC reports the datagram's real length, so an oversized one is not mistaken
        // for a record.
        n = recv(sock0_, buf, sizeof buf, MSG_DONTWAIT | MSG_TRUNC);
    } while (n < 0 && errno == EINTR);
    *again = n >= 0;
    if (n != static_cast<ssize_t>(sizeof buf)) return nullptr;
    tmsg_rec_t* rec = nullptr;
    std::memcpy(&rec, buf, sizeof rec);
    return rec;
}

gboolean tmsg_dispatcher_t::io_func(GIOChannel*, GIOCondition, gpointer data) {
    auto* self = static_cast<tmsg_dispatcher_t*>(data);
    bool again = false;
    tmsg_rec_t* rec = self->read_record(&again);
    if (!rec) return G_SOURCE_CONTINUE;
    const tmsg_rec_t r = *rec;
    delete rec;
    self->dispatch(r.id, r.msg);
    return G_SOURCE_CONTINUE;
}

void tmsg_dispatcher_t::dispatch(unsigned int id, tmsg_t* msg) {
    const auto it = listeners_.find(id);
    tmsg_listener_t* listener = it != listeners_.end() ? it->second : nullptr;
    if (listener && listener->tmsg_receive(id, msg)) return;
    delete msg;
}

// Made on first use, so listeners built by other static constructors find it ready.
tmsg_dispatcher_t& the_dispatcher() {
    static tmsg_dispatcher_t d;
    return d;
}

// Created when the library is loaded.
[[maybe_unused]] const bool dispatcher_made = (the_dispatcher(), true);

} // namespace

tmsg_listener_t::~tmsg_listener_t() {
    tmsg_remove_listener(this);
}

unsigned int tmsg_listen(tmsg_listener_t* listener) {
    if (dispatcher_gone) return 0;
    return the_dispatcher().listen(listener);
}

bool tmsg_cancel(unsigned int id) {
    if (dispatcher_gone) return false;
    return the_dispatcher().cancel(id);
}

bool tmsg_remove_listener(tmsg_listener_t* listener) {
    if (dispatcher_gone) return false;
    return the_dispatcher().remove_listener(listener);
}

int tmsg_send(unsigned int id, tmsg_t* msg) {
    if (dispatcher_gone) return -1;
    return the_dispatcher().send(id, msg);
}

} // namespace tern
