// A controller that answers nothing and a device that reads and polls nothing, for the tests
// of code that only asks a device about its type, port and name.
#pragma once

#include <tern/data/device.h>
#include <tern/data/deviceInfo.h>

#include <string>

namespace config_test {

class controller_t : public tern::dev_controller_t {
public:
    void send_dev_msgs(int, std::list<tern::msg_t*>&) override {}
    tern::device_t* find_device(int) override { return nullptr; }
    bool get_port_cfg(int, tern::port_cfg_t&) override { return false; }
    bool set_port_cfg(int, const tern::port_cfg_t&) override { return false; }
    bool set_device_type(int, const std::string&) override { return false; }
    tern::port_mgr_t* port_manager() override { return nullptr; }
};

class device_t : public tern::device_t {
public:
    device_t(tern::dev_controller_t* c, const tern::deviceInfo_t* type, int port,
             const std::string& name = "")
        : tern::device_t(c), info(type) {
        port_id = port;
        custom_name = name;
    }
    const tern::deviceInfo_t* device_info() const override { return info; }
    void handle_port_data(const unsigned char*, std::size_t, std::list<tern::msg_t*>&) override {}
    void poll(double, std::list<tern::msg_t*>&) override {}
    const tern::deviceInfo_t* info;
};

} // namespace config_test
