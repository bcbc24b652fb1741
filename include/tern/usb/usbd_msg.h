// Messages of the link to the USB daemon. They reuse numbers of the main catalogue and never
// travel on a main connection.
#pragma once

#include <tern/msg/msg.h>
#include <tern/usb/usb_dev.h>

#include <string>

namespace tern {

// Asks the daemon for every volume it knows. No payload.
class cmd_usbd_list_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 0;

    cmd_usbd_list_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_usbd_list_t(msg_decoder_t& dec) : cmd_usbd_list_t() { dec.decodeMessage(*this); }
};

// A volume appeared or changed.
class fb_usbd_dev_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 1;

    usb_dev_t dev;

    fb_usbd_dev_t() : msg_t(category_fb, msg_type) {}
    explicit fb_usbd_dev_t(const usb_dev_t& d) : fb_usbd_dev_t() { dev = d; }
    explicit fb_usbd_dev_t(msg_decoder_t& dec) : fb_usbd_dev_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// A volume went away; carries its device path.
class fb_usbd_dev_gone_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 2;

    std::string dev_path;

    fb_usbd_dev_gone_t() : msg_t(category_fb, msg_type) {}
    explicit fb_usbd_dev_gone_t(const std::string& path) : fb_usbd_dev_gone_t() { dev_path = path; }
    explicit fb_usbd_dev_gone_t(msg_decoder_t& dec) : fb_usbd_dev_gone_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

} // namespace tern
