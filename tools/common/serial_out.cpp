#include "common/serial_out.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tern_tool {

const char* const serial_keys[7] = {"serial_device", "baud",         "data_bits", "parity",
                                    "stop_bits",     "flow_control", "use_rts"};

namespace {

// An enumeration's value must be one of the texts its values are written as (port_cfg_t
// itself reads any other text as the default).
template <class E>
bool enum_text(const std::string& text, int values, std::string& expected) {
    std::vector<std::string> all;
    for (int v = 0; v < values; ++v) {
        std::ostringstream os;
        os << static_cast<E>(v);
        if (std::find(all.begin(), all.end(), os.str()) == all.end()) all.push_back(os.str());
    }
    if (std::find(all.begin(), all.end(), text) != all.end()) return true;
    expected = "one of";
    for (const std::string& t : all) expected += (&t == &all.front() ? " " : ", ") + t;
    return false;
}

struct baud_speed_t {
    unsigned int baud;
    speed_t speed;
};
const baud_speed_t speeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {3000000, B3000000}, {4000000, B4000000},
};

bool speed_of(unsigned int baud, speed_t& speed) {
    for (const auto& s : speeds) {
        if (s.baud != baud) continue;
        speed = s.speed;
        return true;
    }
    return false;
}

constexpr tcflag_t line_bits = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;

// How long a line may take no byte at all before the output counts as stuck.
constexpr int stall_ms = 10000;

} // namespace

bool serial_settings(const KeelConfig& store, int port, tern::port_cfg_t& cfg,
                     std::vector<tern::cfg_fault_t>& faults, std::string& why) {
    const std::string prefix = tern::port_config_prefix(port);
    // port_cfg_t's own defaults first, so that only the keys given need be there.
    KeelConfig merged;
    tern::port_cfg_t().set_cfg(std::string(), prefix, merged);
    const std::size_t before = faults.size();
    for (const ConfigEntry& e : store.entries()) {
        if (e.key.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string key = e.key.substr(prefix.size());
        std::string expected;
        if (key == "baud") {
            unsigned int b = 0;
            if (!::operator>>(e.value, b)) expected = "a whole number (the baud rate)";
        } else if (key == "use_rts") {
            bool b = false;
            if (!::operator>>(e.value, b)) expected = "a bool (0, 1, true or false)";
        } else if (key == "data_bits") {
            enum_text<tern::char_size_t>(e.value, 2, expected);
        } else if (key == "parity") {
            enum_text<tern::parity_t>(e.value, 3, expected);
        } else if (key == "stop_bits") {
            enum_text<tern::stop_bits_t>(e.value, 2, expected);
        } else if (key == "flow_control") {
            enum_text<tern::flow_t>(e.value, 2, expected);
        }
        if (!expected.empty()) faults.push_back({e.key, e.value, expected});
        merged.setValue(e.key, e.value);
    }
    if (faults.size() != before) return false;
    std::string type;
    cfg.load_cfg(merged, prefix, type);
    if (cfg.serial_device.empty()) {
        why = "--serial " + std::to_string(port) + ": no device (" + prefix +
              "serial_device is not set)";
        return false;
    }
    return true;
}

serial_out_t::serial_out_t() {
    watch_.connect(this, &serial_out_t::hung_up);
}

serial_out_t::~serial_out_t() {
    watch_.stop();
    if (fd_ >= 0) ::close(fd_);
}

bool serial_out_t::open(const tern::port_cfg_t& cfg, std::string& why) {
    device_ = cfg.serial_device;
    speed_t speed = B0;
    if (!speed_of(cfg.baud, speed)) {
        why = device_ + ": " + std::to_string(cfg.baud) + " is not a baud rate a serial line takes";
        return false;
    }
    // Not blocking: a line without carrier would hold open() for ever, and writes wait on
    // poll with a limit.
    fd_ = ::open(device_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        why = "cannot open " + device_ + ": " + std::strerror(errno);
        return false;
    }
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) {
        why = device_ + " is not a serial device: " + std::strerror(errno);
        return false;
    }
    ::cfmakeraw(&t);
    t.c_cflag &= ~line_bits;
    t.c_cflag |= CLOCAL | CREAD | (cfg.data_bits == tern::char_size_7 ? CS7 : CS8);
    if (cfg.parity != tern::parity_none)
        t.c_cflag |= PARENB | (cfg.parity == tern::parity_odd ? PARODD : 0);
    if (cfg.stop_bits == tern::stop_bits_2) t.c_cflag |= CSTOPB;
    if (cfg.flow_control == tern::flow_tern) t.c_cflag |= CRTSCTS;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    const tcflag_t wanted = t.c_cflag & line_bits;
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
        why = device_ + " refuses its line settings: " + std::strerror(errno);
        return false;
    }
    // tcsetattr succeeds when any one setting took: read them back.
    termios back{};
    ::tcgetattr(fd_, &back);
    const tcflag_t got = back.c_cflag & line_bits;
    std::string refused;
    if (::cfgetospeed(&back) != speed)
        refused = std::to_string(cfg.baud) + " baud";
    else if ((got & CSIZE) != (wanted & CSIZE))
        refused = "the data bits";
    else if ((got & (PARENB | PARODD)) != (wanted & (PARENB | PARODD)))
        refused = "the parity";
    else if ((got & CSTOPB) != (wanted & CSTOPB))
        refused = "the stop bits";
    else if ((got & CRTSCTS) != (wanted & CRTSCTS))
        refused = "the flow control";
    if (!refused.empty()) {
        why = device_ + " refuses " + refused;
        return false;
    }
    const int rts = TIOCM_RTS;
    if (cfg.use_rts && ::ioctl(fd_, TIOCMBIS, &rts) != 0) {
        why = device_ + " refuses RTS control: " + std::strerror(errno);
        return false;
    }
    watch_.start(fd_, static_cast<GIOCondition>(G_IO_HUP | G_IO_ERR));
    return true;
}

bool serial_out_t::write(const unsigned char* data, std::size_t len, std::string& why) {
    while (len > 0) {
        const ssize_t n = ::write(fd_, data, len);
        if (n > 0) {
            data += n;
            len -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            // The line is slower than the input: wait while it takes bytes, but not for ever
            // (flow control held off by the other end would stop every other output too).
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, stall_ms) == 0) {
                why = device_ + " took no byte for " + std::to_string(stall_ms / 1000) +
                      " s (held off by flow control?)";
                return false;
            }
            continue;
        }
        why = "write error on " + device_ + ": " + std::strerror(n < 0 ? errno : EIO);
        return false;
    }
    return true;
}

void serial_out_t::hung_up() {
    watch_.stop();
    if (on_gone) on_gone(device_ + " went away (hang-up)");
}

} // namespace tern_tool
