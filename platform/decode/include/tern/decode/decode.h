// Small text-to-number helpers shared by the decoders.
#pragma once

#include <string>

namespace tern {

// Parses `text` as an unsigned integer written in `base` (2 to 36, letters either case).
// The whole text must be digits of that base: no blanks, sign or prefix. False, with `value`
// unchanged, when it is not such a number or does not fit an unsigned int.
bool decode(const std::string& text, unsigned int& value, int base);

} // namespace tern
