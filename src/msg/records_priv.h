// Reading and writing the records' key/value forms: what every record loader shares.
#pragma once

#include <tern/conn/net_addr.h>

#include <keelconfig/KeelConfig.h>

#include <locale>
#include <sstream>
#include <string>

namespace tern {

// A key's value converted to T: false when the key is missing or its text does not convert
// (the store's own get() cannot tell the second case apart).
template <class T>
bool read_key(const KeelConfig& cfg, const std::string& key, T& value) {
    using ::operator>>;
    KeelConfig::const_iterator it;
    if (!cfg.find(key, it)) return false;
    return it->value >> value;
}

// A dotted IPv4 address; the address is untouched unless the key is there and parses.
inline bool read_ip(const KeelConfig& cfg, const std::string& key, unsigned int& addr) {
    std::string text;
    if (!read_key(cfg, key, text)) return false;
    unsigned int v = 0;
    if (!ip_addr_from_str(text.c_str(), v)) return false;
    addr = v;
    return true;
}

// The unpadded dotted text of an address, whatever the process locale.
inline std::string dotted(unsigned int addr) {
    std::ostringstream os;
    os.imbue(std::locale::classic());
    os << ipaddr_str_t(addr);
    return os.str();
}

} // namespace tern
