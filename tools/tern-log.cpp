// tern-log: the data logger as a process. Follows the USB volumes through the USB daemon,
// logs the bytes of every received frame on the raw channel and one CSV line per data second
// on the CSV channel.
#include "common/frame_input.h"
#include "common/program.h"
#include "common/settings.h"
#include "common/signal_watch.h"
#include "common/transport.h"

#include <tern/log/csv_builder.h>
#include <tern/log/data_logger.h>
#include <tern/log/log_channel.h>
#include <tern/msg/catalogue.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/thread/thread.h>
#include <tern/usb/usb_mgr.h>
#include <tern/util/time_util.h>

#include <glib.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

namespace {

const char usage[] =
    "Usage: tern-log [OPTION]... [INPUT]\n"
    "Logs the frames of INPUT (a file, standard input or a connection) onto USB volumes that\n"
    "the USB daemon reports ($TERN_USBD_SOCKET or /tmp/tern_usbd_socket): every frame's bytes\n"
    "on the raw channel (files *.raw) and one CSV line per data second on the CSV channel\n"
    "(files *.csv). Channel settings are the keys P + log_enabled, log_switch_file, log_path,\n"
    "log_diag_mode, log_auto_delete_age (raw) and P + csv_log_... (CSV); CSV columns are\n"
    "P + csv_output_enable_<column>, on unless set to 0. Channel changes and alarms go to\n"
    "standard error. Exits 0 at the end of the input, 1 when logging failed.\n"
    "  --usb-wait SECONDS   wait at most this long for the volumes of enabled channels\n"
    "                       before reading the input (default 5)\n"
    "  --csv-interval MS    write the pending CSV line when no data came for MS (default 1000)\n";

const char* const alarm_text[] = {"Logging suspended: device not found",
                                  "Logging suspended: error logging data"};
const unsigned int alarm_index[] = {tern::LOG_ALARM_DEVICE_NOT_FOUND,
                                    tern::LOG_ALARM_ERROR_LOGGING_DATA};
const tern::log_channel_type_t channel_types[] = {tern::log_channel_raw, tern::log_channel_csv};

const char* channel_name(tern::log_channel_type_t t) {
    return t == tern::log_channel_csv ? "csv" : "raw";
}

// The logger device of this process; it has no port and no controller behind it.
class logger_t : public tern::data_logger_t, public tern::dev_controller_t {
public:
    logger_t() : tern::data_logger_t(nullptr) {
        controller = this;
        for (auto t : channel_types)
            add_log_channel(t, t == tern::log_channel_csv ? ".csv" : ".raw", 0);
    }

    const tern::deviceInfo_t* device_info() const override { return nullptr; }
    void handle_port_data(const unsigned char*, std::size_t, std::list<tern::msg_t*>&) override {}
    void poll(double, std::list<tern::msg_t*>&) override {}

    // Reports of the logger: a channel that disabled itself says so here.
    void send_dev_msgs(int, std::list<tern::msg_t*>& msgs) override {
        for (tern::msg_t* m : msgs) {
            if (auto* fb = dynamic_cast<tern::fb_log_cfg_t*>(m)) {
                if (!fb->cfg.log_enabled) failed = true;
            }
            delete m;
        }
        msgs.clear();
        report();
    }
    tern::device_t* find_device(int) override { return this; }
    bool get_port_cfg(int, tern::port_cfg_t&) override { return false; }
    bool set_port_cfg(int, const tern::port_cfg_t&) override { return false; }
    bool set_device_type(int, const std::string&) override { return false; }
    tern::port_mgr_t* port_manager() override { return nullptr; }

    // Prints what changed since the last call: channel states and the two alarms.
    void report() {
        for (std::size_t i = 0; i < 2; ++i) {
            const tern::log_channel_t* ch = log_channel(channel_types[i]);
            const std::string s = state(*ch);
            if (s != states[i]) {
                states[i] = s;
                tern_tool::diag(std::string(channel_name(channel_types[i])) + " channel: " + s);
            }
            if (ch->error_flags() & tern::log_channel_t::err_logging_data) failed = true;
        }
        for (std::size_t i = 0; i < 2; ++i) {
            const bool on = general_alarm(alarm_index[i]);
            if (on != alarms[i]) {
                alarms[i] = on;
                tern_tool::diag(std::string(on ? "alarm: " : "alarm cleared: ") + alarm_text[i]);
            }
        }
    }

    // Every enabled channel has found its volume.
    bool ready() {
        for (auto t : channel_types) {
            const tern::log_channel_t* ch = log_channel(t);
            if (ch->log_cfg().log_enabled &&
                (ch->error_flags() & tern::log_channel_t::err_device_not_found))
                return false;
        }
        return true;
    }

