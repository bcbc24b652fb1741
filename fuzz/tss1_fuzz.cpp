// Feeds arbitrary bytes to decodeTss as one record from an exact-size buffer: no read past
// the given length, at most four messages, each stamped with the given time.
#include <tern/msg/data_msgs.h>
#include <tern/sensors/tss1Msg.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <list>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    std::unique_ptr<char[]> exact(new char[size ? size : 1]);
    if (size) std::memcpy(exact.get(), data, size);
    std::list<tern::msg_t*> out;
    const bool any = tern::decodeTss(exact.get(), static_cast<unsigned>(size), 42.0, out);
    if (any != !out.empty() || out.size() > 4) std::abort();
    for (tern::msg_t* m : out) {
        if (static_cast<tern::data_msg_t*>(m)->utc_tstamp != 42.0) std::abort();
        delete m;
    }
    return 0;
}
