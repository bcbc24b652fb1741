// tern-nmea: the controller's main job on a stream of frames: navigation data in, NMEA and
// proprietary sentences out, as one output port with its configuration would send them.
#include "common/frame_input.h"
#include "common/program.h"
#include "common/sentence_server.h"
#include "common/serial_out.h"
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
    "  --udp HOST:PORT      also send every sentence as one UDP datagram to HOST:PORT (a\n"
    "                       broadcast address such as 255.255.255.255 is allowed)\n"
    "  --serve [HOST:]PORT  also serve the sentences over TCP: every client gets the bytes of\n"
    "                       standard output from the moment it connects; HOST is 127.0.0.1\n"
    "                       unless given (0.0.0.0 offers them to the network). Chart plotters\n"
    "                       commonly read NMEA on port 10110\n"
    "  --serial N           also write the sentences to port N's serial device, set up from\n"
    "                       the keys port_N_serial_device, port_N_baud, port_N_data_bits (7\n"
    "                       or 8), port_N_parity (none, odd, even), port_N_stop_bits (1 or 2),\n"
    "                       port_N_flow_control (none, tern: RTS/CTS) and port_N_use_rts of\n"
    "                       the same settings (absent keys: 115200 8N1, no flow control)\n";

// How long the TCP clients get at the end of the input to take what is queued for them.
constexpr double serve_linger_s = 10.0;

// Where --udp sends: one datagram per sentence, unconnected, so a missing receiver never
// stops the output on standard output. Broadcast is allowed: plotters commonly listen for
// broadcast NMEA.
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
        const int on = 1;
        if (res->ai_family == AF_INET) ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        std::memcpy(&addr_, res->ai_addr, res->ai_addrlen);
        addr_len_ = res->ai_addrlen;
        freeaddrinfo(res);
        target_ = arg;
        return true;
    }

    void send(const unsigned char* data, unsigned int len) {
        if (fd_ < 0) return;
        ++sent_;
        const ssize_t n =
            ::sendto(fd_, data, len, 0, reinterpret_cast<sockaddr*>(&addr_), addr_len_);
        if (n >= 0) return;
        if (failed_++ == 0) first_error_ = std::strerror(errno);
    }

    // At the end: false after a line saying how many datagrams failed.
    bool report() const {
        if (failed_ == 0) return true;
        tern_tool::diag("UDP: " + std::to_string(failed_) + " of " + std::to_string(sent_) +
                        " datagrams to " + target_ + " not sent (" + first_error_ + ")");
        return false;
    }

private:
    int fd_ = -1;
    sockaddr_storage addr_{};
    socklen_t addr_len_ = 0;
    std::string target_;
    unsigned long long sent_ = 0, failed_ = 0;
    std::string first_error_;
};

// Takes the value of option argv[i] (moving i past it); false after a diagnostic when it is
// missing.
bool take_value(int argc, char** argv, int& i, std::string& value) {
    if (i + 1 >= argc) {
        tern_tool::diag(std::string(argv[i]) + " needs a value (see --help)");
        return false;
    }
    value = argv[++i];
    return true;
}

} // namespace

