// tern-sensor: a sensor's byte stream to navigation data frames.
#include "common/frame_input.h"
#include "common/program.h"
#include "common/transport.h"

#include <tern/msg/fb_msgs.h>
#include <tern/sensors/sensorInput.h>
#include <tern/util/time_util.h>

#include <cmath>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <list>
#include <locale>
#include <sstream>
#include <string>

namespace {

const char usage[] =
    "Usage: tern-sensor --format em|tss1|ats|fanbeam [OPTION]... [INPUT]\n"
    "Reads a sensor's byte stream from INPUT (or standard input) and writes the navigation\n"
    "data frames its readings become to standard output: roll, pitch, heave and heading (em),\n"
    "roll, pitch, heave and motion (tss1), target status, offset and depth (ats). Each is\n"
    "stamped with the data clock when it is decoded (each frame or record a time of its own);\n"
    "acoustic tracking data carries the tracker's own time. Range/bearing readings (fanbeam)\n"
    "make no data message: each valid one is printed on standard error as\n"
    "\"range_bearing target T range R bearing B\" (bearing in\n"
    "degrees, \"-\" for a field the sensor left out). A summary line ends standard error.\n"
    "On a connection the sensor's bytes arrive as the text of raw data frames (feedback type\n"
    "38) and other frames are ignored; it ends when the peer hangs up. With \"pipe\" those\n"
    "frames come on standard input and the data frames go back on standard output.\n"
    "  --format F           em (EM attitude, binary), tss1, ats (acoustic tracking), fanbeam\n"
    "  --port N             port 0 to 255 in the header of the data frames (default 255); on a\n"
    "                       connection, only raw frames of port N are read\n";

struct options_t {
    bool have_format = false;
    tern::sensorFormat_t format = tern::sensorFormat_em;
    bool have_port = false;
    unsigned port = 255;
    const char* file = nullptr;
};

// Parses the command line; 0 to go on, otherwise the exit status (after --help or a
// diagnostic).
int parse_args(int argc, char** argv, options_t& opt, tern_tool::transport_opt_t& link,
               bool& done) {
    done = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << usage << tern_tool::transport_usage << tern_tool::standard_usage;
            done = true;
            return 0;
        } else if (a == "--version") {
            done = true;
            return tern_tool::print_version();
        } else if (a == "--format" || a == "--port") {
            if (i + 1 >= argc) {
                tern_tool::diag(a + " needs a value (see --help)");
                return 2;
            }
            const char* v = argv[++i];
            unsigned long long n = 0;
            if (a == "--format") {
                if (!tern::sensorFormat_from_name(v, opt.format)) {
                    tern_tool::diag(std::string("unknown format ") + v + " (see --help)");
                    return 2;
                }
                opt.have_format = true;
            } else if (!tern_tool::parse_unsigned(v, 255, n)) {
                tern_tool::diag(std::string("bad port ") + v + ": a number from 0 to 255");
                return 2;
            } else {
                opt.port = static_cast<unsigned>(n);
                opt.have_port = true;
            }
        } else if (const int status =
                       tern_tool::take_input_argument(argc, argv, i, link, opt.file)) {
            return status;
        }
    }
    if (!opt.have_format) {
        tern_tool::diag("--format is required (see --help)");
        return 2;
    }
    return tern_tool::check_input_arguments(link, opt.file);
}

// "range_bearing target 3 range 12.500 bearing 45.00"
std::string reading_text(const tern::mdlRangeBearingMsg_t& m) {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s.setf(std::ios::fixed);
    unsigned target = 0;
    double range = 0.0;
    double bearing = 0.0;
    s << "range_bearing target ";
    if (m.targetNumber(target))
        s << target;
    else
        s << '-';
    s << " range ";
    if (m.range(range))
        s << std::setprecision(3) << range;
    else
        s << '-';
    s << " bearing ";
    if (m.bearing(bearing))
        s << std::setprecision(2) << bearing * 180.0 / 3.14159265358979323846;
    else
        s << '-';
    return s.str();
}

} // namespace

int main(int argc, char** argv) {
    tern_tool::set_program(argv[0]);
    options_t opt;
    tern_tool::transport_opt_t link_opt;
    bool done = false;
    if (int status = parse_args(argc, argv, opt, link_opt, done)) return status;
    if (done) return 0;

    // Records decoded within one microsecond must still be distinct epochs downstream.
    double last_stamp = 0.0;
    tern::sensorInput_t sensor(opt.format, [&last_stamp] {
        const double now = tern::gettstamp_data();
        last_stamp = now > last_stamp ? now : last_stamp + 1e-6;
        return last_stamp;
    });
    sensor.on_range_bearing = [](const tern::mdlRangeBearingMsg_t& m) {
        std::cerr << reading_text(m) << '\n';
    };
    tern_tool::frame_input_t input(opt.file, link_opt);
    const bool reply_on_link =
        link_opt.used && link_opt.kind == tern_tool::transport_opt_t::kind_pipe;
    unsigned long long messages = 0;
    bool write_failed = false;

    // Sends or writes the messages of one read, then frees them.
    auto emit = [&](std::list<tern::msg_t*>& msgs) {
        for (tern::msg_t* m : msgs) {
            m->port = opt.port;
            tern::msg_encoder_t enc;
            if (enc.encodeMessage(*m)) {
                ++messages;
                if (reply_on_link) {
                    if (tern::conn_t* c = input.conn()) c->send_msg(m);
                } else if (std::fwrite(enc.data(), 1, enc.size(), stdout) != enc.size()) {
                    write_failed = true;
                }
            }
            delete m;
        }
        msgs.clear();
        if (!reply_on_link && std::fflush(stdout) != 0) write_failed = true;
        if (write_failed) input.quit(1);
    };
    auto feed = [&](const unsigned char* data, std::size_t len) {
        std::list<tern::msg_t*> msgs;
        if (len == 0)
            sensor.finish(msgs);
        else
            sensor.feed(data, len, msgs);
        emit(msgs);
    };

    input.on_bytes = feed;
    input.on_frame = [&](tern::msg_decoder_t& dec) {
        if (dec.category() != tern::msg_t::category_fb ||
            dec.type() != tern::fb_raw_ascii_t::msg_type ||
            (opt.have_port && dec.port() != opt.port))
            return;
        tern::fb_raw_ascii_t raw(dec);
        if (dec.is_short()) return;
        feed(reinterpret_cast<const unsigned char*>(raw.text.data()), raw.text.size());
    };
    int status = input.run();
    if (link_opt.used) feed(nullptr, 0); // the peer hung up: a last line without its end
    std::fflush(stdout);
    if (write_failed) {
        tern_tool::diag("write error on standard output");
        status = 1;
    }
    std::cerr << tern_tool::prefix() << ": " << tern::sensorFormat_name(opt.format) << " records "
              << sensor.decoded() << ", rejected " << sensor.rejected() << ", messages " << messages
              << std::endl;
    return status;
}
