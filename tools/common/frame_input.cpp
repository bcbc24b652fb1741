#include "common/frame_input.h"

#include "common/program.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <glib.h>
#include <string>
#include <unistd.h>

namespace tern_tool {
namespace {
// The longest frame the length field can announce.
constexpr std::size_t max_frame = 0xFFFF + 6;
} // namespace

void frame_splitter_t::feed(const unsigned char* data, std::size_t len) {
    buf_.insert(buf_.end(), data, data + len);
    drain(false);
}

void frame_splitter_t::finish() {
    drain(true);
    buf_.clear();
}

void frame_splitter_t::drain(bool at_end) {
    std::size_t off = 0;
    tern::msg_decoder_t dec;
    while (off < buf_.size()) {
        const auto left = static_cast<unsigned>(std::min<std::size_t>(buf_.size() - off, 1u << 30));
        unsigned n = dec.decode_init(buf_.data() + off, left);
        if (n == 0) {
            if (!at_end && left < max_frame) break;
            n = 1;
            while (n < left && buf_[off + n] != tern::STX) ++n;
        }
        if (dec.is_valid()) {
            ++frames;
            if (on_frame) on_frame(dec);
        } else {
            skipped += n;
        }
        off += n;
    }
    buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(off));
}

int take_input_argument(int argc, char** argv, int& i, transport_opt_t& link, const char*& file) {
    const std::string a = argv[i];
    int status = 0;
    if (take_transport_option(argc, argv, i, link, status)) return status;
    if (a.size() > 1 && a[0] == '-') {
        diag("unknown option " + a + " (see --help)");
        return 2;
    }
    if (file) {
        diag("more than one input file given (see --help)");
        return 2;
    }
    file = argv[i];
    return 0;
}

int check_input_arguments(const transport_opt_t& link, const char* file) {
    if (!link.used || !file) return 0;
    diag("an input file and a connection cannot both be given (see --help)");
    return 2;
}

frame_input_t::frame_input_t(const char* file, const transport_opt_t& link)
    : file_(file && std::strcmp(file, "-") != 0 ? file : ""), from_link_(link.used) {
    if (from_link_) link_.reset(new link_t(link));
    watch_.connect(this, &frame_input_t::readable);
}

frame_input_t::~frame_input_t() {
    watch_.stop();
    if (fd_ > 0) ::close(fd_);
    if (loop_) g_main_loop_unref(static_cast<GMainLoop*>(loop_));
}

int frame_input_t::run() {
    splitter_.on_frame = [this](tern::msg_decoder_t& dec) {
        if (on_frame) on_frame(dec);
    };
    if (from_link_) {
        link_->bufsize = max_frame; // no stray start byte can stall the stream
        link_->on_ready = [this](tern::conn_t& c) {
            if (on_ready) on_ready(c);
        };
        link_->on_msg = [this](tern::msg_decoder_t& dec) {
            ++splitter_.frames;
            if (on_frame) on_frame(dec);
        };
        link_->on_lost = [this](const std::string&) {
            // Bytes still waiting for the rest of a frame are garbage now.
            if (tern::conn_t* c = link_->conn()) {
                const tern::buf_t& rest = c->get_rxbuf();
                splitter_.feed(rest.data(), rest.len());
                splitter_.finish();
            }
            link_->quit(0);
        };
        link_->on_error = [this](const std::string& why) {
            diag(why);
            link_->quit(1);
        };
        return link_->run();
    }

    if (file_.empty()) {
        fd_ = 0;
    } else {
        fd_ = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            diag("cannot open " + file_ + ": " + std::strerror(errno));
            return 1;
        }
    }
    loop_ = g_main_loop_new(nullptr, FALSE);
    status_ = -1;
    watch_.start(fd_, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
    g_main_loop_run(static_cast<GMainLoop*>(loop_));
    watch_.stop();
    return status_;
}

void frame_input_t::quit(int status) {
    if (link_) {
        link_->quit(status);
        return;
    }
    status_ = status;
    watch_.stop();
    if (loop_) g_main_loop_quit(static_cast<GMainLoop*>(loop_));
}

std::string frame_input_t::summary(unsigned long long messages) const {
    std::string text =
        "frames " + std::to_string(frames()) + ", messages " + std::to_string(messages);
    // A connection skips garbage itself, so there is no count of skipped bytes there.
    if (!from_link_) text += ", bytes skipped " + std::to_string(skipped());
    return text;
}

void frame_input_t::readable() {
    unsigned char chunk[65536];
    const ssize_t n = ::read(fd_, chunk, sizeof chunk);
    if (n > 0) {
        if (on_bytes)
            on_bytes(chunk, static_cast<std::size_t>(n));
        else
            splitter_.feed(chunk, static_cast<std::size_t>(n));
    } else if (n == 0) {
        end_of_input();
        quit(0);
    } else if (errno != EINTR && errno != EAGAIN) {
        diag(std::string("read error: ") + std::strerror(errno));
        end_of_input();
        quit(1);
    }
}

void frame_input_t::end_of_input() {
    if (on_bytes)
        on_bytes(nullptr, 0);
    else
        splitter_.finish();
}

} // namespace tern_tool
