// Every message class of the catalogues, for tests that go over all of them.
#pragma once

#include <tern/msg/msg.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tern_test {

struct msg_class_t {
    std::string name;
    unsigned int category = 0;
    unsigned int type = 0;
    // Payload (hex) that fills every field; empty: 1000 bytes of 0x01, which make every bool
    // true, every number non-zero and every string and list one entry long.
    std::string pattern;
    std::function<std::unique_ptr<tern::msg_t>()> make;
    std::function<std::unique_ptr<tern::msg_t>(tern::msg_decoder_t&)> decode;
    std::function<std::unique_ptr<tern::msg_t>(const tern::msg_t&)> copy;
};

template <class M>
msg_class_t msg_class(std::string name, std::string pattern = std::string()) {
    const M proto;
    return {std::move(name),
            static_cast<unsigned int>(proto.category),
            M::msg_type,
            std::move(pattern),
            [] { return std::unique_ptr<tern::msg_t>(new M()); },
            [](tern::msg_decoder_t& d) { return std::unique_ptr<tern::msg_t>(new M(d)); },
            [](const tern::msg_t& src) {
                return std::unique_ptr<tern::msg_t>(new M(static_cast<const M&>(src)));
            }};
}

// The main connection's catalogue, by category, in type order.
const std::vector<msg_class_t>& command_classes();
const std::vector<msg_class_t>& feedback_classes();
const std::vector<msg_class_t>& data_classes();
// The USB daemon link's three messages.
const std::vector<msg_class_t>& usbd_classes();

// Decodes each class from its pattern, then checks that it reads exactly what it re-encodes,
// keeps the frame's port, and that a copy encodes the same. Classes named in `no_payload`
// carry nothing on the wire.
void expect_round_trips(const std::vector<msg_class_t>& classes,
                        const std::vector<std::string>& no_payload);

} // namespace tern_test
