#include "tern/data/deviceInfo.h"

#include <utility>

namespace tern {

deviceInfo_t::deviceInfo_t(std::string type, std::string desc, std::uint32_t caps)
    : type_name(std::move(type)), description(std::move(desc)), capabilities(caps) {}

bool deviceInfo_t::addAlarm(bool flag, const char* text) {
    if (alarms.size() >= max_alarms) return false;
    alarms.emplace_back(flag, text ? std::string(text) : std::string());
    return true;
}

} // namespace tern
