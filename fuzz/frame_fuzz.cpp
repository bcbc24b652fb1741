// Feeds arbitrary bytes to the frame decoder as a connection would, creates every message by
// number (main and USB daemon catalogues) and re-encodes what it creates.
#include <tern/msg/catalogue.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tern::msg_decoder_t dec;
    std::size_t off = 0;
    while (off < size) {
        const unsigned n = dec.decode_init(data + off, static_cast<unsigned>(size - off));
        if (n == 0) {
            ++off; // an incomplete frame at the end: look for later ones
            continue;
        }
        if (n > size - off) std::abort();
        if (dec.is_valid()) {
            for (auto create : {tern::create_msg, tern::create_usbd_msg}) {
                std::unique_ptr<tern::msg_t> msg = create(dec);
                if (!msg) continue;
                tern::msg_encoder_t enc;
                enc.encodeMessage(*msg);
                if (enc.size() > tern::msg_encoder_t::max_frame) std::abort();
                std::ostringstream text;
                msg->dump(text);
                if (!enc.size()) continue;
                // Decoding normalises (a bool byte of 7 becomes 1); after that, decoding and
                // encoding again must give the very same bytes.
                tern::msg_decoder_t again;
                if (again.decode_init(enc.data(), enc.size()) != enc.size() || !again.is_valid())
                    std::abort();
                std::unique_ptr<tern::msg_t> copy = create(again);
                if (!copy) std::abort();
                tern::msg_encoder_t enc2;
                enc2.encodeMessage(*copy);
                if (enc2.size() != enc.size() || std::memcmp(enc.data(), enc2.data(), enc.size()))
                    std::abort();
            }
        }
        off += n;
    }
    return 0;
}
