#include "common/transport.h"

#include "common/program.h"

#include <glib.h>

#include <tern/conn/conn_pipe.h>
#include <tern/conn/conn_tcp.h>
#include <tern/conn/conn_usock_stream.h>

namespace tern_tool {

const char transport_usage[] =
    "  --connect ARG        connect to a peer: socket=NAME (Unix socket, @NAME abstract),\n"
    "                       port=N (TCP on 127.0.0.1) or pipe (standard streams)\n"
    "  --listen ARG         the same, waiting for the peer to connect\n";

bool take_transport_option(int argc, char** argv, int& i, transport_opt_t& opt, int& status) {
    const std::string a = argv[i];
    if (a != "--connect" && a != "--listen") return false;
    status = 0;
    std::string why;
    bool ok = false;
    if (i + 1 >= argc)
        why = a + " needs a value (see --help)";
    else
        ok = parse_transport(argv[++i], a == "--listen", opt, why);
    if (!ok) {
        diag(why);
        status = 2;
    }
    return true;
}

bool parse_transport(const std::string& value, bool passive, transport_opt_t& opt,
                     std::string& why) {
    if (opt.used) {
        why = "only one of --connect and --listen may be given";
        return false;
    }
    opt = transport_opt_t();
    opt.passive = passive;
    if (value == "pipe") {
        opt.kind = transport_opt_t::kind_pipe;
    } else if (value.compare(0, 7, "socket=") == 0 && value.size() > 7) {
        opt.kind = transport_opt_t::kind_socket;
        opt.args.push_back(value);
    } else if (value.compare(0, 5, "port=") == 0) {
        unsigned long long port = 0;
        if (!parse_unsigned(value.c_str() + 5, 65535, port) || port == 0) {
            why = "invalid port in " + value + " (1 to 65535)";
            return false;
        }
        opt.kind = transport_opt_t::kind_port;
        opt.args.push_back(value);
    } else {
        why = "unknown transport " + value + " (socket=NAME, port=N or pipe)";
        return false;
    }
    opt.used = true;
    return true;
}

link_t::link_t(const transport_opt_t& opt) : opt_(opt) {
    switch (opt_.kind) {
    case transport_opt_t::kind_pipe:
        connector_.reset(new tern::connector_pipe_t);
        break;
    case transport_opt_t::kind_port:
        connector_.reset(new tern::connector_tcp_t);
        break;
    case transport_opt_t::kind_socket:
        connector_.reset(new tern::connector_usock_stream_t);
        break;
    }
}

link_t::~link_t() {
    if (connector_) connector_->stop();
    conn_.reset();
    if (loop_) g_main_loop_unref(static_cast<GMainLoop*>(loop_));
}

int link_t::run() {
    loop_ = g_main_loop_new(nullptr, FALSE);
    status_ = -1;
    connector_->start(this);
    if (status_ == -1) g_main_loop_run(static_cast<GMainLoop*>(loop_));
    return status_;
}

void link_t::quit(int status) {
    status_ = status;
    if (loop_) g_main_loop_quit(static_cast<GMainLoop*>(loop_));
}

void link_t::close() {
    if (conn_) conn_->stop();
    conn_.reset();
}

void link_t::conn_ready(tern::conn_t* conn) {
    // One peer per run: later ones are turned away.
    if (conn_) {
        delete conn;
        return;
    }
    conn_.reset(conn);
    connector_->stop();
    conn_->start(this);
    if (conn_ && on_ready) on_ready(*conn_);
}

void link_t::handle_conn_failed() {
    const std::string why = connector_->get_desc();
    if (on_error) on_error(why);
}

void link_t::handle_conn_status() {
    std::string what = connector_->get_desc();
    // Some descriptions end in their own line end; diag adds one.
    while (!what.empty() && (what.back() == '\n' || what.back() == '\r')) what.pop_back();
    if (!what.empty()) diag(what);
}

void link_t::handle_conn_msg(tern::msg_decoder_t& dec) {
    if (on_msg) on_msg(dec);
}

void link_t::handle_conn_lost() {
    const std::string why = conn_ ? conn_->get_desc() : std::string("lost connection");
    if (on_lost) on_lost(why);
}

void link_t::handle_conn_err() {
    const std::string why = conn_ ? conn_->get_desc() : std::string("connection error");
    if (on_error) on_error(why);
}

} // namespace tern_tool
