// tern-sensor: a sensor's byte stream to navigation data frames.
#include "common/frame_input.h"
#include "common/program.h"
#include "common/transport.h"

#include <tern/msg/fb_msgs.h>
#include <tern/sensors/sensorInput.h>
#include <tern/util/time_util.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <list>
#include <string>

namespace {

const char usage[] =
    "Usage: tern-sensor --format em|tss1|ats|fanbeam [OPTION]... [INPUT]\n"
    "Reads a sensor's byte stream from INPUT (or standard input) and writes the navigation\n"
    "data frames its readings become to standard output: roll, pitch, heave (positive down)\n"
    "and heading (em), roll, pitch, heave (positive up) and motion (tss1), target status,\n"
    "offset and depth (ats), range and bearing (fanbeam: target identifier the target\n"
    "number, range as the sensor gives it, bearing in radians; a message without range or\n"
    "bearing makes none). Each is stamped with the data clock when it is decoded (each frame\n"
    "or record a time of its own); acoustic tracking data carries the tracker's own time.\n"
    "A summary line ends standard error.\n"
    "On a connection the sensor's bytes arrive as the text of raw data frames (feedback type\n"
    "38) and other frames are ignored (an empty one carries nothing); it ends when the peer\n"
    "hangs up. With \"pipe\" those frames come on standard input and the data frames go back\n"
    "on standard output.\n"
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

} // namespace

int main(int argc, char** argv) {
    // A reader of standard output that goes away is a write error to report, not a death.
    std::signal(SIGPIPE, SIG_IGN);
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
    // Whether the input was opened at all: without it there is nothing to sum up.
    bool started = false;
    auto feed = [&](const unsigned char* data, std::size_t len) {
        started = true;
        std::list<tern::msg_t*> msgs;
        sensor.feed(data, len, msgs);
        emit(msgs);
    };
    auto finish = [&] {
        std::list<tern::msg_t*> msgs;
        sensor.finish(msgs);
        emit(msgs);
    };

    input.on_bytes = [&](const unsigned char* data, std::size_t len) {
        if (len == 0) {
            started = true;
            finish();
        } else {
            feed(data, len);
        }
    };
    input.on_ready = [&](tern::conn_t&) { started = true; };
    input.on_frame = [&](tern::msg_decoder_t& dec) {
        if (dec.category() != tern::msg_t::category_fb ||
            dec.type() != tern::fb_raw_ascii_t::msg_type ||
            (opt.have_port && dec.port() != opt.port))
            return;
        tern::fb_raw_ascii_t raw(dec);
        if (dec.is_short()) return;
        // An empty frame carries nothing: it neither ends a line nor a binary frame.
        feed(reinterpret_cast<const unsigned char*>(raw.text.data()), raw.text.size());
    };
    int status = input.run();
    if (!started) return status;                  // "cannot open": said, and nothing was read
    if (link_opt.used && !write_failed) finish(); // the peer hung up: a last line without its end
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