int main(int argc, char** argv) {
    tern_tool::set_program(argv[0]);
    tern_tool::settings_opt_t settings;
    tern_tool::transport_opt_t link_opt;
    std::string udp, serve, serial;
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
        } else if (a == "--udp" || a == "--serve" || a == "--serial") {
            if (!take_value(argc, argv, i, a == "--udp" ? udp : a == "--serve" ? serve : serial))
                return 2;
        } else if ((status = tern_tool::take_input_argument(argc, argv, i, link_opt, file))) {
            return status;
        }
    }
    if (const int status = tern_tool::check_input_arguments(link_opt, file)) return status;
    unsigned long long serial_port = 0;
    if (!serial.empty() && !tern_tool::parse_unsigned(serial.c_str(), 255, serial_port)) {
        tern_tool::diag("--serial takes a port number, not " + serial + " (see --help)");
        return 2;
    }

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
    // A value that does not convert would silently be another setting: refused, naming it.
    const std::string port_prefix =
        serial.empty() ? std::string() : tern::port_config_prefix(int(serial_port));
    std::vector<tern::cfg_fault_t> faults;
    for (tern::cfg_fault_t& f : tern::output_cfg_t::check_cfg(store, settings.prefix)) {
        // The serial port's own keys are no typos.
        const bool port_key = !port_prefix.empty() && f.expected.empty() &&
                              f.key.compare(0, port_prefix.size(), port_prefix) == 0;
        if (!port_key) faults.push_back(f);
    }
    tern::port_cfg_t port_cfg;
    std::string serial_why;
    const bool serial_ok =
        serial.empty() ||
        tern_tool::serial_settings(store, int(serial_port), port_cfg, faults, serial_why);
    if (const int status = tern_tool::report_faults(settings, faults)) return status;
    if (!serial_ok) {
        tern_tool::diag(serial_why);
        return 1;
    }
    tern::output_cfg_t cfg;
    if (!cfg.load_cfg(store, settings.prefix)) {
        tern_tool::diag((settings.config.empty() ? std::string("settings") : settings.config) +
                        ": incomplete output configuration under prefix \"" + settings.prefix +
                        "\" (the dpgga_cfg_ keys, nmea_version and strict_nmea are required)");
        return 1;
    }

    tern_tool::serial_out_t serial_out;
    if (!serial.empty() && !serial_out.open(port_cfg, why)) {
        tern_tool::diag(why);
        return 1;
    }
    tern_tool::sentence_server_t server;
    if (!serve.empty()) {
        bool bad_usage = false;
        if (!server.listen(serve, why, bad_usage)) {
            tern_tool::diag(why + (bad_usage ? " (see --help)" : ""));
            return bad_usage ? 2 : 1;
        }
        tern_tool::diag("serving the sentences on " + server.address());
    }

    tern::outputBuilder_t builder;
    builder.setConfig(cfg);
    tern::outputBuilder_t::msgList_t out;
    tern_tool::frame_input_t input(file, link_opt);
    unsigned long long messages = 0;
    // The first failure of an output ends the run: said once, nothing more is written.
    bool failed = false;
    const auto fail = [&](const std::string& reason) {
        if (failed) return;
        failed = true;
        tern_tool::diag(reason);
        input.quit(1);
    };
    serial_out.on_gone = fail;
    input.on_frame = [&](tern::msg_decoder_t& dec) {
        if (failed) return;
        std::unique_ptr<tern::msg_t> msg = tern::create_msg(dec);
        if (msg) ++messages;
        const auto* data = dynamic_cast<const tern::data_msg_t*>(msg.get());
        if (!data) return;
        builder.handleDataMessage(*data, out);
        bool wrote = false;
        for (tern::msg_t* m : out) {
            const auto* cmd = dynamic_cast<const tern::cmd_device_write_t*>(m);
            if (cmd && !failed) {
                const unsigned int n = cmd->write_len();
                if (std::fwrite(cmd->write_data(), 1, n, stdout) != n)
                    fail(std::string("write error on standard output: ") + std::strerror(errno));
                udp_out.send(cmd->write_data(), n);
                server.send(cmd->write_data(), n);
                std::string serial_error;
                if (serial_out.is_open() && !serial_out.write(cmd->write_data(), n, serial_error))
                    fail(serial_error);
                wrote = true;
            }
            delete m;
        }
        out.clear();
        if (wrote && !failed && std::fflush(stdout) != 0)
            fail(std::string("write error on standard output: ") + std::strerror(errno));
    };
    int status = input.run();
    server.finish(failed ? 0.0 : serve_linger_s);
    if (std::fflush(stdout) != 0 && !failed) {
        tern_tool::diag("write error on standard output");
        status = 1;
    }
    if (!udp_out.report()) status = 1;
    // Bytes that held no frame are worth a word: the wrong file, or text where frames belong.
    if (input.skipped() > 0) {
        tern_tool::diag(input.summary(messages));
        if (input.frames() == 0) status = 1;
    }
    return failed ? 1 : status;
}
