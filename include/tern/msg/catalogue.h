// Creation of message objects from received frames, by category and type number.
#pragma once

#include <tern/msg/msg.h>

#include <memory>

namespace tern {

// Creates the message of the main connection's catalogue for the frame that `dec` holds,
// built with its decoding constructor. Null when the decoder holds no valid frame, when the
// category and type name no class, or when the payload is shorter than the class reads
// (dec.is_short() then tells the two apart).
std::unique_ptr<msg_t> create_msg(msg_decoder_t& dec);

// The same for the USB daemon link, which has its own three messages.
std::unique_ptr<msg_t> create_usbd_msg(msg_decoder_t& dec);

} // namespace tern
