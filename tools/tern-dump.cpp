// tern-dump: prints the messages of a byte stream of frames.
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
    "usage: tern-dump [--usbd] [--check] [--connect ARG | --listen ARG | FILE]\n"
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

class dumper_t {
public:
    explicit dumper_t(const options_t& opt) : opt_(opt) { out_.imbue(std::locale::classic()); }

    // Takes what `data` holds and prints every complete frame in it; at end of input, bytes
    // that can no longer become a frame are skipped.
    void feed(const unsigned char* data, std::size_t len) {
        buf_.insert(buf_.end(), data, data + len);
        drain(false);
    }
    void finish() { drain(true); }
    // One frame that a connection found.
    void frame(tern::msg_decoder_t& dec) {
        ++frames;
        handle(dec);
    }

    unsigned long long frames = 0, messages = 0, skipped = 0;

private:
    void drain(bool at_end) {
        std::size_t off = 0;
        tern::msg_decoder_t dec;
        while (off < buf_.size()) {
            const auto left =
                static_cast<unsigned>(std::min<std::size_t>(buf_.size() - off, 1u << 30));
            unsigned n = dec.decode_init(buf_.data() + off, left);
            if (n == 0) {
                // A start byte whose frame cannot complete: at the end of input, or when more
                // bytes are buffered than any frame holds, it was garbage after all.
                if (!at_end && left < max_wait) break;
                n = 1;
                while (n < left && buf_[off + n] != tern::STX) ++n;
            }
            if (dec.is_valid()) {
                ++frames;
                handle(dec);
            } else {
                skipped += n;
            }
            off += n;
        }
        buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(off));
    }

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

    // The longest frame the length field can announce.
    static constexpr unsigned max_wait = 0xFFFF + 6;

    options_t opt_;
    std::vector<unsigned char> buf_;
    std::ostringstream out_;
};

// Dumps what the peer of one connection sends, until it hangs up.
int dump_link(const options_t& opt, const tern_tool::transport_opt_t& link_opt) {
    dumper_t dumper(opt);
    tern_tool::link_t link(link_opt);
    // Any frame that fits in a length field, so no stray start byte can stall the stream.
    link.bufsize = 0xFFFF + 6;
    link.on_msg = [&](tern::msg_decoder_t& dec) { dumper.frame(dec); };
    int status = 0;
    link.on_lost = [&](const std::string&) {
        // Bytes still waiting for the rest of a frame are garbage now.
        if (tern::conn_t* c = link.conn()) {
            const tern::buf_t& rest = c->get_rxbuf();
            dumper.feed(rest.data(), rest.len());
            dumper.finish();
        }
        link.quit(0);
    };
    link.on_error = [&](const std::string& why) {
        tern_tool::diag(why);
        status = 1;
        link.quit(1);
    };
    link.run();
    std::cout.flush();
    // The connection skips garbage itself, so there is no count of skipped bytes here.
    std::cerr << tern_tool::prefix() << ": frames " << dumper.frames << ", messages "
              << dumper.messages << std::endl;
    if (!std::cout) {
        tern_tool::diag("write error on standard output");
        return 1;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    tern_tool::set_program(argv[0]);
    options_t opt;
    tern_tool::transport_opt_t link_opt;
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << usage << tern_tool::transport_usage;
            return 0;
        } else if (a == "--usbd") {
            opt.usbd = true;
        } else if (a == "--check") {
            opt.check = true;
        } else if (tern_tool::take_transport_option(argc, argv, i, link_opt, status)) {
            if (status) return status;
        } else if (a.size() > 1 && a[0] == '-') {
            tern_tool::diag("unknown option " + a + " (see --help)");
            return 2;
        } else if (opt.file) {
            tern_tool::diag("more than one input file given (see --help)");
            return 2;
        } else {
            opt.file = argv[i];
        }
    }

    if (link_opt.used) {
        if (opt.file) {
            tern_tool::diag("an input file and a connection cannot both be given (see --help)");
            return 2;
        }
        return dump_link(opt, link_opt);
    }

    FILE* in = stdin;
    if (opt.file && std::strcmp(opt.file, "-") != 0) {
        in = std::fopen(opt.file, "rb");
        if (!in) {
            tern_tool::diag(std::string("cannot open ") + opt.file + ": " + std::strerror(errno));
            return 1;
        }
    }

    dumper_t dumper(opt);
    unsigned char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) dumper.feed(chunk, n);
    const bool read_error = std::ferror(in);
    dumper.finish();
    if (in != stdin) std::fclose(in);

    std::cout.flush();
    std::cerr << tern_tool::prefix() << ": frames " << dumper.frames << ", messages "
              << dumper.messages << ", bytes skipped " << dumper.skipped << std::endl;
    if (read_error) {
        tern_tool::diag(std::string("read error: ") + std::strerror(errno));
        return 1;
    }
    if (!std::cout) {
        tern_tool::diag("write error on standard output");
        return 1;
    }
    return 0;
}