    bool any_enabled() {
        for (auto t : channel_types)
            if (log_channel(t)->log_cfg().log_enabled) return true;
        return false;
    }

    // Data about to go to a channel whose volume is away is dropped: logging failed too.
    void note_drop(tern::log_channel_type_t t) {
        const tern::log_channel_t* ch = log_channel(t);
        if (ch->log_cfg().log_enabled &&
            (ch->error_flags() & tern::log_channel_t::err_device_not_found))
            dropped = true;
    }

    bool failed = false;
    bool dropped = false;

private:
    static std::string state(const tern::log_channel_t& ch) {
        const unsigned int e = ch.error_flags();
        if (e & tern::log_channel_t::err_logging_data) return "error logging data, disabled";
        if (!ch.log_cfg().log_enabled) return "disabled";
        if (e & tern::log_channel_t::err_device_not_found) return "device not found";
        if (ch.current_path().empty()) return "waiting for data";
        return "logging to " + ch.current_path();
    }

    std::string states[2] = {"disabled", "disabled"};
    bool alarms[2] = {false, false};
};

// Passes the manager's volume events to the logger while it lives.
class usb_follower_t : public usb_mgr_client_t {
public:
    void usb_dev_added(const usb_dev_t& dev) override {
        if (!logger) return;
        tern_tool::diag("volume " + dev.mount_path + " (" + dev.label + ") added");
        logger->usb_dev_new(dev);
        changed();
    }
    void usb_dev_changed(const usb_dev_t& old_dev, const usb_dev_t& new_dev) override {
        if (!logger) return;
        logger->usb_dev_changed(old_dev, new_dev);
        changed();
    }
    void usb_dev_removed(const usb_dev_t& dev) override {
        if (!logger) return;
        tern_tool::diag("volume " + dev.mount_path + " removed");
        logger->usb_dev_gone(dev);
        changed();
    }

    logger_t* logger = nullptr;
    GMainLoop* waiting = nullptr; // quit once every enabled channel has its volume

private:
    void changed() {
        logger->report();
        if (waiting && logger->ready()) g_main_loop_quit(waiting);
    }
};

// Waits on the main loop until every enabled channel has its volume, or `seconds` pass.
void wait_for_volumes(logger_t& logger, usb_follower_t& follower, double seconds) {
    if (logger.ready() || seconds <= 0) return;
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    follower.waiting = loop;
    const guint timeout = g_timeout_add(
        static_cast<guint>(seconds * 1000.0),
        [](void* l) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(l));
            return G_SOURCE_REMOVE;
        },
        loop);
    g_main_loop_run(loop);
    follower.waiting = nullptr;
    if (!logger.ready())
        tern_tool::diag("no volume for an enabled channel yet; logging anyway");
    else
        g_source_remove(timeout);
    g_main_loop_unref(loop);
}

// Feeds frames to the logger and drives the CSV lines from the data clock.
class feeder_t {
public:
    explicit feeder_t(logger_t& l) : logger_(l) { idle_.connect(this, &feeder_t::tick); }

    void frame(tern::msg_decoder_t& dec) {
        ++frames_;
        std::unique_ptr<tern::msg_t> msg = tern::create_msg(dec);
        const auto* data = dynamic_cast<const tern::data_msg_t*>(msg.get());
        const double t = data ? data->utc_tstamp : NAN;
        tern::csv_builder_t* csv = logger_.csv_builder();
        if (std::isfinite(t)) {
            // A new data second: the line of the last one is complete.
            if (csv && csv->msg_tstamp_valid() && std::floor(t) != std::floor(csv->msg_tstamp()))
                line();
            if (t != last_t_) tern::set_tstamp_data_diff(t - tern::gettstamp_sys());
            last_t_ = t;
        }
        std::list<tern::msg_t*> msgs;
        logger_.note_drop(tern::log_channel_raw);
        // The frame's own time picks its file: one stamped at midnight opens the new day's
        // file whatever the clock reads by now (frames without one go by the data clock).
        logger_.log_data(tern::log_channel_raw, dec.frame(), dec.frame_size(), t, msgs);
        if (!msgs.empty())
            logger_.send_dev_msgs(0, msgs);
        else
            logger_.report();
        if (csv && data) tern::update_csv_fields(*csv, *data);
    }

    // The input ended: the last epoch is complete.
    void finish() { line(); }

    void start_timer(unsigned int ms) { idle_.start(ms); }

private:
    // Without data for a whole interval the pending epoch is complete.
    void tick() {
        if (frames_ == seen_) line();
        seen_ = frames_;
    }

