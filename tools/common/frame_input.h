// Where a program's frames come from: a file, standard input or a connection, read on the
// GLib main loop so that the program's own timers and watches keep running meanwhile.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <tern/msg/msg.h>
#include <tern/thread/glibTimer.h>

#include "common/transport.h"

namespace tern_tool {

// Cuts a byte stream into frames and skips garbage. Bytes are fed as they come; a start byte
// whose frame cannot complete is garbage once more bytes are buffered than any frame holds,
// or at the end of the input.
class frame_splitter_t {
public:
    std::function<void(tern::msg_decoder_t&)> on_frame; // one valid frame, in stream order

    void feed(const unsigned char* data, std::size_t len);
    void finish(); // end of input: what is left can no longer become a frame

    unsigned long long frames = 0;  // valid frames handed on
    unsigned long long skipped = 0; // garbage bytes

private:
    void drain(bool at_end);
    std::vector<unsigned char> buf_;
};

// The arguments of a program that reads one input: --connect/--listen ARG, an unknown option
// (refused) or the input file (at most one). Call it for each argument the program does not
// know itself; it takes argv[i] (moving i past a value) and returns 0, or 2 after a
// diagnostic.
int take_input_argument(int argc, char** argv, int& i, transport_opt_t& link, const char*& file);
// After the last argument: 0, or 2 after a diagnostic when a file and a connection were both
// given.
int check_input_arguments(const transport_opt_t& link, const char* file);

// Reads the frames of one input: `file` (null or "-" for standard input) or, when `link.used`,
// the peer of a connection, until that input ends.
class frame_input_t {
public:
    frame_input_t(const char* file, const transport_opt_t& link);
    ~frame_input_t();

    std::function<void(tern::msg_decoder_t&)> on_frame; // one valid frame, in stream order
    std::function<void(tern::conn_t&)> on_ready;        // a connection is established
    // Raw mode for a file or standard input: when set, the bytes come here as they are read
    // instead of being cut into frames, and the end of the input is a call with len 0.
    std::function<void(const unsigned char* data, std::size_t len)> on_bytes;

    // Runs the default main loop until the input ends or quit(); returns 0 at its end, or 1
    // after a diagnostic (unreadable file, read error, failed connection).
    int run();
    // Ends run() with `status` (from a callback, a timer or a signal handler on the loop).
    void quit(int status);

    unsigned long long frames() const { return splitter_.frames; }
    // Garbage bytes skipped in a file or standard input (a connection skips its own).
    unsigned long long skipped() const { return splitter_.skipped; }
    // "frames N, messages M" and, for a file or standard input, ", bytes skipped N": the
    // summary of a run that made M messages of its frames.
    std::string summary(unsigned long long messages) const;
    // The connection once established (null otherwise).
    tern::conn_t* conn() { return link_ ? link_->conn() : nullptr; }

private:
    void readable();
    void end_of_input();

    std::string file_;
    bool from_link_;
    std::unique_ptr<link_t> link_;
    frame_splitter_t splitter_;
    gio_t<frame_input_t> watch_;
    int fd_ = -1;
    void* loop_ = nullptr; // GMainLoop for file input
    int status_ = 0;
};

} // namespace tern_tool
