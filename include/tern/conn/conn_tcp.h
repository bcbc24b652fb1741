// Connections over TCP on the loopback interface.
//
// The port comes from the connector client's "port=N" argument, else from the environment
// variable TERN_PORT, else 7654.
#pragma once

#include <tern/conn/conn.h>

#include <memory>

class tcp_conn_t;

namespace tern {

class connector_tcp_priv_t;

// Establishes one TCP connection. Passive: listens on the port (any local address) and hands
// over the first peer, then stops listening; a failing accept gives up (handle_conn_failed())
// until the next start. Active: connects to 127.0.0.1 on the port, trying again once per tick
// (a second by default) after a failure, and gives up ("connection timed out") when the retry
// budget of ticks is spent.
class connector_tcp_t : public connector_t {
public:
    connector_tcp_t();
    ~connector_tcp_t() override;

    // Stops anything in progress, then listens or connects as the client asks.
    void start(connector_client_t* c) override;
    // Drops the listener, the pending socket and the timer, then the client.
    void stop() override;

    // Timer ticks (one per retry interval) an active connection may take; 5 by default. A new value
    // is read at the next tick.
    unsigned retry_count() const;
    void set_retry_count(unsigned n);
    // Milliseconds between ticks; 1000 by default. Taken at the next start.
    unsigned retry_interval() const;
    void set_retry_interval(unsigned ms);

private:
    friend class connector_tcp_priv_t;
    std::unique_ptr<connector_tcp_priv_t> priv_;
};

class conn_tcp_priv_t;

// An established TCP connection carrying frames.
class conn_tcp_t : public conn_t {
public:
    // Takes ownership of a connected socket (null: a connection that is closed).
    explicit conn_tcp_t(tcp_conn_t* sock);
    ~conn_tcp_t() override;

    // Writes the frame whole, waiting out a full send queue for send_timeout() at most. A
    // closed socket is "not connected" (handle_conn_err()); a failed or timed-out write is
    // "lost connection: ..." (handle_conn_lost()); a message too big for one frame is
    // refused and the connection stays up.
    bool send_msg(const msg_t* msg) override;
    // Sizes the receive buffer and starts reading when a client is set.
    void start(conn_client_t* c) override;
    void stop() override;

    // The peer's address and port; false when closed or unknown.
    bool get_peer(unsigned& addr, unsigned short& port) const;
    bool is_open() const;
    // Stops reading and closes the socket.
    void close();

private:
    friend class conn_tcp_priv_t;
    void on_read();
    void on_lost(const char* why);
    void on_err();

    std::unique_ptr<conn_tcp_priv_t> priv_;
};

} // namespace tern
