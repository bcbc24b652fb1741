// The data logger: a device without a port of its own that writes navigation data to files on
// USB volumes, one log channel per channel type, and one CSV line per second.
//
// Settings keys, after the caller's prefix (the CSV channel's carry the infix "csv_"):
//
//   log_enabled=1            log_switch_file=daily|hourly|log_start|fixed
//   log_path=/media/usb0/tern/log_data/x     log_diag_mode=0     log_auto_delete_age=86400
//   csv_log_enabled=1 ...    csv_output_enable_latitude=1 ... (one per CSV column)
//
// General alarms: 5 "Logging suspended: device not found" while a channel's volume is away;
// 6 "Logging suspended: error logging data" once a channel has failed and disabled itself.
#pragma once

#include <tern/data/device.h>
#include <tern/log/log_cfg.h>

#include <cstddef>
#include <list>
#include <memory>
#include <string>

namespace tern {

class csv_builder_t;
class log_channel_t;
class port_mgr_t;

// Settings key suffixes of a channel.
inline constexpr char KEY_LOG_ENABLED[] = "log_enabled";
inline constexpr char KEY_LOG_SWITCH_FILE[] = "log_switch_file";
inline constexpr char KEY_LOG_PATH[] = "log_path";
inline constexpr char KEY_LOG_DIAG_MODE[] = "log_diag_mode";
inline constexpr char KEY_LOG_AUTO_DELETE_AGE[] = "log_auto_delete_age";
// Infix of the CSV channel's keys, and of the CSV column selection.
inline constexpr char KEY_LOG_CSV_INFIX[] = "csv_";
inline constexpr char KEY_CSV_OUTPUT_INFIX[] = "csv_output_";

// General alarm numbers the logger raises.
constexpr unsigned int LOG_ALARM_DEVICE_NOT_FOUND = 5;
constexpr unsigned int LOG_ALARM_ERROR_LOGGING_DATA = 6;

class data_logger_t : public device_t {
public:
    explicit data_logger_t(dev_controller_t* controller);
    // Deletes the CSV builder, then every channel (closing its file).
    ~data_logger_t() override;

    // Replaces the channel of `type` by a new one. The first CSV channel (type 1) brings a CSV
    // builder with every column selected; a later one keeps the builder.
    void add_log_channel(log_channel_type_t type, const std::string& suffix, unsigned int flags);
    // The channel of `type`, or null.
    log_channel_t* log_channel(log_channel_type_t type);

    // Writes to the channel of `type` (nothing when there is none). A failed write appends the
    // channel's configuration report; a new file tells on_new_log_files when the channel asked.
    // The second form writes data of time `t` (see log_channel_t::log_data).
    void log_data(log_channel_type_t type, const void* data, std::size_t len,
                  std::list<msg_t*>& msgs);
    void log_data(log_channel_type_t type, const void* data, std::size_t len, double t,
                  std::list<msg_t*>& msgs);

    csv_builder_t* csv_builder();
    // Starts the CSV timer and writes a line at once; stop_csv_log stops it.
    void start_csv_log();
    void stop_csv_log();
    bool is_csv_log_active() const;
    // Milliseconds between CSV lines (1000); takes effect at the next start or line.
    void set_csv_interval(unsigned int ms);
    // Writes one CSV line when the builder holds a fresh epoch time stamp (the timer's work),
    // into the file of that epoch's time, however late the line comes.
    void generate_csv();

    // USB_LOG_DATA_DIR + "/" + the port's name as a path component [+ "/log"].
    static std::string get_log_path(const port_mgr_t& ports, int port_id, bool log_subdir);

    void handle_logging_cfg(const cmd_log_cfg_t& cmd, std::list<msg_t*>& msgs) override;
    void handle_csv_output_cfg(const cmd_csv_output_cfg_t& cmd, std::list<msg_t*>& msgs) override;
    void usb_dev_new(const usb_dev_t& dev) override;
    void usb_dev_changed(const usb_dev_t& old_dev, const usb_dev_t& new_dev) override;
    void usb_dev_gone(const usb_dev_t& dev) override;
    void settings_reset() override;
    bool settings_save_general(KeelConfig& cfg, const std::string& prefix) override;
    bool settings_load_general(KeelConfig& cfg, const std::string& prefix) override;

    // A channel with flag bit 0 opened a new file; `diag_mode` is its log diag mode.
    virtual void on_new_log_files(bool diag_mode, std::list<msg_t*>& msgs);
    // A channel with flag bit 0 is about to be disabled by a set command.
    virtual void on_diag_mode_off(std::list<msg_t*>& msgs);

    class privateData_t;

private:
    std::unique_ptr<privateData_t> priv_;
};

} // namespace tern
