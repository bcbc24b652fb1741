#include "tern/data/allDeviceInfo.h"

#include <algorithm>

namespace tern {

allDeviceInfo_t& allDeviceInfo_t::instance() {
    // Never destroyed: device types registered by static objects may unregister while the
    // process exits, after function-local statics would already be gone.
    static allDeviceInfo_t* const the_registry = new allDeviceInfo_t;
    return *the_registry;
}

allDeviceInfo_t::allDeviceInfo_t()
    : types_{deviceNameNone,
             deviceNameDdkTessa,
             deviceNameTernRimba,
             deviceNameTernOrsk,
             deviceNameTernQuill,
             deviceNameSkiff,
             deviceNameNmea,
             deviceNameGyro,
             deviceNameTss,
             deviceNameFanbeam,
             deviceNameWind,
             deviceNameEmAttitudeInput,
             deviceNameDepth,
             deviceNameAis,
             deviceNameSim,
             deviceNameHemisphereEclipse,
             deviceNameHemisphereVector,
             deviceNameHemisphereR623,
             deviceNameHemisphereV500,
             deviceNameBlended,
             deviceNameOutput,
             deviceNameTracker,
             deviceNameWebmon,
             deviceNameUsbl,
             deviceNameLbl} {}

std::vector<const deviceInfo_t*> allDeviceInfo_t::deviceInfo() const {
    std::lock_guard<std::mutex> hold(lock_);
    return infos_;
}

void allDeviceInfo_t::addDeviceInfo(const deviceInfo_t* info) {
    if (!info) return;
    std::lock_guard<std::mutex> hold(lock_);
    infos_.push_back(info);
}

void allDeviceInfo_t::removeDeviceInfo(const deviceInfo_t* info) {
    std::lock_guard<std::mutex> hold(lock_);
    infos_.erase(std::remove(infos_.begin(), infos_.end(), info), infos_.end());
}

const deviceInfo_t* allDeviceInfo_t::findByType(const std::string& type) const {
    std::lock_guard<std::mutex> hold(lock_);
    for (const deviceInfo_t* info : infos_)
        if (info->type_name == type) return info;
    return nullptr;
}

const deviceInfo_t* allDeviceInfo_t::findByDesc(const std::string& desc) const {
    std::lock_guard<std::mutex> hold(lock_);
    for (const deviceInfo_t* info : infos_)
        if (info->description == desc) return info;
    return nullptr;
}

} // namespace tern
