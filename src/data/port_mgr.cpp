#include "tern/data/port_mgr.h"

#include <algorithm>

namespace tern {

std::string port_mgr_t::get_port_name(int port_id) const {
    const std::string* name = find_port_name(port_id);
    return name ? *name : std::string("NONE");
}

std::string port_mgr_t::get_port_name_as_path(int port_id) const {
    return sanitize_port_name(get_port_name(port_id));
}

namespace {

bool unsafe_in_path(unsigned char c) {
    switch (c) {
    case '\\':
    case '/':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
    case ' ':
        return true;
    default:
        return c < 0x20 || c == 0x7f;
    }
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::string port_mgr_t::sanitize_port_name(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (unsafe_in_path(static_cast<unsigned char>(c))) c = '_';

    if (out.compare(0, 3, "COM") == 0 && std::all_of(out.begin() + 3, out.end(), is_digit))
        out.insert(out.begin(), '_');
    else if (out.empty())
        out = "_";
    else if (out == "." || out == "..")
        out.assign(out.size(), '_');
    return out;
}

} // namespace tern
