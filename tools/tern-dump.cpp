// tern-dump: prints the messages of a byte stream of frames.
#include "common/frame_input.h"
#include "common/program.h"
#include "common/transport.h"

#include <tern/msg/catalogue.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <locale>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char usage[] =
    "Usage: tern-dump [OPTION]... [FILE]\n"
    "Reads frames from FILE (or standard input, or a connection), skips garbage and prints\n"
    "each message. On a connection it ends when the peer hangs up.\n"
    "  --usbd               use the USB daemon link's catalogue\n"
    "  --check              re-encode every message and report frames whose bytes differ\n";

struct options_t {
    bool usbd = false;
    bool check = false;
    const char* file = nullptr;
};

std::string hex(const unsigned char* p, unsigned n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(2 * n);
    for (unsigned i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

// Prints each message of a frame and counts them.
class dumper_t {
public:
    explicit dumper_t(const options_t& opt) : opt_(opt) { out_.imbue(std::locale::classic()); }

    void handle(tern::msg_decoder_t& dec) {
        std::unique_ptr<tern::msg_t> msg =
            opt_.usbd ? tern::create_usbd_msg(dec) : tern::create_msg(dec);
        if (!msg) {
            std::cout << (dec.is_short() ? "short message: cat " : "unknown message: cat ")
                      << dec.category() << " type " << dec.type() << " port " << dec.port() << '\n';
            return;
        }
        ++messages;
        out_.str(std::string());
        msg->dump(out_);
        std::cout << out_.str();
        if (!opt_.check) return;
        tern::msg_encoder_t enc;
        enc.encodeMessage(*msg);
        if (enc.size() != dec.frame_size() ||
            std::memcmp(enc.data(), dec.frame(), dec.frame_size()) != 0)
            std::cout << "reencoded frame differs: " << hex(dec.frame(), dec.frame_size()) << ' '
                      << hex(enc.data(), enc.size()) << '\n';
    }

    unsigned long long messages = 0;

private:
    options_t opt_;
    std::ostringstream out_;
};

} // namespace

int main(int argc, char** argv) {
    tern_tool::set_program(argv[0]);
    options_t opt;
    tern_tool::transport_opt_t link_opt;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << usage << tern_tool::transport_usage << tern_tool::standard_usage;
            return 0;
        } else if (a == "--version") {
            return tern_tool::print_version();
        } else if (a == "--usbd") {
            opt.usbd = true;
        } else if (a == "--check") {
            opt.check = true;
        } else if (const int status =
                       tern_tool::take_input_argument(argc, argv, i, link_opt, opt.file)) {
            return status;
        }
    }
    if (const int status = tern_tool::check_input_arguments(link_opt, opt.file)) return status;

    dumper_t dumper(opt);
    tern_tool::frame_input_t input(opt.file, link_opt);
    input.on_frame = [&](tern::msg_decoder_t& dec) { dumper.handle(dec); };
    const int status = input.run();
    std::cout.flush();
    tern_tool::diag(input.summary(dumper.messages));
    if (!std::cout) {
        tern_tool::diag("write error on standard output");
        return 1;
    }
    return status;
}
