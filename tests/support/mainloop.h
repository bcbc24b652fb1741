// Runs the GLib default main context from a test, with deadlines instead of sleeps.
#pragma once

#include <glib.h>

#include <functional>

namespace tern_test {

// Runs the default main context until cond() holds or timeout_s seconds pass; returns cond()'s
// last value. cond() is checked before the first iteration, after every dispatch and at least
// every few milliseconds, so it may also watch state changed by other threads.
inline bool run_until(const std::function<bool()>& cond, double timeout_s = 5.0) {
    if (cond()) return true;
    bool expired = false;
    const auto ms = static_cast<guint>(timeout_s > 0 ? timeout_s * 1000.0 : 0.0);
    const auto set_flag = [](gpointer p) {
        *static_cast<bool*>(p) = true;
        return gboolean(G_SOURCE_REMOVE);
    };
    // The ticker only ends the current iteration so that the condition is rechecked.
    const auto wake = [](gpointer) { return gboolean(G_SOURCE_CONTINUE); };
    const guint deadline = g_timeout_add(ms, set_flag, &expired);
    const guint ticker = g_timeout_add(5, wake, nullptr);
    bool ok = false;
    while (!(ok = cond()) && !expired) g_main_context_iteration(nullptr, TRUE);
    g_source_remove(ticker);
    if (!expired) g_source_remove(deadline);
    return ok;
}

// Dispatches everything that is ready now, without waiting for anything.
inline void run_pending() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

} // namespace tern_test
