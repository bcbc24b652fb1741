#include "common/sentence_server.h"

#include "common/program.h"

#include <sys/socket.h>

namespace tern_tool {

namespace {

// The kernel's own send buffer per client is kept small: what a stalled client has not taken
// must show in its queue, not lie unseen in megabytes of socket buffer that a plotter would
// read as stale positions when it wakes up.
constexpr gint kernel_send_buffer = 16 * 1024;

std::string socket_address_text(GSocketAddress* sa) {
    if (!G_IS_INET_SOCKET_ADDRESS(sa)) return "?";
    auto* isa = G_INET_SOCKET_ADDRESS(sa);
    gchar* host = g_inet_address_to_string(g_inet_socket_address_get_address(isa));
    const bool v6 =
        g_inet_address_get_family(g_inet_socket_address_get_address(isa)) == G_SOCKET_FAMILY_IPV6;
    std::string text = v6 ? "[" + std::string(host) + "]" : std::string(host);
    g_free(host);
    return text + ":" + std::to_string(g_inet_socket_address_get_port(isa));
}

// The reason of a GError, freed.
std::string take_message(GError* err) {
    std::string text = err ? err->message : "unknown error";
    if (err) g_error_free(err);
    return text;
}

} // namespace

struct sentence_server_t::client_t {
    sentence_server_t* server = nullptr;
    GSocketConnection* conn = nullptr;
    GSocket* sock = nullptr;
    std::string name;
    std::string queue; // bytes not yet taken by the socket, from `off` on
    std::size_t off = 0;
    GSource* in = nullptr;  // reads and ignores what the client sends
    GSource* out = nullptr; // while bytes are queued

    std::size_t pending() const { return queue.size() - off; }

    ~client_t() {
        for (GSource* s : {in, out}) {
            if (!s) continue;
            g_source_destroy(s);
            g_source_unref(s);
        }
        if (sock) g_socket_close(sock, nullptr);
        if (conn) g_object_unref(conn);
    }

    void stop_source(GSource*& s) {
        g_source_destroy(s);
        g_source_unref(s);
        s = nullptr;
    }

    // Sends what the socket takes now. False with a reason when the client is gone.
    bool flush(std::string& why) {
        while (pending() > 0) {
            GError* err = nullptr;
            const gssize n = g_socket_send(sock, queue.data() + off, pending(), nullptr, &err);
            if (n < 0) {
                if (g_error_matches(err, G_IO_ERROR, G_IO_ERROR_WOULD_BLOCK)) {
                    g_error_free(err);
                    break;
                }
                why = take_message(err);
                return false;
            }
            off += static_cast<std::size_t>(n);
        }
        if (pending() == 0) {
            queue.clear();
            off = 0;
        } else if (off > queue.size() / 2) {
            queue.erase(0, off);
            off = 0;
        }
        return true;
    }

    // Queues bytes and sends what the socket takes; false with a reason when the client is
    // gone.
    bool send(const unsigned char* data, std::size_t len, std::string& why) {
        queue.append(reinterpret_cast<const char*>(data), len);
        if (!flush(why)) return false;
        if (pending() > 0 && !out) {
            out = g_socket_create_source(sock, G_IO_OUT, nullptr);
            g_source_set_callback(out, G_SOURCE_FUNC(&client_t::writable), this, nullptr);
            g_source_attach(out, nullptr);
        }
        return true;
    }

    static gboolean writable(GSocket*, GIOCondition, gpointer p) {
        auto* c = static_cast<client_t*>(p);
        std::string why;
        if (!c->flush(why)) {
            c->server->drop(c, "client " + c->name + " went away: " + why);
            return G_SOURCE_REMOVE; // the source is already destroyed with the client
        }
        if (c->pending() > 0) return G_SOURCE_CONTINUE;
        c->stop_source(c->out);
        return G_SOURCE_REMOVE;
    }

