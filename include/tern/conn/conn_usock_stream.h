// Unix-domain stream sockets: a connector that listens (any number of peers) or connects
// (retrying once per second), and the connection it hands over.
#pragma once

#include <memory>
#include <string>

#include <tern/conn/conn.h>

namespace tern {

class connector_usock_stream_priv_t;
class conn_usock_stream_priv_t;

// Establishes Unix stream connections. The socket name is the client's "socket=NAME"
// argument, else the environment variable TERN_SOCKNAME; a name starting with '@' lives in the
// abstract namespace (no file). Passive: listens and hands over one connection per peer.
// Active: one connect attempt at start and one per tick (a second by default) after; with the
// default budget of 5 the fourth tick gives up with "connection timed out".
class connector_usock_stream_t : public connector_t {
public:
    connector_usock_stream_t();
    ~connector_usock_stream_t() override;

    // Stops anything running, then creates a new socket and listens or connects.
    void start(connector_client_t* c) override;
    // Stops the timer and the watch and closes the connector's socket; connections already
    // handed over live on.
    void stop() override;

    unsigned int retry_count() const;
    void set_retry_count(unsigned int n);
    // Milliseconds between attempts; 1000 by default. Taken at the next start.
    unsigned int retry_interval() const;
    void set_retry_interval(unsigned int ms);

private:
    friend class connector_usock_stream_priv_t;
    std::unique_ptr<connector_usock_stream_priv_t> priv_;
};

// One connected Unix stream socket; owns the descriptor and closes it when destroyed.
class conn_usock_stream_t : public conn_t {
public:
    // Takes ownership of the connected socket `fd` (-1: none, "not connected").
    explicit conn_usock_stream_t(int fd = -1);
    ~conn_usock_stream_t() override;

    // Writes the frame whole. A peer that leaves no room for send_timeout() is "lost
    // connection: Connection timed out" (handle_conn_lost()); a message too big for one frame
    // is refused and the connection stays up.
    bool send_msg(const msg_t* msg) override;
    void start(conn_client_t* c) override;
    void stop() override;

    // The socket's own name, when it has a non-empty one ("@name" for an abstract name).
    bool get_path(std::string& path);
    bool is_open() const;
    // Stops watching and closes the socket.
    void close();

private:
    friend class conn_usock_stream_priv_t;
    void readable();
    std::unique_ptr<conn_usock_stream_priv_t> priv_;
};

} // namespace tern
