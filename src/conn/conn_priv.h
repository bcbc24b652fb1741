// Helpers shared by the transports.
#pragma once

#include <cstdint>

namespace tern {

// Monotonic time, in microseconds, `ms` milliseconds from now.
std::int64_t deadline_after(unsigned int ms);

// Waits until `fd` can take more bytes or the monotonic `deadline` passes. False when the
// deadline passed first (errno ETIMEDOUT); true also when poll itself fails, so that the write
// that follows reports the descriptor's own error.
bool wait_for_room(int fd, std::int64_t deadline);

} // namespace tern
