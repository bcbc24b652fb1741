#include <tern/decode/decode.h>

#include <charconv>

namespace tern {

bool decode(const std::string& text, unsigned int& value, int base) {
    if (base < 2 || base > 36 || text.empty()) return false;
    // from_chars would take a leading minus for signed types only, but be explicit: the text
    // is digits and nothing else.
    const char c = text[0];
    if (c == '-' || c == '+') return false;
    unsigned int parsed = 0;
    const char* end = text.data() + text.size();
    const auto res = std::from_chars(text.data(), end, parsed, base);
    if (res.ec != std::errc() || res.ptr != end) return false;
    value = parsed;
    return true;
}

} // namespace tern
