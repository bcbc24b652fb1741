// The programs' message transports: "--connect ARG" and "--listen ARG", where ARG is
// "socket=NAME" (Unix stream socket; "@name" is abstract), "port=N" (TCP on the loopback
// interface) or "pipe" (the standard streams), run on a GLib main loop.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <tern/conn/conn.h>

namespace tern_tool {

// What --connect/--listen asked for; `used` stays false without either.
struct transport_opt_t {
    bool used = false;
    bool passive = false;
    std::vector<std::string> args; // the connector's client arguments
    enum kind_t : unsigned char { kind_socket, kind_port, kind_pipe } kind = kind_socket;
};

// Parses the value of --connect (passive false) or --listen (passive true). False with a
// one-line reason for an unknown or malformed ARG, or a second transport option.
bool parse_transport(const std::string& value, bool passive, transport_opt_t& opt,
                     std::string& why);

// When argv[i] is --connect or --listen, takes its value (moving i past it) and returns true;
// `status` is then 0, or 2 after a diagnostic for a missing or bad value. False for any other
// argument.
bool take_transport_option(int argc, char** argv, int& i, transport_opt_t& opt, int& status);

// Help text lines for the two options.
extern const char transport_usage[];

// One connection of a program: establishes it, starts it, and runs the main loop until the
// program calls quit(). Failures and the peer going away end up in the callbacks.
class link_t : public tern::connector_client_t, public tern::conn_client_t {
public:
    explicit link_t(const transport_opt_t& opt);
    ~link_t() override;

    std::function<void(tern::conn_t&)> on_ready;      // established and started
    std::function<void(tern::msg_decoder_t&)> on_msg; // one valid frame
    std::function<void(const std::string&)> on_lost;  // the peer went away
    std::function<void(const std::string&)> on_error; // cannot go on
    unsigned int bufsize = 2048;

    // Starts the connector and runs the loop until quit(); returns quit's status.
    int run();
    void quit(int status);
    // The established connection (null before and after).
    tern::conn_t* conn() { return conn_.get(); }
    // Closes the connection (the peer sees the hang-up).
    void close();

    const std::vector<std::string>* get_args() override { return &opt_.args; }
    bool get_passive() override { return opt_.passive; }
    void conn_ready(tern::conn_t* conn) override;
    void handle_conn_failed() override;
    void handle_conn_status() override;
    unsigned int get_bufsize() override { return bufsize; }
    void handle_conn_msg(tern::msg_decoder_t& dec) override;
    void handle_conn_lost() override;
    void handle_conn_err() override;

private:
    transport_opt_t opt_;
    std::unique_ptr<tern::connector_t> connector_;
    std::unique_ptr<tern::conn_t> conn_;
    void* loop_ = nullptr; // GMainLoop
    int status_ = 0;
};

} // namespace tern_tool
