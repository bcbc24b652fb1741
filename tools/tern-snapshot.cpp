// tern-snapshot: feeds a data cache per port from a stream of frames and writes the HTML
// status snapshot page of every port's device.
#include "common/frame_input.h"
#include "common/program.h"
#include "common/settings.h"
#include "common/signal_watch.h"
#include "common/transport.h"

#include <tern/config/config_util.h>
#include <tern/config/snapshot_util.h>
#include <tern/data/allDeviceInfo.h>
#include <tern/data/device.h>
#include <tern/data/port_mgr.h>
#include <tern/msg/catalogue.h>
#include <tern/util/time_util.h>

#include <glib.h>

#include <cmath>
#include <csignal>
#include <iostream>
#include <locale>
#include <map>
#include <memory>
#include <sstream>
#include <string>

namespace {

const char usage[] =
    "Usage: tern-snapshot [OPTION]... [INPUT]\n"
    "Reads navigation data frames from INPUT (or standard input, or a connection) into a data\n"
    "cache per port and, at the end of the input, writes the HTML status snapshot page of\n"
    "every port to FILE (replaced whole) or standard output. SIGUSR1 writes a page at once\n"
    "(while connected, or while a long input is read); without --out every signal appends a\n"
    "whole page to standard output. Port N's name, device type and device name come from the\n"
    "settings keys port_N_name, port_N_device_type and port_N_device_name (after the prefix).\n"
    "  --out FILE           write the page to FILE instead of standard output\n"
    "  --title TEXT         the page's title (default \"Controller snapshot\")\n";

// A device as the snapshot sees it: the type and custom name from the settings, and the
// cache its port's data goes into.
class port_device_t : public tern::device_t {
public:
    port_device_t(tern::dev_controller_t* ctl, int port, const tern::deviceInfo_t* info,
                  const std::string& name)
        : device_t(ctl), info_(info) {
        port_id = port;
        custom_name = name;
    }

    const tern::deviceInfo_t* device_info() const override { return info_; }
    void handle_port_data(const unsigned char*, std::size_t, std::list<tern::msg_t*>&) override {}
    void poll(double, std::list<tern::msg_t*>&) override {}
    void add(const tern::data_msg_t& msg) { cache.add(msg); }

    void save_snapshot(const std::string&, const std::string&, std::ostream& os, bool) override {
        os << tern::snapshot_device_table_t(tern::snapshotDeviceDesc(controller, port_id));
        tern::write_cache_snapshot(os, cache);
    }

private:
    const tern::deviceInfo_t* info_;
};

// The ports seen in the stream, named from the settings.
class controller_t : public tern::dev_controller_t, public tern::port_mgr_t {
public:
    controller_t(const KeelConfig& cfg, const std::string& prefix) : cfg_(cfg), prefix_(prefix) {}

    port_device_t& device(int port) {
        auto it = devices_.find(port);
        if (it != devices_.end()) return *it->second;
        const std::string keys = prefix_ + tern::port_config_prefix(port);
        std::string type = tern::deviceNameSim, custom;
        cfg_.get(keys + tern::KEY_PORT_DEVICE_TYPE, type);
        cfg_.get(keys + tern::KEY_PORT_DEVICE_NAME, custom);
        std::string name = "Port " + std::to_string(port);
        cfg_.get(keys + tern::KEY_PORT_NAME, name);
        names_[port] = name;
        const tern::deviceInfo_t* info = info_for(type);
        return *(devices_[port] = std::make_unique<port_device_t>(this, port, info, custom));
    }

    void write_page(std::ostream& os, const std::string& title) {
        os << tern::snapshot_page_start_t(title);
        if (devices_.empty()) os << tern::snapshot_device_table_t(tern::None_str);
        for (auto& kv : devices_) kv.second->save_snapshot(title, std::string(), os, true);
        os << tern::snapshot_page_end_t();
    }

