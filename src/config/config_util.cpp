#include "tern/config/config_util.h"

#include <cstddef>

namespace tern {

namespace {

template <std::size_t N>
const char* pick(const char* const (&texts)[N], int v) {
    return (v >= 0 && static_cast<std::size_t>(v) < N) ? texts[v] : "Unknown";
}

} // namespace

const char* data_bits_string(int v) {
    static const char* const texts[] = {"7", "8"};
    return pick(texts, v);
}

const char* parity_string(int v) {
    static const char* const texts[] = {"None", "Odd", "Even"};
    return pick(texts, v);
}

const char* stop_bits_string(int v) {
    static const char* const texts[] = {"1", "2"};
    return pick(texts, v);
}

const char* flow_control_string(int v) {
    static const char* const texts[] = {"None", "Tern"};
    return pick(texts, v);
}

const char* net_port_protocol_string(int v) {
    static const char* const texts[] = {"UDP", "TCP Listen", "TCP Connect"};
    return pick(texts, v);
}

} // namespace tern
