#include "tern/data/device.h"

#include "tern/data/deviceInfo.h"
#include "tern/data/port_cfg.h"
#include "tern/msg/msg.h"
#include "tern/util/time_util.h"

#include <climits>

namespace tern {

device_t::device_t(dev_controller_t* ctl) : controller(ctl) {}

device_t::~device_t() = default;

bool device_t::get_serial_number(std::string&) {
    return false;
}
bool device_t::get_firmware_version(std::string&) {
    return false;
}
bool device_t::want_open_port() {
    return true;
}
void device_t::shutdown(std::list<msg_t*>&) {}
void device_t::handle_port_cfg(cmd_port_cfg_t&, std::list<msg_t*>&) {}
void device_t::handle_dev_type(device_t*, std::list<msg_t*>&) {}
void device_t::handle_port_delete(unsigned int, std::list<msg_t*>&) {}
void device_t::handle_auto_comms(bool, std::list<msg_t*>&) {}
void device_t::query(std::list<msg_t*>&) {}
void device_t::handle_ui_msg(msg_decoder_t&, std::list<msg_t*>&) {}
void device_t::handle_logging_cfg(const cmd_log_cfg_t&, std::list<msg_t*>&) {}
void device_t::handle_csv_output_cfg(const cmd_csv_output_cfg_t&, std::list<msg_t*>&) {}
void device_t::usb_dev_new(const usb_dev_t&) {}
void device_t::usb_dev_changed(const usb_dev_t&, const usb_dev_t&) {}
void device_t::usb_dev_gone(const usb_dev_t&) {}
void device_t::handle_data_msg(const data_msg_t*, std::list<msg_t*>&) {}
unsigned int device_t::output_buffer_size() {
    return 10240;
}
double device_t::output_timeout() {
    return 1.0;
}
void device_t::settings_reset() {}
bool device_t::require_save() {
    return false;
}
bool device_t::settings_save(KeelConfig&) {
    return false;
}
bool device_t::settings_load(KeelConfig&, std::list<msg_t*>&) {
    return false;
}
bool device_t::settings_save_general(KeelConfig&, const std::string&) {
    return false;
}
bool device_t::settings_load_general(KeelConfig&, const std::string&) {
    return false;
}
void device_t::save_snapshot(const std::string&, const std::string&, std::ostream&, bool) {}
void device_t::setRawFbSet(const rawMsgSet_t&) {}
void device_t::setRotSampleSize(unsigned int) {}

void device_t::handle_dev_msgs(std::list<msg_t*>& msgs) {
    if (controller) {
        controller->send_dev_msgs(port_id, msgs);
        return;
    }
    // Nobody to send them: free them rather than leak them.
    for (msg_t* m : msgs) delete m;
    msgs.clear();
}

bool device_t::get_port_cfg(port_cfg_t& cfg) {
    return controller && controller->get_port_cfg(port_id, cfg);
}

const device_t* device_t::other_device(unsigned int id) const {
    // Port ids above INT_MAX cannot name a port; do not let them wrap to negative ids.
    if (!controller || id > static_cast<unsigned int>(INT_MAX)) return nullptr;
    return controller->find_device(static_cast<int>(id));
}

bool device_t::deviceHasCapabilities(unsigned int id, unsigned int mask) const {
    const device_t* dev = other_device(id);
    const deviceInfo_t* info = dev ? dev->device_info() : nullptr;
    return info && info->hasCapabilities(mask);
}

bool device_t::deviceIsOfType(unsigned int id, const std::string& type) const {
    const device_t* dev = other_device(id);
    const deviceInfo_t* info = dev ? dev->device_info() : nullptr;
    return info && info->type_name == type;
}

void device_t::general_alarm_flag(unsigned int index, bool on) {
    if (index < general_alarm_count) general_alarms[index] = on;
}

bool device_t::general_alarm(unsigned int index) const {
    return index < general_alarm_count && general_alarms[index];
}

double device_t::dataTimestamp() const {
    return use_sys_time ? gettstamp_sys() + time_offset : gettstamp_data();
}

} // namespace tern
