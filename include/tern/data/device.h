// The abstract device attached to a port, and its view of the device controller.
#pragma once

#include <tern/data/data_cache.h>

#include <cstddef>
#include <iosfwd>
#include <list>
#include <map>
#include <string>

class KeelConfig;
class usb_dev_t;

namespace tern {

class msg_t;
class msg_decoder_t;
class data_msg_t;
class cmd_port_cfg_t;
class cmd_log_cfg_t;
class cmd_csv_output_cfg_t;
class rawMsgSet_t;
class port_cfg_t;
class port_mgr_t;
class deviceInfo_t;
class device_t;

// The device manager as its devices see it: it owns one device per port, sends what the
// devices produce and knows each port's settings. Implemented by the device manager program.
class dev_controller_t {
public:
    virtual ~dev_controller_t() = default;

    // Sends the messages on behalf of the device on `port_id`, then deletes them and empties
    // the list.
    virtual void send_dev_msgs(int port_id, std::list<msg_t*>& msgs) = 0;
    // The device on `port_id`, or null.
    virtual device_t* find_device(int port_id) = 0;
    // The serial settings of `port_id`; false when the port is unknown.
    virtual bool get_port_cfg(int port_id, port_cfg_t& cfg) = 0;
    // Applies new serial settings to `port_id`.
    virtual bool set_port_cfg(int port_id, const port_cfg_t& cfg) = 0;
    // Replaces the device on `port_id` by one of the named type.
    virtual bool set_device_type(int port_id, const std::string& type) = 0;
    virtual port_mgr_t* port_manager() = 0;
};

// Base of every device: receivers, sensors, outputs, the data logger. A device answers every
// event by appending newly allocated messages to the caller's list ("msgs"); the caller sends
// and deletes them. Every handler does nothing by default.
class device_t {
public:
    static constexpr unsigned int general_alarm_count = 10;

    explicit device_t(dev_controller_t* controller);
    virtual ~device_t();

    device_t(const device_t&) = delete;
    device_t& operator=(const device_t&) = delete;

    // The description of the device's type.
    virtual const deviceInfo_t* device_info() const = 0;
    virtual bool get_serial_number(std::string& serial);
    virtual bool get_firmware_version(std::string& version);
    // Bytes that arrived on the device's port.
    virtual void handle_port_data(const unsigned char* data, std::size_t size,
                                  std::list<msg_t*>& msgs) = 0;
    // Whether the controller should open the device's port (true by default).
    virtual bool want_open_port();
    virtual void shutdown(std::list<msg_t*>& msgs);
    virtual void handle_port_cfg(cmd_port_cfg_t& cmd, std::list<msg_t*>& msgs);
    // Another port's device changed type.
    virtual void handle_dev_type(device_t* device, std::list<msg_t*>& msgs);
    virtual void handle_port_delete(unsigned int port_id, std::list<msg_t*>& msgs);
    virtual void handle_auto_comms(bool on, std::list<msg_t*>& msgs);
    // Asked to report its state.
    virtual void query(std::list<msg_t*>& msgs);
    // A user interface message for this device's port, positioned at its payload.
    virtual void handle_ui_msg(msg_decoder_t& dec, std::list<msg_t*>& msgs);
    virtual void handle_logging_cfg(const cmd_log_cfg_t& cmd, std::list<msg_t*>& msgs);
    virtual void handle_csv_output_cfg(const cmd_csv_output_cfg_t& cmd, std::list<msg_t*>& msgs);
    virtual void usb_dev_new(const usb_dev_t& dev);
    virtual void usb_dev_changed(const usb_dev_t& old_dev, const usb_dev_t& new_dev);
    virtual void usb_dev_gone(const usb_dev_t& dev);
    // Periodic call from the controller's timer, with the current system time stamp.
    virtual void poll(double now, std::list<msg_t*>& msgs) = 0;
    // Navigation data produced by some device (this one or another).
    virtual void handle_data_msg(const data_msg_t* msg, std::list<msg_t*>& msgs);
    // Bytes the controller may queue for the port before it reports an overflow (10240).
    virtual unsigned int output_buffer_size();
    // Seconds the port may refuse output before the controller reports a timeout (1.0).
    virtual double output_timeout();
    virtual void settings_reset();
    // Whether the device has changed settings that should be saved (false).
    virtual bool require_save();
    // Settings store access; each returns whether anything was saved or loaded (false).
    virtual bool settings_save(KeelConfig& cfg);
    virtual bool settings_load(KeelConfig& cfg, std::list<msg_t*>& msgs);
    virtual bool settings_save_general(KeelConfig& cfg, const std::string& prefix);
    virtual bool settings_load_general(KeelConfig& cfg, const std::string& prefix);
    // Writes the device's part of the status snapshot page.
    virtual void save_snapshot(const std::string& title, const std::string& link, std::ostream& os,
                               bool detailed);
    virtual void setRawFbSet(const rawMsgSet_t& set);
    virtual void setRotSampleSize(unsigned int size);

    int get_port_id() const { return port_id; }
    const std::string& customName() const { return custom_name; }

    // Hands `msgs` to the controller to be sent for this device's port. Without a controller
    // the messages cannot go anywhere: they are deleted and the list is emptied.
    void handle_dev_msgs(std::list<msg_t*>& msgs);
    // The serial settings of this device's port; false without a controller.
    bool get_port_cfg(port_cfg_t& cfg);
    // Whether the device on `port_id` has every capability bit of `mask`; false when there is
    // no such device or it has no description.
    bool deviceHasCapabilities(unsigned int port_id, unsigned int mask) const;
    // Whether the device on `port_id` exists and is of the named type.
    bool deviceIsOfType(unsigned int port_id, const std::string& type) const;

    // Raises or clears general alarm `index` (0 to 9; other indexes are ignored).
    void general_alarm_flag(unsigned int index, bool on);
    // The state of general alarm `index`; false for an index out of range.
    bool general_alarm(unsigned int index) const;

    // Time stamp for the data this device produces: the system time plus time_offset when
    // use_sys_time is set, else the data time.
    double dataTimestamp() const;

protected:
    dev_controller_t* controller = nullptr;
    int port_id = -1;
    bool aux_flag = false;                    // free for the concrete device
    std::map<unsigned int, double> aux_times; // free for the concrete device
    data_cache_t cache;
    std::string custom_name;
    bool general_alarms[general_alarm_count] = {};
    unsigned char reserved[32] = {};
    bool use_sys_time = false;
    double time_offset = 0.0; // seconds added to the system time when use_sys_time is set

private:
    // The device on `port_id` as the controller knows it, or null.
    const device_t* other_device(unsigned int port_id) const;
};

} // namespace tern
