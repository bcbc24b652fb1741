#include <tern/usb/usbd_msg.h>

namespace tern {

void fb_usbd_dev_t::encodeContents(msg_encoder_t& enc) const {
    enc << dev;
}
void fb_usbd_dev_t::decodeContents(msg_decoder_t& dec) {
    dec >> dev;
}

void fb_usbd_dev_gone_t::encodeContents(msg_encoder_t& enc) const {
    enc << dev_path;
}
void fb_usbd_dev_gone_t::decodeContents(msg_decoder_t& dec) {
    dec >> dev_path;
}

} // namespace tern
