// The messages of a recorded stream of frames, for tests that replay one.
#pragma once
#include <tern/msg/catalogue.h>
#include <tern/msg/msg.h>

#include <memory>
#include <string>
#include <vector>

namespace tern_test {

// Every valid frame of `bytes` as its message, in stream order; garbage and a torn last frame
// are skipped, as a reading program skips them.
inline std::vector<std::unique_ptr<tern::msg_t>> decode_frames(const std::string& bytes) {
    std::vector<std::unique_ptr<tern::msg_t>> msgs;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    auto left = static_cast<unsigned int>(bytes.size());
    tern::msg_decoder_t dec;
    while (const unsigned int used = left ? dec.decode_init(p, left) : 0) {
        if (dec.is_valid())
            if (auto m = tern::create_msg(dec)) msgs.push_back(std::move(m));
        p += used;
        left -= used;
    }
    return msgs;
}

} // namespace tern_test
