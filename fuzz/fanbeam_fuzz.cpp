// Feeds arbitrary bytes to the Fanbeam range/bearing parser from an exact-size buffer (no
// terminating zero to lean on): any read past the given length is caught, and whatever it
// accepts must be a finite reading.
#include <tern/sensors/mdlRangeBearingMsg.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    std::unique_ptr<char[]> exact(new char[size ? size : 1]);
    if (size) std::memcpy(exact.get(), data, size);
    const tern::mdlRangeBearingMsg_t m(exact.get(), static_cast<unsigned>(size));
    double v = 0.0;
    unsigned t = 0;
    if (!m.isFormatValid() && (m.range(v) || m.bearing(v) || m.targetNumber(t))) std::abort();
    if (m.range(v) && !std::isfinite(v)) std::abort();
    if (m.bearing(v) && !std::isfinite(v)) std::abort();
    if (m.targetNumber(t) && t > 99) std::abort();
    return 0;
}
