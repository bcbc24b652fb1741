// Loopback addresses and ports for the TCP tests.
#pragma once

#include <tern/conn/net.h>

namespace tern_test {

const unsigned kLoopback = 0x7F000001u; // 127.0.0.1

// A port nobody listens on: bound once by the kernel's choice, then released.
inline unsigned short free_port() {
    tcp_listener_t l;
    unsigned addr = 0;
    unsigned short port = 0;
    l.open();
    l.set_local_endpoint(kLoopback, 0);
    l.get_local_endpoint(addr, port);
    return port;
}

} // namespace tern_test
