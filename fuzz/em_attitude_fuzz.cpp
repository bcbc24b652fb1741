// Feeds arbitrary bytes to the EM attitude decoder as a stream, whole and cut into two reads
// (the first input byte chooses where): the decoder must never read past what it is given,
// must always make progress or wait, and must find the same frames however the stream is cut.
#include <tern/sensors/emAttitudeInputMsg.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The frames found in the stream, each as its 10 bytes.
std::string frames(const std::uint8_t* data, std::size_t size, std::size_t cut) {
    emAttitudeInputMsg_t m;
    std::vector<std::uint8_t> pending;
    std::string found;
    for (int part = 0; part < 2; ++part) {
        const std::size_t from = part == 0 ? 0 : cut;
        const std::size_t to = part == 0 ? cut : size;
        pending.insert(pending.end(), data + from, data + to);
        for (;;) {
            // An exact-size copy, so that any read past the end is caught.
            std::unique_ptr<std::uint8_t[]> exact(
                new std::uint8_t[pending.empty() ? 1 : pending.size()]);
            if (!pending.empty()) std::memcpy(exact.get(), pending.data(), pending.size());
            const auto len = static_cast<unsigned>(pending.size());
            const unsigned n = m.decode(pending.empty() ? nullptr : exact.get(), len);
            if (n > len) std::abort();
            // Waiting with a whole frame's worth of bytes would stall the stream.
            if (n == 0 && len >= 10) std::abort();
            if (n == 0) break;
            if (m.status() != 0) {
                if (n != 10 || std::memcmp(m.raw(), pending.data(), 10) != 0) std::abort();
                found.append(reinterpret_cast<const char*>(m.raw()), 10);
            }
            pending.erase(pending.begin(), pending.begin() + n);
        }
    }
    return found;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t cut = data[0] % size;
    if (frames(data, size, 0) != frames(data, size, cut)) std::abort();
    return 0;
}
