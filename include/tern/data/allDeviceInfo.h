// The device type vocabulary and the registry of device type descriptions.
#pragma once

#include <tern/data/deviceInfo.h>

#include <mutex>
#include <string>
#include <vector>

namespace tern {

// Device type names, as stored in the settings ("device_type") and shown to users. They are
// inline so that they are initialised before any static object of a file that includes this
// header, whatever the order in which the program's files are initialised.
inline const std::string deviceNameNone = "none";
inline const std::string deviceNameDdkTessa = "ddktessa";
inline const std::string deviceNameTernRimba = "ternrimba";
inline const std::string deviceNameTernOrsk = "ternorsk";
inline const std::string deviceNameTernQuill = "ternquill";
inline const std::string deviceNameSkiff = "skiff";
inline const std::string deviceNameNmea = "nmea";
inline const std::string deviceNameGyro = "gyro";
inline const std::string deviceNameTss = "tss";
inline const std::string deviceNameFanbeam = "fanbeam";
inline const std::string deviceNameWind = "wind";
inline const std::string deviceNameEmAttitudeInput = "emAttitudeInput";
inline const std::string deviceNameDepth = "depth";
inline const std::string deviceNameAis = "ais";
inline const std::string deviceNameSim = "sim";
inline const std::string deviceNameHemisphereEclipse = "hemisphereEclipse";
inline const std::string deviceNameHemisphereVector = "hemisphereVector";
inline const std::string deviceNameHemisphereR623 = "hemisphereR623";
inline const std::string deviceNameHemisphereV500 = "hemisphereV500";
inline const std::string deviceNameBlended = "blended";
inline const std::string deviceNameOutput = "native"; // the output device keeps its old name
inline const std::string deviceNameTracker = "tracker";
inline const std::string deviceNameWebmon = "webmon";
inline const std::string deviceNameUsbl = "usbl";
inline const std::string deviceNameLbl = "lbl";

// Driver name of ports reached through USB.
inline const std::string usbDriver = "USB";

// Process-wide registry of device types: the fixed list of type names and the descriptions
// that the concrete device types have registered. Created on first use and never destroyed,
// so static objects may register and unregister from their constructors and destructors.
// The descriptions are not owned; a type removes its own before it goes away.
class allDeviceInfo_t {
public:
    static allDeviceInfo_t& instance();

    allDeviceInfo_t(const allDeviceInfo_t&) = delete;
    allDeviceInfo_t& operator=(const allDeviceInfo_t&) = delete;

    // Every type name, "none" first, in a fixed order.
    const std::vector<std::string>& allTypes() const { return types_; }
    // The registered descriptions in registration order (a copy: registration may go on).
    std::vector<const deviceInfo_t*> deviceInfo() const;

    // Appends `info` (a null pointer is ignored). Registering one twice lists it twice.
    void addDeviceInfo(const deviceInfo_t* info);
    // Removes every occurrence of `info`.
    void removeDeviceInfo(const deviceInfo_t* info);

    // The first registered description with this type name, or null.
    const deviceInfo_t* findByType(const std::string& type) const;
    // The first registered description with this description text, or null.
    const deviceInfo_t* findByDesc(const std::string& desc) const;

private:
    allDeviceInfo_t();
    ~allDeviceInfo_t() = default;

    const std::vector<std::string> types_;
    mutable std::mutex lock_;
    std::vector<const deviceInfo_t*> infos_;
};

} // namespace tern