    static gboolean readable(GSocket*, GIOCondition, gpointer p) {
        auto* c = static_cast<client_t*>(p);
        char buf[4096];
        GError* err = nullptr;
        const gssize n = g_socket_receive(c->sock, buf, sizeof buf, nullptr, &err);
        if (n > 0) return G_SOURCE_CONTINUE; // not ours to read: ignored
        if (n < 0 && g_error_matches(err, G_IO_ERROR, G_IO_ERROR_WOULD_BLOCK)) {
            g_error_free(err);
            return G_SOURCE_CONTINUE;
        }
        if (n < 0) {
            c->server->drop(c, "client " + c->name + " went away: " + take_message(err));
            return G_SOURCE_REMOVE;
        }
        // The client closed its sending side; it may still read, so only reading stops.
        c->stop_source(c->in);
        return G_SOURCE_REMOVE;
    }
};

sentence_server_t::sentence_server_t(std::size_t bound) : bound_(bound) {}

sentence_server_t::~sentence_server_t() {
    clients_.clear();
    if (service_) {
        g_socket_service_stop(service_);
        g_socket_listener_close(G_SOCKET_LISTENER(service_));
        g_object_unref(service_);
    }
}

bool sentence_server_t::listen(const std::string& arg, std::string& why, bool& bad_usage) {
    bad_usage = true;
    std::string host = "127.0.0.1", port = arg;
    if (!arg.empty() && arg[0] == '[') {
        const auto close = arg.find("]:");
        if (close == std::string::npos) {
            why = "--serve takes [HOST:]PORT, not " + arg;
            return false;
        }
        host = arg.substr(1, close - 1);
        port = arg.substr(close + 2);
    } else if (const auto colon = arg.rfind(':'); colon != std::string::npos) {
        host = arg.substr(0, colon);
        port = arg.substr(colon + 1);
        if (host.empty() || host.find(':') != std::string::npos) {
            why = "--serve takes [HOST:]PORT (an IPv6 host in brackets), not " + arg;
            return false;
        }
    }
    unsigned long long p = 0;
    if (!parse_unsigned(port.c_str(), 65535, p)) {
        why = "invalid TCP port " + port + " (0 to 65535)";
        return false;
    }
    bad_usage = false;

    GInetAddress* inet = g_inet_address_new_from_string(host.c_str());
    if (!inet) {
        GError* err = nullptr;
        GResolver* resolver = g_resolver_get_default();
        GList* found = g_resolver_lookup_by_name(resolver, host.c_str(), nullptr, &err);
        g_object_unref(resolver);
        if (!found) {
            why = "cannot resolve " + host + ": " + take_message(err);
            return false;
        }
        inet = G_INET_ADDRESS(g_object_ref(found->data));
        g_resolver_free_addresses(found);
    }
    GSocketAddress* sa = g_inet_socket_address_new(inet, static_cast<guint16>(p));
    g_object_unref(inet);
    service_ = g_socket_service_new();
    GSocketAddress* bound = nullptr;
    GError* err = nullptr;
    const bool ok =
        g_socket_listener_add_address(G_SOCKET_LISTENER(service_), sa, G_SOCKET_TYPE_STREAM,
                                      G_SOCKET_PROTOCOL_TCP, nullptr, &bound, &err);
    const std::string asked = socket_address_text(sa);
    g_object_unref(sa);
    if (!ok) {
        why = "cannot listen on " + asked + ": " + take_message(err);
        return false;
    }
    address_ = socket_address_text(bound);
    g_object_unref(bound);
    g_signal_connect(service_, "incoming", G_CALLBACK(&sentence_server_t::on_incoming), this);
    g_socket_service_start(service_);
    return true;
}

gboolean sentence_server_t::on_incoming(GSocketService*, GSocketConnection* conn, GObject*,
                                        gpointer self) {
    static_cast<sentence_server_t*>(self)->accept(conn);
    return TRUE;
}

void sentence_server_t::accept(GSocketConnection* conn) {
    std::unique_ptr<client_t> c(new client_t);
    c->server = this;
    c->conn = G_SOCKET_CONNECTION(g_object_ref(conn));
    c->sock = g_socket_connection_get_socket(conn);
    g_socket_set_blocking(c->sock, FALSE);
    g_socket_set_option(c->sock, SOL_SOCKET, SO_SNDBUF, kernel_send_buffer, nullptr);
    GSocketAddress* peer = g_socket_connection_get_remote_address(conn, nullptr);
    c->name = peer ? socket_address_text(peer) : std::string("?");
    if (peer) g_object_unref(peer);
    c->in = g_socket_create_source(c->sock, G_IO_IN, nullptr);
    g_source_set_callback(c->in, G_SOURCE_FUNC(&client_t::readable), c.get(), nullptr);
    g_source_attach(c->in, nullptr);
    diag("client " + c->name + " connected");
    clients_.push_back(std::move(c));
}

void sentence_server_t::drop(client_t* c, const std::string& why) {
    if (!why.empty()) diag(why);
    for (auto it = clients_.begin(); it != clients_.end(); ++it) {
        if (it->get() != c) continue;
        clients_.erase(it);
        return;
    }
}

void sentence_server_t::send(const unsigned char* data, std::size_t len) {
    for (auto it = clients_.begin(); it != clients_.end();) {
        client_t& c = **it;
        std::string why;
        if (!c.send(data, len, why)) {
            diag("client " + c.name + " went away: " + why);
        } else if (c.pending() > bound_) {
            diag("client " + c.name + " stopped reading: dropped with " +
                 std::to_string(c.pending()) + " bytes queued");
        } else {
            ++it;
            continue;
        }
        it = clients_.erase(it);
    }
}

bool sentence_server_t::queued() const {
    for (const auto& c : clients_)
        if (c->pending() > 0) return true;
    return false;
}

void sentence_server_t::finish(double linger_s) {
    if (service_) g_socket_service_stop(service_);
    bool expired = false;
    const guint deadline = g_timeout_add(
        static_cast<guint>(linger_s * 1000.0),
        [](gpointer p) {
            *static_cast<bool*>(p) = true;
            return gboolean(G_SOURCE_REMOVE);
        },
        &expired);
    while (queued() && !expired) g_main_context_iteration(nullptr, TRUE);
    if (!expired) g_source_remove(deadline);
    for (const auto& c : clients_) {
        if (c->pending() > 0)
            diag("client " + c->name + " did not take the last " + std::to_string(c->pending()) +
                 " bytes");
        else
            g_socket_shutdown(c->sock, FALSE, TRUE, nullptr);
    }
    clients_.clear();
}

} // namespace tern_tool
