// Recording owners of connections and connectors, for tests of the transports and of anything
// that talks over them.
#pragma once

#include <tern/conn/conn.h>

#include <glib.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace tern_test {

inline double mono_now() {
    return static_cast<double>(g_get_monotonic_time()) / 1e6;
}

// How many of `events` begin with `prefix`.
inline std::size_t count_prefix(const std::vector<std::string>& events, const std::string& prefix) {
    std::size_t n = 0;
    for (const auto& e : events) n += e.compare(0, prefix.size(), prefix) == 0;
    return n;
}

// Owns one connection and writes down what it is told: "msg C/T/P", "lost: DESC", "err: DESC".
struct conn_recorder_t : tern::conn_client_t {
    std::unique_ptr<tern::conn_t> conn;
    std::vector<std::string> events;
    unsigned int bufsize = 2048;
    bool close_on_fault = false;  // delete the connection on a loss or an error
    std::function<void()> on_msg; // called after each message is written down

    unsigned int get_bufsize() override { return bufsize; }
    void handle_conn_msg(tern::msg_decoder_t& dec) override {
        std::ostringstream os;
        os << "msg " << dec.category() << '/' << dec.type() << '/' << dec.port();
        events.push_back(os.str());
        if (on_msg) on_msg();
    }
    void handle_conn_lost() override { fault("lost: "); }
    void handle_conn_err() override { fault("err: "); }
    std::size_t count(const std::string& prefix) const { return count_prefix(events, prefix); }

private:
    void fault(const char* what) {
        events.push_back(what + (conn ? conn->get_desc() : std::string("?")));
        if (close_on_fault) conn.reset();
    }
};

// A connector's owner: keeps the connections it is handed and writes down
// "ready", "failed: DESC" and "status: DESC", with the time of each.
struct connector_recorder_t : tern::connector_client_t {
    tern::connector_t* connector = nullptr;
    std::vector<std::string> args;
    bool use_args = true; // false: no arguments at all
    bool passive = false;
    std::vector<std::unique_ptr<tern::conn_t>> conns;
    std::vector<std::string> events;
    std::vector<double> times;
    std::function<void()> on_status, on_failed; // called after each is written down

    std::size_t count(const std::string& prefix) const { return count_prefix(events, prefix); }

    const std::vector<std::string>* get_args() override { return use_args ? &args : nullptr; }
    bool get_passive() override { return passive; }
    void conn_ready(tern::conn_t* c) override {
        conns.emplace_back(c);
        note("ready");
    }
    void handle_conn_failed() override {
        note("failed: " + connector->get_desc());
        if (on_failed) on_failed();
    }
    void handle_conn_status() override {
        note("status: " + connector->get_desc());
        if (on_status) on_status();
    }

private:
    void note(const std::string& e) {
        events.push_back(e);
        times.push_back(mono_now());
    }
};

} // namespace tern_test
