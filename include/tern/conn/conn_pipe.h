// Connections over the process's standard streams (or any pair of descriptors), so a program
// started with redirected standard streams can talk the message protocol.
#pragma once

#include <memory>

#include <tern/conn/conn.h>

namespace tern {

class conn_pipe_priv_t;
class connector_pipe_priv_t;

// Reads frames from one descriptor and writes frames to another. The descriptors stay the
// caller's: the connection never closes them.
class conn_pipe_t : public conn_t {
public:
    conn_pipe_t(int read_fd, int write_fd);
    ~conn_pipe_t() override;

    bool send_msg(const msg_t* msg) override;
    // Watches the read descriptor for input and, separately, for hang-up.
    void start(conn_client_t* c) override;
    void stop() override;

private:
    friend class conn_pipe_priv_t;
    void readable();
    void hung_up();
    std::unique_ptr<conn_pipe_priv_t> priv_;
};

// Hands over, at every start, one connection on standard input and standard output.
class connector_pipe_t : public connector_t {
public:
    connector_pipe_t();
    ~connector_pipe_t() override;

    void start(connector_client_t* c) override;
    void stop() override;

private:
    std::unique_ptr<connector_pipe_priv_t> priv_;
};

} // namespace tern
