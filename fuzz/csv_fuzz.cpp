// Feeds arbitrary frames to the CSV builder as tern-log does (any value a receiver may send,
// NaN and huge ones included), renders a line after each, and reads the bytes as a log file
// name. A line always has one column per selected field plus the three fixed ones.
#include <tern/log/csv_builder.h>
#include <tern/log/log_channel.h>
#include <tern/msg/catalogue.h>
#include <tern/msg/data_msgs.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tern::csv_builder_t b;
    tern::csv_output_cfg_t sel;
    if (size >= 4) sel.mask = data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t(data[3]) << 24;
    b.set_output_cfg(sel);
    const std::string header = b.file_header();
    const auto selected = static_cast<std::size_t>(std::count(header.begin(), header.end(), ','));
    tern::msg_decoder_t dec;
    std::string line;
    std::size_t off = 0;
    while (off < size) {
        const unsigned n = dec.decode_init(data + off, static_cast<unsigned>(size - off));
        if (n == 0) {
            ++off;
            continue;
        }
        off += n;
        if (!dec.is_valid()) continue;
        std::unique_ptr<tern::msg_t> msg = tern::create_msg(dec);
        if (!msg) continue;
        tern::update_csv_fields(b, *msg);
        b.age_fields();
        line.clear();
        b.append_line(line);
        if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) std::abort();
        if (static_cast<std::size_t>(std::count(line.begin(), line.end(), ',')) != selected + 1)
            std::abort();
    }
    const std::string name(reinterpret_cast<const char*>(data), size);
    double t = 0;
    tern::time_from_filename(name, size % 8, t);
    return 0;
}
