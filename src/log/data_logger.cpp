#include "tern/log/data_logger.h"

#include "tern/config/path_util.h"
#include "tern/data/port_mgr.h"
#include "tern/log/csv_builder.h"
#include "tern/log/log_channel.h"
#include "tern/msg/cmd_msgs.h"
#include "tern/msg/fb_msgs.h"
#include "tern/thread/glibTimer.h"

#include <keelconfig/KeelConfig.h>

#include <cmath>
#include <map>
#include <sstream>

namespace tern {

class data_logger_t::privateData_t {
public:
    explicit privateData_t(data_logger_t* o) : owner(o) {
        csv_timer.connect(this, &privateData_t::generate_csv);
    }
    ~privateData_t() {
        csv_timer.stop();
        csv.reset();
        channels.clear();
    }

    void generate_csv() { owner->generate_csv(); }

    log_channel_t* find(log_channel_type_t type) {
        auto it = channels.find(type);
        return it == channels.end() ? nullptr : it->second.get();
    }

    void report(const log_channel_t& ch, std::list<msg_t*>& msgs) const {
        auto* fb = new fb_log_cfg_t;
        fb->port = static_cast<unsigned int>(owner->get_port_id());
        fb->channel = ch.type();
        fb->cfg = ch.log_cfg();
        msgs.push_back(fb);
    }

    void csv_report(std::list<msg_t*>& msgs) const {
        auto* fb = new fb_csv_output_cfg_t;
        fb->port = static_cast<unsigned int>(owner->get_port_id());
        fb->cfg = csv->output_cfg();
        msgs.push_back(fb);
    }

    void apply_csv_cfg(const csv_output_cfg_t& cfg) {
        csv->set_output_cfg(cfg);
        if (log_channel_t* ch = find(log_channel_csv)) ch->set_file_header(csv->file_header());
    }

    void update_alarms() {
        bool error = false, missing = false;
        for (const auto& kv : channels) {
            const unsigned int e = kv.second->error_flags();
            error = error || (e & log_channel_t::err_logging_data);
            missing = missing || (e & log_channel_t::err_device_not_found);
        }
        owner->general_alarm_flag(LOG_ALARM_ERROR_LOGGING_DATA, error);
        owner->general_alarm_flag(LOG_ALARM_DEVICE_NOT_FOUND, missing);
    }

    static std::string key_prefix(const std::string& prefix, log_channel_type_t type) {
        return type == log_channel_csv ? prefix + KEY_LOG_CSV_INFIX : prefix;
    }