    void send_dev_msgs(int, std::list<tern::msg_t*>& msgs) override {
        for (tern::msg_t* m : msgs) delete m;
        msgs.clear();
    }
    tern::device_t* find_device(int port) override {
        auto it = devices_.find(port);
        return it == devices_.end() ? nullptr : it->second.get();
    }
    bool get_port_cfg(int, tern::port_cfg_t&) override { return false; }
    bool set_port_cfg(int, const tern::port_cfg_t&) override { return false; }
    bool set_device_type(int, const std::string&) override { return false; }
    tern::port_mgr_t* port_manager() override { return this; }
    bool has_port(int port) const override { return names_.count(port) != 0; }
    const std::string* find_port_name(int port) const override {
        auto it = names_.find(port);
        return it == names_.end() ? nullptr : &it->second;
    }

private:
    // The registered description of a type, or one of our own for a type nobody registered.
    const tern::deviceInfo_t* info_for(const std::string& type) {
        if (const tern::deviceInfo_t* info = tern::allDeviceInfo_t::instance().findByType(type))
            return info;
        auto& own = infos_[type];
        if (!own) own = std::make_unique<tern::deviceInfo_t>(type, type);
        return own.get();
    }

    const KeelConfig& cfg_;
    std::string prefix_;
    std::map<int, std::unique_ptr<port_device_t>> devices_;
    std::map<int, std::string> names_;
    std::map<std::string, std::unique_ptr<tern::deviceInfo_t>> infos_;
};

struct options_t {
    std::string out;
    std::string title = "Controller snapshot";
    const char* file = nullptr;
};

// Writes the page to the file (replaced atomically, so a browser never reads half a page) or
// to standard output; false after a diagnostic.
bool write_page(controller_t& ctl, const options_t& opt) {
    std::ostringstream page;
    page.imbue(std::locale::classic());
    ctl.write_page(page, opt.title);
    const std::string text = page.str();
    if (opt.out.empty()) {
        std::cout << text;
        std::cout.flush();
        if (!std::cout) {
            tern_tool::diag("write error on standard output");
            return false;
        }
        return true;
    }
    GError* err = nullptr;
    if (!g_file_set_contents(opt.out.c_str(), text.data(), static_cast<gssize>(text.size()),
                             &err)) {
        tern_tool::diag("cannot write " + opt.out + ": " + (err ? err->message : "unknown error"));
        if (err) g_error_free(err);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // A page is asked for with SIGUSR1, which must never end the program: not before its
    // watch is in place, nor after.
    std::signal(SIGUSR1, SIG_IGN);
    tern_tool::set_program(argv[0]);
    options_t opt;
    tern_tool::transport_opt_t link_opt;
    tern_tool::settings_opt_t settings_opt;
    int usage_status = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << usage << tern_tool::transport_usage << tern_tool::settings_usage
                      << tern_tool::standard_usage;
            return 0;
        } else if (a == "--version") {
            return tern_tool::print_version();
        } else if (a == "--out" || a == "--title") {
            if (i + 1 >= argc || !*argv[i + 1]) {
                tern_tool::diag(a + " needs a value (see --help)");
                return 2;
            }
            (a == "--out" ? opt.out : opt.title) = argv[++i];
        } else if (tern_tool::take_settings_option(argc, argv, i, settings_opt, usage_status)) {
            if (usage_status) return usage_status;
        } else if (const int status =
                       tern_tool::take_input_argument(argc, argv, i, link_opt, opt.file)) {
            return status;
        }
    }
    if (const int status = tern_tool::check_input_arguments(link_opt, opt.file)) return status;

    KeelConfig cfg;
    std::string why;
    if (!tern_tool::load_settings(settings_opt, cfg, why)) {
        tern_tool::diag(why);
        return 1;
    }

    controller_t ctl(cfg, settings_opt.prefix);
    tern_tool::frame_input_t input(opt.file, link_opt);
    input.on_frame = [&](tern::msg_decoder_t& dec) {
        std::unique_ptr<tern::msg_t> msg = tern::create_msg(dec);
        if (!msg || msg->category != tern::msg_t::category_data) return;
        const auto& data = static_cast<const tern::data_msg_t&>(*msg);
        // The receiver's time is the data time: what it sent last is current.
        if (std::isfinite(data.utc_tstamp) && data.utc_tstamp > 0.0)
            tern::set_tstamp_data_diff(data.utc_tstamp - tern::gettstamp_sys());
        ctl.device(static_cast<int>(data.port)).add(data);
    };

    int status = 0;
    {
        // Meant for a connection that stays open, but a long file is served as well.
        const tern_tool::signal_watch_t usr1(SIGUSR1, [&] {
            if (!write_page(ctl, opt)) input.quit(1);
        });
        status = input.run();
    }
    if (status != 0) return status;
    return write_page(ctl, opt) ? 0 : 1;
}
