#include "tern/conn/net_addr.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ostream>

unsigned int net_addr_loopback() {
    return 0x7F000001u;
}
unsigned int net_addr_any() {
    return 0;
}

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

bool ip_port_from_str(const char* text, unsigned short& port) {
    // strtoul alone would take "", " 80", "+80" and "-0": a port is digits only.
    if (text == nullptr || !is_digit(text[0])) return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 10);
    if (*end != '\0' || errno == ERANGE || v >= 65536) return false;
    port = static_cast<unsigned short>(v);
    return true;
}

bool ip_addr_from_str(const char* text, unsigned int& addr) {
    if (text == nullptr) return false;
    unsigned int result = 0;
    const char* p = text;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (*p != '.') return false;
            ++p;
        }
        if (!is_digit(*p)) return false;
        unsigned int octet = 0;
        // Leading zeros are allowed ("010" is 10), so count the value, not the digits.
        for (; is_digit(*p); ++p) {
            octet = octet * 10 + static_cast<unsigned int>(*p - '0');
            if (octet > 255) return false;
        }
        result = (result << 8) | octet;
    }
    addr = result;
    return true;
}

// Formatted apart from the stream so that its locale, base and fill never change the text.
std::ostream& operator<<(std::ostream& os, const ipaddr_str_t& a) {
    char text[16];
    std::snprintf(text, sizeof text, a.pad ? "%03u.%03u.%03u.%03u" : "%u.%u.%u.%u",
                  (a.addr >> 24) & 0xFFu, (a.addr >> 16) & 0xFFu, (a.addr >> 8) & 0xFFu,
                  a.addr & 0xFFu);
    return os << text;
}

std::ostream& operator<<(std::ostream& os, const hostport_str_t& hp) {
    char text[24];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", (hp.addr >> 24) & 0xFFu,
                  (hp.addr >> 16) & 0xFFu, (hp.addr >> 8) & 0xFFu, hp.addr & 0xFFu,
                  static_cast<unsigned int>(hp.port));
    return os << text;
}

void trim_fat_addr_string(const char* in, std::string& out) {
    if (in == nullptr) return;
    bool at_start = true; // at the start of an octet, still skipping zeros
    bool skipped = false; // zeros were skipped in this octet
    for (const char* p = in; *p != '\0'; ++p) {
        const char c = *p;
        if (c == '.') {
            if (at_start && skipped) out += '0';
            out += c;
            at_start = true;
            skipped = false;
        } else if (at_start && c == '0') {
            skipped = true;
        } else {
            at_start = false;
            out += c;
        }
    }
    if (at_start && skipped) out += '0';
}