    data_logger_t* owner;
    std::map<log_channel_type_t, std::unique_ptr<log_channel_t>> channels;
    std::unique_ptr<csv_builder_t> csv;
    gtimer_t<privateData_t> csv_timer;
    unsigned int csv_interval = 1000;
    std::string line; // reused for every CSV line
};

data_logger_t::data_logger_t(dev_controller_t* ctl)
    : device_t(ctl), priv_(new privateData_t(this)) {}

data_logger_t::~data_logger_t() = default;

void data_logger_t::add_log_channel(log_channel_type_t type, const std::string& suffix,
                                    unsigned int flags) {
    priv_->channels[type].reset(new log_channel_t(type, flags, suffix));
    if (type != log_channel_csv) return;
    if (!priv_->csv) priv_->csv.reset(new csv_builder_t);
    // A new CSV channel starts its files with the header of the current selection; without
    // it, CSV files would lack their column titles until the selection next changed.
    priv_->channels[type]->set_file_header(priv_->csv->file_header());
}

log_channel_t* data_logger_t::log_channel(log_channel_type_t type) {
    return priv_->find(type);
}

void data_logger_t::log_data(log_channel_type_t type, const void* data, std::size_t len,
                             std::list<msg_t*>& msgs) {
    log_data(type, data, len, NAN, msgs);
}

void data_logger_t::log_data(log_channel_type_t type, const void* data, std::size_t len, double t,
                             std::list<msg_t*>& msgs) {
    log_channel_t* ch = priv_->find(type);
    if (!ch) return;
    const unsigned int result = ch->log_data(data, len, t);
    if (result & log_channel_t::result_failed) priv_->report(*ch, msgs);
    if ((ch->channel_flags() & log_channel_t::flag_notify) &&
        (result & log_channel_t::result_new_file))
        on_new_log_files(ch->log_cfg().log_diag_mode, msgs);
}

csv_builder_t* data_logger_t::csv_builder() {
    return priv_->csv.get();
}

void data_logger_t::start_csv_log() {
    if (!priv_->csv) return;
    priv_->csv_timer.start(priv_->csv_interval);
    generate_csv();
}

void data_logger_t::stop_csv_log() {
    priv_->csv_timer.stop();
}

bool data_logger_t::is_csv_log_active() const {
    return priv_->csv_timer.is_active();
}

void data_logger_t::set_csv_interval(unsigned int ms) {
    priv_->csv_interval = ms ? ms : 1;
}

void data_logger_t::generate_csv() {
    csv_builder_t* b = priv_->csv.get();
    if (!b || !b->msg_tstamp_valid()) return;
    b->age_fields();
    priv_->line.clear();
    b->append_line(priv_->line);
    std::list<msg_t*> msgs;
    // A line made a little after its second (the timer, an idle tick) still belongs to it.
    log_data(log_channel_csv, priv_->line.data(), priv_->line.size(), b->msg_tstamp(), msgs);
    handle_dev_msgs(msgs);
    b->clear_msg_tstamp();
    // The next line comes one interval after this one.
    if (priv_->csv_timer.is_active()) priv_->csv_timer.start(priv_->csv_interval);
}

std::string data_logger_t::get_log_path(const port_mgr_t& ports, int port_id, bool log_subdir) {
    std::string path = std::string(USB_LOG_DATA_DIR) + "/" + ports.get_port_name_as_path(port_id);
    if (log_subdir) path += "/log";
    return path;
}

void data_logger_t::handle_logging_cfg(const cmd_log_cfg_t& cmd, std::list<msg_t*>& msgs) {
    if (cmd.action == cmd_log_cfg_t::action_set) {
        log_channel_t* ch = priv_->find(cmd.channel);
        if (!ch) return;
        if ((ch->channel_flags() & log_channel_t::flag_notify) && !cmd.cfg.log_enabled)
            on_diag_mode_off(msgs);
        ch->set_log_cfg(cmd.cfg);
        priv_->update_alarms();
        priv_->report(*ch, msgs);
    } else if (cmd.action == cmd_log_cfg_t::action_get) {
        for (const auto& kv : priv_->channels) priv_->report(*kv.second, msgs);
        if (priv_->csv) priv_->csv_report(msgs);
    }
}

void data_logger_t::handle_csv_output_cfg(const cmd_csv_output_cfg_t& cmd,
                                          std::list<msg_t*>& msgs) {
    if (!priv_->csv) return;
    priv_->apply_csv_cfg(cmd.cfg);
    priv_->csv_report(msgs);
}

void data_logger_t::usb_dev_new(const usb_dev_t& dev) {
    for (auto& kv : priv_->channels) kv.second->usb_dev_new(dev);
    priv_->update_alarms();
}

void data_logger_t::usb_dev_changed(const usb_dev_t& old_dev, const usb_dev_t& new_dev) {
    for (auto& kv : priv_->channels) kv.second->usb_dev_changed(old_dev, new_dev);
    priv_->update_alarms();
}

void data_logger_t::usb_dev_gone(const usb_dev_t& dev) {
    for (auto& kv : priv_->channels) kv.second->usb_dev_gone(dev);
    priv_->update_alarms();
}

void data_logger_t::settings_reset() {
    for (auto& kv : priv_->channels) kv.second->set_log_cfg(log_cfg_t());
    priv_->update_alarms();
    if (priv_->csv) priv_->apply_csv_cfg(csv_output_cfg_t());
}

bool data_logger_t::settings_save_general(KeelConfig& cfg, const std::string& prefix) {
    for (const auto& kv : priv_->channels) {
        const std::string p = privateData_t::key_prefix(prefix, kv.first);
        const log_cfg_t& c = kv.second->log_cfg();
        cfg.set(p + KEY_LOG_ENABLED, c.log_enabled);
        std::ostringstream mode;
        mode << c.switch_file;
        cfg.setValue(p + KEY_LOG_SWITCH_FILE, mode.str());
        cfg.set(p + KEY_LOG_PATH, c.log_path);
        cfg.set(p + KEY_LOG_DIAG_MODE, c.log_diag_mode);
        cfg.set(p + KEY_LOG_AUTO_DELETE_AGE, c.log_auto_delete_age);
    }
    if (priv_->csv) priv_->csv->output_cfg().set_cfg(cfg, prefix + KEY_CSV_OUTPUT_INFIX);
    return true;
}

bool data_logger_t::settings_load_general(KeelConfig& cfg, const std::string& prefix) {
    for (auto& kv : priv_->channels) {
        const std::string p = privateData_t::key_prefix(prefix, kv.first);
        log_cfg_t c;
        cfg.get(p + KEY_LOG_ENABLED, c.log_enabled);
        cfg.get(p + KEY_LOG_SWITCH_FILE, c.switch_file);
        cfg.get(p + KEY_LOG_PATH, c.log_path);
        cfg.get(p + KEY_LOG_DIAG_MODE, c.log_diag_mode);
        cfg.get(p + KEY_LOG_AUTO_DELETE_AGE, c.log_auto_delete_age);
        kv.second->set_log_cfg(c);
    }
    priv_->update_alarms();
    if (priv_->csv) {
        csv_output_cfg_t sel;
        sel.load_cfg(cfg, prefix + KEY_CSV_OUTPUT_INFIX);
        priv_->apply_csv_cfg(sel);
    }
    return true;
}

void data_logger_t::on_new_log_files(bool, std::list<msg_t*>&) {}
void data_logger_t::on_diag_mode_off(std::list<msg_t*>&) {}

} // namespace tern
