#include <tern/thread/glibTimer.h>

namespace tern {

glibTimer_t::~glibTimer_t() {
    stop();
    if (destroyed_) {
        // Destroyed by one of its own handlers: the signal is mid-emission and would leave its
        // slots' bookkeeping behind. Disconnecting them now lets it release everything (the
        // list itself is not changed while it is being emitted).
        *destroyed_ = true;
        for (auto& slot : timeout.slots()) slot.disconnect();
    }
}

void glibTimer_t::start() {
    stop();
    source_ = g_timeout_add(interval_, &glibTimer_t::timerCallback, this);
}

void glibTimer_t::start(unsigned ms) {
    stop();
    interval_ = ms;
    start();
}

void glibTimer_t::stop() {
    if (source_ == 0) return;
    g_source_remove(source_);
    source_ = 0;
}

gboolean glibTimer_t::timerCallback(void* data) {
    auto* self = static_cast<glibTimer_t*>(data);
    // A single-shot timer is marked stopped before its handlers run: a handler that restarts
    // it must keep the new source, and one that destroys it leaves nothing to touch here.
    const bool once = self->singleShot_;
    if (once) self->source_ = 0;
    bool destroyed = false;
    bool* const outer = self->destroyed_; // a handler may run a nested loop that fires us again
    self->destroyed_ = &destroyed;
    self->timeout.emit();
    if (!destroyed)
        self->destroyed_ = outer;
    else if (outer)
        *outer = true;
    return once ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
}

} // namespace tern
