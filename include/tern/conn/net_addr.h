// IPv4 addresses and ports as text.
//
// An address is an unsigned 32-bit number in host order, first octet in the most significant
// byte (127.0.0.1 is 0x7F000001); a port is an unsigned 16-bit number in host order.
#pragma once

#include <iosfwd>
#include <string>

// 127.0.0.1.
unsigned int net_addr_loopback();
// 0.0.0.0.
unsigned int net_addr_any();

// Decimal port number; the whole text must be digits and the value below 65536. The port is
// untouched on failure.
bool ip_port_from_str(const char* text, unsigned short& port);

// Dotted address "a.b.c.d", each part decimal and below 256. Text after the fourth number is
// not examined. The address is untouched on failure.
bool ip_addr_from_str(const char* text, unsigned int& addr);

// Prints an address in dotted form; with `pad` every octet is three digits wide, zero-filled.
struct ipaddr_str_t {
    unsigned int addr = 0;
    bool pad = false;

    explicit ipaddr_str_t(unsigned int a, bool p = false) : addr(a), pad(p) {}
};
std::ostream& operator<<(std::ostream& os, const ipaddr_str_t& a);

// Prints "a.b.c.d:port".
struct hostport_str_t {
    unsigned int addr = 0;
    unsigned short port = 0;

    hostport_str_t(unsigned int a, unsigned short p) : addr(a), port(p) {}
};
std::ostream& operator<<(std::ostream& os, const hostport_str_t& hp);

// Appends `in` to `out` with the leading zeros of each octet dropped ("010.000.000.001"
// becomes "10.0.0.1"); an octet of zeros only becomes "0".
void trim_fat_addr_string(const char* in, std::string& out);
