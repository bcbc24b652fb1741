#include "support/mainloop.h"

#include <glib.h>

namespace tern_test {

namespace {

gboolean set_flag(gpointer p) {
    *static_cast<bool*>(p) = true;
    return G_SOURCE_REMOVE;
}

gboolean wake(gpointer) {
    return G_SOURCE_CONTINUE; // only ends the current iteration so the condition is rechecked
}

} // namespace

bool run_until(const std::function<bool()>& cond, double timeout_s) {
    if (cond()) return true;
    bool expired = false;
    const auto ms = static_cast<guint>(timeout_s > 0 ? timeout_s * 1000.0 : 0.0);
    const guint deadline = g_timeout_add(ms, set_flag, &expired);
    const guint ticker = g_timeout_add(5, wake, nullptr);
    bool ok = false;
    while (!(ok = cond()) && !expired) g_main_context_iteration(nullptr, TRUE);
    g_source_remove(ticker);
    if (!expired) g_source_remove(deadline);
    return ok;
}

void run_pending() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

} // namespace tern_test
