#include <tern/msg/catalogue.h>

#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/usb/usbd_msg.h>

#include <algorithm>
#include <array>
#include <type_traits>

namespace tern {
namespace {

using factory_t = msg_t* (*)(msg_decoder_t&);

template <class M>
msg_t* make(msg_decoder_t& dec) {
    return new M(dec);
}

// The type number of a class; the list's closing `void` has none.
template <class M>
constexpr unsigned int type_of() {
    if constexpr (std::is_void_v<M>) {
        return 0;
    } else {
        return M::msg_type;
    }
}

// A table from type number to decoding constructor, filled from each class's own number.
template <class... M>
struct table_t {
    static constexpr unsigned int size = std::max({type_of<M>()...}) + 1;
    std::array<factory_t, size> factories{};

    constexpr table_t() { (add<M>(), ...); }

    template <class C>
    constexpr void add() {
        if constexpr (!std::is_void_v<C>) factories[C::msg_type] = &make<C>;
    }

    msg_t* create(unsigned int type, msg_decoder_t& dec) const {
        return type < size && factories[type] ? factories[type](dec) : nullptr;
    }
};

#define TERN_TYPE(cls) cls,
constexpr table_t<TERN_COMMAND_MSGS(TERN_TYPE) void> commands;
constexpr table_t<TERN_FEEDBACK_MSGS(TERN_TYPE) void> feedback;
constexpr table_t<TERN_DATA_MSGS(TERN_TYPE) void> navigation;
constexpr table_t<TERN_USBD_COMMAND_MSGS(TERN_TYPE) void> usbd_commands;
constexpr table_t<TERN_USBD_FEEDBACK_MSGS(TERN_TYPE) void> usbd_feedback;
#undef TERN_TYPE

// Keeps a message only when its payload held every field the class reads.
std::unique_ptr<msg_t> checked(msg_t* m, const msg_decoder_t& dec) {
    std::unique_ptr<msg_t> owned(m);
    if (owned && dec.is_short()) owned.reset();
    return owned;
}

} // namespace

std::unique_ptr<msg_t> create_msg(msg_decoder_t& dec) {
    if (!dec.is_valid()) return nullptr;
    switch (dec.category()) {
    case msg_t::category_cmd:
        return checked(commands.create(dec.type(), dec), dec);
    case msg_t::category_fb:
        return checked(feedback.create(dec.type(), dec), dec);
    case msg_t::category_data:
        return checked(navigation.create(dec.type(), dec), dec);
    default:
        return nullptr;
    }
}

std::unique_ptr<msg_t> create_usbd_msg(msg_decoder_t& dec) {
    if (!dec.is_valid()) return nullptr;
    switch (dec.category()) {
    case msg_t::category_cmd:
        return checked(usbd_commands.create(dec.type(), dec), dec);
    case msg_t::category_fb:
        return checked(usbd_feedback.create(dec.type(), dec), dec);
    default:
        return nullptr;
    }
}

} // namespace tern
