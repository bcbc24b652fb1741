// Transport-neutral connections: a connection cuts received bytes into frames and hands them to
// its owner; a connector establishes connections (by listening or by connecting) and retries.
//
// Everything here runs on the thread of the GLib main loop; nothing locks. Failures write one
// line into the failing object's description (desc_t) and make one call on its owner.
#pragma once

#include <string>
#include <vector>

#include <tern/conn/buf.h>
#include <tern/msg/msg.h>
#include <tern/thread/desc.h>

namespace tern {

class conn_t;

// Interface of whoever owns an established connection. The connection calls it from the main
// loop; any of these calls may delete the connection.
class conn_client_t {
public:
    virtual ~conn_client_t();
    // Receive-buffer capacity in bytes, asked once at start: also the longest frame that can
    // ever be received.
    virtual unsigned int get_bufsize();
    // One complete, checksum-valid frame is loaded in `dec`; build the message before returning.
    virtual void handle_conn_msg(msg_decoder_t& dec) = 0;
    // The peer went away; the connection's description says how.
    virtual void handle_conn_lost() = 0;
    // A buffer, read or write error; the connection's description says which.
    virtual void handle_conn_err() = 0;
};

// One established byte stream carrying frames.
class conn_t : public desc_t {
public:
    conn_t();
    conn_t(const conn_t&) = delete;
    conn_t& operator=(const conn_t&) = delete;
    // Resets the default connection when this is it.
    ~conn_t() override;

    // Encodes `msg` into one frame and writes it whole. False (with a description line and a
    // client notification) when it was not written.
    virtual bool send_msg(const msg_t* msg) = 0;
    // Sets the owner (null: none) and sizes the receive buffer from its get_bufsize();
    // concrete connections then watch their descriptor for input. Frames that were buffered
    // when the connection was stopped are delivered from the main loop.
    virtual void start(conn_client_t* c);
    // Clears the owner and reads no more; descriptor and buffered bytes stay, undelivered,
    // for a later start().
    virtual void stop();
    virtual conn_client_t* get_client();

    // How long send_msg waits for a peer that does not read before it reports the connection
    // lost, in milliseconds (default_send_timeout_ms).
    static constexpr unsigned int default_send_timeout_ms = 3000;
    void set_send_timeout(unsigned int ms) { send_timeout_ms_ = ms; }
    unsigned int send_timeout() const { return send_timeout_ms_; }

    // Process-wide default connection; returns the previous one.
    static conn_t* set_default(conn_t* c);
    static conn_t* get_default();

    // Bytes received and not decoded yet (a partial frame waits at the front).
    const buf_t& get_rxbuf() const { return rxbuf; }

protected:
    // Tells whether the connection still exists after calls that may have deleted it: a
    // transport creates one on the stack before notifying its client.
    class guard_t {
    public:
        explicit guard_t(conn_t& c);
        guard_t(const guard_t&) = delete;
        guard_t& operator=(const guard_t&) = delete;
        ~guard_t();
        bool alive() const { return conn_ != nullptr; }

    private:
        friend class conn_t;
        conn_t* conn_;
        guard_t* next_ = nullptr;
    };

    // Decodes the valid bytes of the receive buffer, handing every valid frame to the client,
    // and consumes what was used. A start byte whose length field claims a longer frame than
    // msg_encoder_t::max_frame is garbage. Stops at once when the client stops the
    // connection, keeping the rest. False when the client deleted the connection meanwhile.
    bool decode();
    // Before every read: a full buffer is a "buffer overflow" (description and
    // handle_conn_err()). True when the buffer is full; the caller must not touch the
    // connection when `g` says it is gone.
    bool check_overflow();

    // The common receive path on a descriptor: check_overflow(), one read() of at most
    // free_size() bytes (none when full), add and decode. Returns the count read (>0), 0 for
    // end of stream, -1 for a read error (errno kept), or recv_full / recv_gone. With
    // recv_flags >= 0 the descriptor is a socket read with recv() and those flags.
    static constexpr long recv_full = -2; // the buffer was full; nothing was read
    static constexpr long recv_gone = -3; // the client deleted the connection
    long receive_from(int fd, int recv_flags = -1);
    // The same for a socket, reading on while reads fill the buffer (at most a few times, so
    // other sources get their turn): one wake-up takes what a fast peer has queued. Returns
    // as receive_from; a later read that finds nothing waiting returns the bytes read so far.
    // `fd` is looked at again before every read: once the client closed the socket (fd < 0)
    // or stopped the connection, nothing more is read.
    long receive_socket(const int& fd);
    // Encodes `msg` into `enc`. A message that does not fit in one frame is no fault of the
    // connection: false with a description line and no client call.
    bool encode_frame(const msg_t* msg, msg_encoder_t& enc);

    conn_client_t* client = nullptr;
    msg_decoder_t decoder;
    buf_t rxbuf;

private:
    static int deliver_buffered(void* self);
    void cancel_delivery();

    guard_t* guards_ = nullptr;
    unsigned int send_timeout_ms_ = default_send_timeout_ms;
    unsigned int delivery_ = 0; // main-loop source delivering buffered frames after a restart
    bool decoding_ = false;     // decode() is on the stack (a handler may run a nested loop)
};

// Interface of whoever wants a connection.
class connector_client_t {
public:
    virtual ~connector_client_t();
    // key=value arguments that configure the connector ("socket=NAME", "port=N"), or null.
    virtual const std::vector<std::string>* get_args() = 0;
    // True: listen and wait for peers; false: connect actively.
    virtual bool get_passive() = 0;
    // A new established connection; the client owns it from now on and starts it.
    virtual void conn_ready(conn_t* conn) = 0;
    // The connector gave up; its description says why.
    virtual void handle_conn_failed() = 0;
    // The connector's description changed (listening, an attempt failed); informational.
    virtual void handle_conn_status() = 0;
};

// Establishes connections and hands each to its client; it neither watches nor owns them after.
class connector_t : public desc_t {
public:
    connector_t() = default;
    connector_t(const connector_t&) = delete;
    connector_t& operator=(const connector_t&) = delete;
    ~connector_t() override;

    // Stores the client; a concrete connector then reads its arguments and begins.
    virtual void start(connector_client_t* c);
    // A concrete connector tears down its listener, socket and timers, then clears the client.
    virtual void stop();
    virtual connector_client_t* get_client();

protected:
    connector_client_t* client = nullptr;
};

// Process-wide connection used by send_msg(); returns the previous one and resets the
// dropped-message flag.
conn_t* set_send_msg_conn(conn_t* c);
// Sends on the send-message connection; without one the message is dropped silently (only
// send_msg_dropped() tells). True when it was written.
bool send_msg(const msg_t* msg);
// True once a message was dropped for want of a send-message connection.
bool send_msg_dropped();

} // namespace tern
