// Feeds arbitrary bytes to a connection in reads of varying size, as a peer could send them,
// then enough padding to complete any frame the encoder can write. Whatever the bytes, no
// stray start byte may wedge the connection (no "buffer overflow", nothing left over at the
// end), and every frame handed to the client is valid and no longer than the encoder writes.
#include <tern/conn/conn.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

class fed_conn_t : public tern::conn_t {
public:
    bool send_msg(const tern::msg_t*) override { return true; }
    // One read of at most n bytes; returns how many were taken.
    std::size_t feed(const std::uint8_t* p, std::size_t n) {
        if (check_overflow()) return 0;
        const std::size_t take = std::min<std::size_t>(rxbuf.free_size(), n);
        std::memcpy(rxbuf.free_space(), p, take);
        rxbuf.add(static_cast<unsigned>(take));
        decode();
        return take;
    }
};

struct client_t : tern::conn_client_t {
    void handle_conn_msg(tern::msg_decoder_t& dec) override {
        if (!dec.is_valid() || dec.frame_size() > tern::msg_encoder_t::max_frame) std::abort();
    }
    void handle_conn_lost() override { std::abort(); }
    void handle_conn_err() override { std::abort(); } // "buffer overflow": wedged
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    bytes.insert(bytes.end(), tern::msg_encoder_t::max_frame + 1, 0x00);
    client_t client;
    fed_conn_t conn;
    conn.start(&client);
    std::size_t off = 0;
    unsigned step = static_cast<unsigned>(size) * 2654435761u;
    while (off < bytes.size()) {
        step = step * 1103515245u + 12345u;
        const std::size_t want = 1 + (step >> 16) % 700; // reads end anywhere in a frame
        const std::size_t took = conn.feed(bytes.data() + off, std::min(want, bytes.size() - off));
        if (took == 0) std::abort();
        off += took;
    }
    if (conn.get_rxbuf().len() != 0) std::abort();
    return 0;
}
