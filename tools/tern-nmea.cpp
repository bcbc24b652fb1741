// tern-nmea: the controller's main job on a stream of frames: navigation data in, NMEA and
// proprietary sentences out, as one output port with its configuration would send them.
#include "common/frame_input.h"
#include "common/program.h"
#include "common/settings.h"
#include "common/transport.h"

#include <tern/msg/catalogue.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/output/outputBuilder.h>

#include <keelconfig/KeelConfig.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <netdb.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char usage[] =
    "Usage: tern-nmea [OPTION]... [INPUT]\n"
    "Reads navigation data frames from INPUT (or standard input, or a connection) and writes\n"
    "the sentences of one output port, configured by the output settings under prefix P of\n"
    "FILE (built-in defaults without --config), to standard output.\n"
    "  --udp HOST:PORT      also send every sentence as one UDP datagram to HOST:PORT\n";

// Where --udp sends: one datagram per sentence, unconnected, so a missing receiver never
// stops the output on standard output.
class udp_out_t {
public:
    ~udp_out_t() {
        if (fd_ >= 0) ::close(fd_);
    }

    // false with a reason for a malformed HOST:PORT (`usage` set) or an unknown host.
    bool open(const std::string& arg, std::string& why, bool& bad_usage) {
        bad_usage = true;
        const auto colon = arg.rfind(':');
        if (colon == std::string::npos || colon == 0 || colon + 1 == arg.size()) {
            why = "--udp takes HOST:PORT, not " + arg;
            return false;
        }
        std::string host = arg.substr(0, colon);
        const std::string port = arg.substr(colon + 1);
        unsigned long long p = 0;
        if (!tern_tool::parse_unsigned(port.c_str(), 65535, p) || p == 0) {
            why = "invalid UDP port " + port;
            return false;
        }
        if (host.size() > 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        bad_usage = false;
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* res = nullptr;
        const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &res);
        if (rc != 0 || !res) {
            why = "cannot resolve " + host + ": " + gai_strerror(rc);
            return false;
        }
        fd_ = ::socket(res->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) {
            why = std::string("cannot open a UDP socket: ") + std::strerror(errno);
            freeaddrinfo(res);
            return false;
        }
        std::memcpy(&addr_, res->ai_addr, res->ai_addrlen);
        addr_len_ = res->ai_addrlen;
        freeaddrinfo(res);
        return true;
    }

    bool used() const { return fd_ >= 0; }

    void send(const unsigned char* data, unsigned int len) {
        if (fd_ < 0) return;
        const ssize_t n =
            ::sendto(fd_, data, len, 0, reinterpret_cast<sockaddr*>(&addr_), addr_len_);
        if (n < 0 && !warned_) {
            warned_ = true;
            tern_tool::diag(std::string("UDP send failed: ") + std::strerror(errno));
        }
    }

private:
    int fd_ = -1;
    sockaddr_storage addr_{};
    socklen_t addr_len_ = 0;
    bool warned_ = false;
};

} // namespace

int main(int argc, char** argv) {
    tern_tool::set_program(argv[0]);
    tern_tool::settings_opt_t settings;
    tern_tool::transport_opt_t link_opt;
    std::string udp;
    const char* file = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        int status = 0;
        if (a == "--help" || a == "-h") {
            std::cout << usage << tern_tool::settings_usage << tern_tool::transport_usage
                      << tern_tool::standard_usage;
            return 0;
        } else if (a == "--version") {
            return tern_tool::print_version();
        } else if (tern_tool::take_settings_option(argc, argv, i, settings, status)) {
            if (status) return status;
        } else if (a == "--udp") {
            if (i + 1 >= argc) {
                tern_tool::diag("--udp needs a value (see --help)");
                return 2;
            }
            udp = argv[++i];
        } else if ((status = tern_tool::take_input_argument(argc, argv, i, link_opt, file))) {
            return status;
        }
    }
    if (const int status = tern_tool::check_input_arguments(link_opt, file)) return status;

    udp_out_t udp_out;
    if (!udp.empty()) {
        std::string why;
        bool bad_usage = false;
        if (!udp_out.open(udp, why, bad_usage)) {
            tern_tool::diag(why + (bad_usage ? " (see --help)" : ""));
            return bad_usage ? 2 : 1;
        }
    }

    // Without a file the defaults are stored first, so --set changes single keys of them.
    KeelConfig store;
    if (settings.config.empty()) tern::output_cfg_t().set_cfg(store, settings.prefix);
    std::string why;
    if (!tern_tool::load_settings(settings, store, why)) {
        tern_tool::diag(why);
        return 1;
    }
    tern::output_cfg_t cfg;
    if (!cfg.load_cfg(store, settings.prefix)) {
        tern_tool::diag((settings.config.empty() ? std::string("settings") : settings.config) +
                        ": incomplete output configuration under prefix \"" + settings.prefix +
                        "\" (the dpgga_cfg_ keys, nmea_version and strict_nmea are required)");
        return 1;
    }

    tern::outputBuilder_t builder;
    builder.setConfig(cfg);
    tern::outputBuilder_t::msgList_t out;
    tern_tool::frame_input_t input(file, link_opt);
    bool write_failed = false;
    input.on_frame = [&](tern::msg_decoder_t& dec) {
        if (dec.category() != tern::msg_t::category_data) return;
        std::unique_ptr<tern::msg_t> msg = tern::create_msg(dec);
        const auto* data = dynamic_cast<const tern::data_msg_t*>(msg.get());
        if (!data) return;
        builder.handleDataMessage(*data, out);
        bool wrote = false;
        for (tern::msg_t* m : out) {
            if (const auto* cmd = dynamic_cast<const tern::cmd_device_write_t*>(m)) {
                const unsigned int n = cmd->write_len();
                if (!write_failed && std::fwrite(cmd->write_data(), 1, n, stdout) != n)
                    write_failed = true;
                udp_out.send(cmd->write_data(), n);
                wrote = true;
            }
            delete m;
        }
        out.clear();
        if (wrote && !write_failed && std::fflush(stdout) != 0) write_failed = true;
        if (write_failed) {
            tern_tool::diag(std::string("write error on standard output: ") + std::strerror(errno));
            input.quit(1);
        }
    };
    const int status = input.run();
    if (std::fflush(stdout) != 0 && !write_failed) {
        tern_tool::diag("write error on standard output");
        return 1;
    }
    return write_failed ? 1 : status;
}