    // Writes the pending CSV line (into the file of its own second).
    void line() {
        const tern::csv_builder_t* csv = logger_.csv_builder();
        if (csv && csv->msg_tstamp_valid()) logger_.note_drop(tern::log_channel_csv);
        logger_.generate_csv();
    }

    logger_t& logger_;
    gtimer_t<feeder_t> idle_;
    unsigned long long frames_ = 0, seen_ = 0;
    double last_t_ = NAN;
};

} // namespace

int main(int argc, char** argv) {
    tern_tool::set_program(argv[0]);
    tern_tool::settings_opt_t settings;
    tern_tool::transport_opt_t link_opt;
    const char* file = nullptr;
    double usb_wait = 5.0;
    unsigned long long csv_interval = 1000;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        int status = 0;
        if (a == "--help" || a == "-h") {
            std::cout << usage << tern_tool::settings_usage << tern_tool::transport_usage
                      << tern_tool::standard_usage;
            return 0;
        } else if (a == "--version") {
            return tern_tool::print_version();
        }
        if (tern_tool::take_settings_option(argc, argv, i, settings, status)) {
            if (status) return status;
        } else if (a == "--usb-wait" || a == "--csv-interval") {
            if (i + 1 >= argc) {
                tern_tool::diag(a + " needs a value (see --help)");
                return 2;
            }
            const char* v = argv[++i];
            const bool ok =
                a == "--usb-wait"
                    ? tern_tool::parse_double(v, usb_wait) && usb_wait >= 0 && usb_wait <= 86400
                    : tern_tool::parse_unsigned(v, 3600000, csv_interval) && csv_interval > 0;
            if (!ok) {
                tern_tool::diag("invalid value for " + a + ": " + v);
                return 2;
            }
        } else if ((status = tern_tool::take_input_argument(argc, argv, i, link_opt, file))) {
            return status;
        }
    }
    if (const int status = tern_tool::check_input_arguments(link_opt, file)) return status;
    // A missing input is known at once, not after waiting for the volumes. (Only looked at:
    // opening a FIFO here would let its writer run into a closed pipe.)
    if (file && std::strcmp(file, "-") != 0) {
        struct stat st;
        const int err = ::stat(file, &st) != 0      ? errno
                        : S_ISDIR(st.st_mode)       ? EISDIR
                        : ::access(file, R_OK) != 0 ? errno
                                                    : 0;
        if (err) {
            tern_tool::diag(std::string("cannot open ") + file + ": " + std::strerror(err));
            return 1;
        }
    }

    KeelConfig store;
    std::string why;
    if (!tern_tool::load_settings(settings, store, why)) {
        tern_tool::diag(why);
        return 1;
    }
    // Columns are on unless the settings turn them off.
    const std::string column_prefix = settings.prefix + tern::KEY_CSV_OUTPUT_INFIX;
    for (unsigned int i = 0; i < tern::csv_field_count; ++i) {
        const std::string key = column_prefix + "enable_" + tern::csvFieldToConfigString(i);
        KeelConfig::const_iterator it;
        if (!store.find(key, it)) store.setValue(key, "1");
    }

    std::signal(SIGPIPE, SIG_IGN);
    tern::thread_init();
    usb_mgr_t mgr;
    usb_mgr_t::set_default(&mgr);
    usb_follower_t follower;
    std::unique_ptr<logger_t> logger(new logger_t);
    logger->settings_load_general(store, settings.prefix);
    if (!logger->any_enabled()) tern_tool::diag("no channel enabled: nothing will be logged");
    follower.logger = logger.get();
    mgr.init(&follower);
    wait_for_volumes(*logger, follower, usb_wait);
    logger->report();

    feeder_t feeder(*logger);
    tern_tool::frame_input_t input(file, link_opt);
    input.on_frame = [&feeder](tern::msg_decoder_t& dec) { feeder.frame(dec); };
    feeder.start_timer(static_cast<unsigned int>(csv_interval));
    int status = 0;
    {
        const auto quit = [&input] { input.quit(0); };
        const tern_tool::signal_watch_t sigterm(SIGTERM, quit), sigint(SIGINT, quit);
        status = input.run();
    }
    feeder.finish();
    logger->report();
    const bool failed = logger->failed, dropped = logger->dropped;

    // Close the files first, then let the manager go without telling anyone.
    follower.logger = nullptr;
    logger.reset();
    mgr.shutdown();
    usb_mgr_t::set_default(nullptr);
    if (failed) tern_tool::diag("logging failed: error logging data");
    if (dropped) tern_tool::diag("logging failed: device not found, data dropped");
    if ((failed || dropped) && status == 0) status = 1;
    return status;
}
