// Feeds arbitrary bytes to the acoustic tracking decoder as one message: no read past the
// given length, no message without success, every message about the same beacon.
#include <tern/decode/atsAsciiMsg.h>
#include <tern/msg/data_msgs.h>
#include <tern/sensors/decodeAtsAscii.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <list>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    std::unique_ptr<char[]> exact(new char[size ? size : 1]);
    if (size) std::memcpy(exact.get(), data, size);
    const tern::atsAsciiMsg_t msg(exact.get(), static_cast<unsigned>(size));
    std::list<tern::msg_t*> out;
    const bool ok = tern::decodeAtsAscii(msg, out);
    if (ok != !out.empty() || out.size() > 3) std::abort();
    std::string id;
    for (tern::msg_t* m : out) {
        const auto* t = static_cast<tern::data_pos_target_msg_t*>(m);
        if (id.empty()) id = t->target_id;
        if (t->target_id != id || id.empty()) std::abort();
        delete m;
    }
    return 0;
}
