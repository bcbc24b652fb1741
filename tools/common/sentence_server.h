// A TCP server that hands the same byte stream to every client that connects, from the
// moment it connects (tern-nmea --serve: chart plotters read NMEA over TCP, commonly on port
// 10110). GLib's socket service accepts on the default main context; each client has a queue
// of its own, written as its socket takes it, so a slow client never holds up the caller or
// the other clients. A client whose queue passes the bound has stopped reading: it is dropped
// with one line on standard error. Bytes a client sends are read and ignored.
#pragma once

#include <gio/gio.h>

#include <cstddef>
#include <list>
#include <memory>
#include <string>

namespace tern_tool {

class sentence_server_t {
public:
    static constexpr std::size_t default_bound = 64 * 1024;

    explicit sentence_server_t(std::size_t bound = default_bound);
    ~sentence_server_t();
    sentence_server_t(const sentence_server_t&) = delete;
    sentence_server_t& operator=(const sentence_server_t&) = delete;

    // Listens on "[HOST:]PORT" (HOST 127.0.0.1 when absent; an IPv6 HOST in brackets; PORT 0
    // picks a free port). False with a one-line reason: `bad_usage` is set for a malformed
    // text, clear for a host that does not resolve or an address that cannot be bound.
    bool listen(const std::string& arg, std::string& why, bool& bad_usage);
    // "HOST:PORT" actually listened on.
    const std::string& address() const { return address_; }

    // Queues `len` bytes for every connected client and sends what each socket takes now.
    void send(const unsigned char* data, std::size_t len);
    // The end of the stream: gives the clients up to `linger_s` seconds to take what is still
    // queued for them (dropping those that do not, with a line each), then closes every
    // connection and stops listening.
    void finish(double linger_s);

    std::size_t clients() const { return clients_.size(); }

    struct client_t;

private:
    static gboolean on_incoming(GSocketService*, GSocketConnection* conn, GObject*, gpointer self);
    void accept(GSocketConnection* conn);
    // Removes a client: `why` (if not empty) is said on standard error first.
    void drop(client_t* c, const std::string& why);
    bool queued() const;

    friend struct client_t;
    std::size_t bound_;
    GSocketService* service_ = nullptr;
    std::string address_;
    std::list<std::unique_ptr<client_t>> clients_;
};

} // namespace tern_tool
