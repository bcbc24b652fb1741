// Runs the GLib default main context from a test, with deadlines instead of sleeps.
#pragma once

#include <functional>

namespace tern_test {

// Runs the default main context until cond() holds or timeout_s seconds pass; returns cond()'s
// last value. cond() is checked before the first iteration, after every dispatch and at least
// every few milliseconds, so it may also watch state changed by other threads.
bool run_until(const std::function<bool()>& cond, double timeout_s = 5.0);

// Dispatches everything that is ready now, without waiting for anything.
void run_pending();

} // namespace tern_test
