// Event-driven IPv4 sockets: TCP streams, TCP listeners, UDP sockets and asynchronous host-name
// lookups.
//
// Addresses and ports are in host order (see net_addr.h); conversion to network order happens
// only at the system calls. No call throws: a failing call writes one line into the socket's
// description and returns false or a negative count. Sockets report readiness to a client
// object through watches on the GLib default main context; use them on that thread only.
#pragma once

#include <tern/conn/net_addr.h>
#include <tern/thread/desc.h>

#include <memory>
#include <string>

// Which direction(s) shutdown() closes.
enum shutdown_t : int { shutdown_read = 0, shutdown_write = 1, shutdown_both = 2 };

class ip_sock_priv_t;

// Common base of every socket: descriptor ownership, binding, blocking mode.
class ip_sock_t : public desc_t {
public:
    ip_sock_t(const ip_sock_t&) = delete;
    ip_sock_t& operator=(const ip_sock_t&) = delete;
    ~ip_sock_t() override;

    bool is_open() const;
    // Shuts both directions down and closes the descriptor; nothing when closed.
    virtual void close();
    bool shutdown(shutdown_t how);
    bool set_blocking(bool blocking);
    // Binds; on success the description reads "bound to a.b.c.d:port".
    bool set_local_endpoint(unsigned addr, unsigned short port);
    // Binds to the any-address.
    bool set_local_port(unsigned short port);
    // False when closed or when the system cannot tell.
    bool get_local_endpoint(unsigned& addr, unsigned short& port);

protected:
    explicit ip_sock_t(std::unique_ptr<ip_sock_priv_t> priv);
    ip_sock_priv_t* priv() const { return priv_.get(); }
    // Creates a socket of the given type (SOCK_STREAM, SOCK_DGRAM) unless one is open.
    bool open_type(int type);

private:
    std::unique_ptr<ip_sock_priv_t> priv_;
};

class tcp_conn_priv_t;

// A TCP stream socket. State: 0 not connected, 1 connecting, 2 connected. Events go to the
// client; a client may delete the socket from inside any of its calls.
class tcp_conn_t : public ip_sock_t {
public:
    // Receiver of a socket's events; every call has an empty default.
    class client_t {
    public:
        virtual ~client_t() = default;
        // The connection attempt ended; ok tells whether it succeeded.
        virtual void tcp_conn_connected(bool ok) { (void)ok; }
        virtual void tcp_conn_hup() {}
        virtual void tcp_conn_err() {}
        virtual void tcp_conn_read() {}
        virtual void tcp_conn_write() {}
    };

    tcp_conn_t();
    // Wraps an accepted descriptor: state 1 until its first writable event confirms it.
    tcp_conn_t(int fd, unsigned addr, unsigned short port);
    ~tcp_conn_t() override;

    bool open();
    void close() override;
    void set_client(client_t* client);
    client_t* get_client() const;

    // Starts connecting; returns 0 when it failed at once, 1 while in progress, 2 when
    // connected at once. Immediate outcomes are also reported to the client.
    int connect(unsigned addr, unsigned short port);
    int get_state() const;
    // False while no remote endpoint is known.
    bool get_remote_endpoint(unsigned& addr, unsigned short& port) const;

    void set_read_watch(bool on);
    void set_write_watch(bool on);
    bool get_read_watch() const;
    bool get_write_watch() const;

    // One send without SIGPIPE; waits out a full send queue for send_timeout() at most, then
    // fails with "send(): err=110 Connection timed out". Returns the bytes accepted (possibly
    // fewer than len) or a negative count on error.
    int send(const void* buf, unsigned len);
    static constexpr unsigned default_send_timeout_ms = 3000;
    void set_send_timeout(unsigned ms);
    unsigned send_timeout() const;
    // One recv; negative on error, 0 when the peer closed or len is 0.
    int recv(void* buf, unsigned len);
    // The same with system recv flags (MSG_DONTWAIT to read only what is already there).
    int recv(void* buf, unsigned len, int flags);

private:
    tcp_conn_priv_t* p() const;
};

class tcp_listener_priv_t;

// A listening TCP socket handing each accepted peer to its client as a new tcp_conn_t.
class tcp_listener_t : public ip_sock_t {
public:
    class client_t {
    public:
        virtual ~client_t() = default;
        // The client takes ownership of sock.
        virtual void tcp_listener_accept(tcp_conn_t* sock, unsigned addr, unsigned short port) = 0;
        virtual void tcp_listener_accept_fail() = 0;
    };

    tcp_listener_t();
    ~tcp_listener_t() override;

    // Creates the socket with SO_REUSEADDR; description "open".
    bool open();
    bool listen(client_t* client, int backlog);
    void close() override;
    client_t* get_client() const;

private:
    tcp_listener_priv_t* p() const;
};

class udp_sock_priv_t;

// A UDP socket; the client is told when a datagram can be read.
class udp_sock_t : public ip_sock_t {
public:
    class client_t {
    public:
        virtual ~client_t() = default;
        virtual void udp_sock_readable() = 0;
    };

    udp_sock_t();
    ~udp_sock_t() override;

    bool open();
    void close() override;
    void set_client(client_t* client);
    client_t* get_client() const;
    void set_read_watch(bool on);
    bool get_read_watch() const;

    // Connects the socket to one peer.
    bool set_remote_endpoint(unsigned addr, unsigned short port);
    // True only when all len bytes went out.
    bool send(const void* buf, unsigned len);
    bool sendto(const void* buf, unsigned len, unsigned addr, unsigned short port);
    // One datagram; 0 (description unchanged) when refused because of an earlier datagram,
    // -1 on other errors.
    int recv(void* buf, unsigned len);
    // Sender of the last datagram received; false when none is known.
    bool get_from_addr(unsigned& addr, unsigned short& port) const;

private:
    udp_sock_priv_t* p() const;
};

class gethost_priv_t;

// Resolves host names on a detached thread and delivers each result on the main loop.
class gethost_client_t {
public:
    gethost_client_t();
    gethost_client_t(const gethost_client_t&) = delete;
    gethost_client_t& operator=(const gethost_client_t&) = delete;
    // Outstanding results are dropped.
    virtual ~gethost_client_t();

    // Starts a lookup; returns its id (never 0), or 0 when it could not be started.
    unsigned lookup(const std::string& name);
    // Drops the result of one lookup.
    void cancel_lookup(unsigned id);
    // Drops every outstanding result.
    void cancel_all();

    // The result of lookup id, on the main loop; addr is 0 when the name did not resolve.
    virtual void gethost_result(unsigned id, unsigned addr) = 0;

private:
    friend class gethost_priv_t;
    std::unique_ptr<gethost_priv_t> priv_;
};

// Nothing to prepare on this platform; always true.
bool net_init(std::string* err);
int net_errno();
bool net_errno_blocking(int e);
std::string net_err_str();
std::string net_err_str(int e);
// A dotted address as it is, else the first IPv4 address the resolver gives; false when
// nothing resolves. Blocks: use gethost_client_t on the main loop.
bool resolve_host(const std::string& name, unsigned& addr);
