// Timers and descriptor watches on the GLib default main context.
//
// All calls and all callbacks happen on the thread that runs the default main context. Each
// wrapper owns at most one source; starting a running wrapper replaces its source, and
// destroying it removes the source, so an owner may delete itself from inside its callback.
#pragma once

#include <glib.h>
#include <sigc++/signal.h>

// Periodic timer calling a member function of its owner every interval until stopped.
template <class T>
class gtimer_t {
public:
    gtimer_t() = default;
    gtimer_t(const gtimer_t&) = delete;
    gtimer_t& operator=(const gtimer_t&) = delete;
    ~gtimer_t() { stop(); }

    // Sets what to call; does not start.
    void connect(T* obj, void (T::*method)()) {
        obj_ = obj;
        method_ = method;
    }
    // (Re)starts with a period of ms milliseconds.
    void start(unsigned ms) {
        stop();
        source_ = g_timeout_add(ms, &gtimer_t::timerCB, this);
    }
    void stop() {
        if (source_ == 0) return;
        g_source_remove(source_);
        source_ = 0;
    }
    bool is_active() const { return source_ != 0; }

    // The callee may stop, restart or destroy the timer; the source is left to GLib either way.
    static gboolean timerCB(void* data) {
        auto* self = static_cast<gtimer_t*>(data);
        if (self->obj_ && self->method_) (self->obj_->*(self->method_))();
        return G_SOURCE_CONTINUE;
    }

private:
    T* obj_ = nullptr;
    void (T::*method_)() = nullptr;
    unsigned source_ = 0;
};

// Watch on a file descriptor calling a member function of its owner when one of the watched
// conditions is reported; the handler reads get_current_cond() to see which. The descriptor
// stays the owner's: stopping never closes it. To change the conditions, start again.
//
// The handler is never re-entered. GLib would guarantee that by taking the descriptor out of
// the poll set around every dispatch, which writes the context's wake-up descriptor twice and
// costs a spurious wake-up per event; instead the source may recurse and blocks itself only
// when a handler really runs a nested main loop, until that handler returns.
template <class T>
class gio_t {
public:
    gio_t() = default;
    gio_t(const gio_t&) = delete;
    gio_t& operator=(const gio_t&) = delete;
    ~gio_t() {
        if (destroyed_) *destroyed_ = true;
        stop();
    }

    void connect(T* obj, void (T::*method)()) {
        obj_ = obj;
        method_ = method;
    }
    // Replaces any previous watch with one on fd for cond. A negative fd leaves it stopped.
    void start(int fd, GIOCondition cond) {
        stop();
        if (fd < 0) return;
        static GSourceFuncs funcs = {nullptr, nullptr, &gio_t::dispatch, nullptr, nullptr, nullptr};
        source_ = g_source_new(&funcs, sizeof(source_t));
        reinterpret_cast<source_t*>(source_)->self = this;
        fd_ = fd;
        watch_cond_ = cond;
        tag_ = g_source_add_unix_fd(source_, fd, cond);
        g_source_set_can_recurse(source_, TRUE);
        g_source_attach(source_, nullptr);
    }
    void stop() {
        if (source_) {
            reinterpret_cast<source_t*>(source_)->self = nullptr;
            g_source_destroy(source_);
            g_source_unref(source_);
        }
        source_ = nullptr;
        tag_ = nullptr;
        fd_ = -1;
        watch_cond_ = GIOCondition(0);
        current_cond_ = GIOCondition(0);
        blocked_ = false;
    }
    bool is_active() const { return source_ != nullptr; }
    int get_fd() const { return fd_; }
    GIOCondition get_watch_cond() const { return watch_cond_; }
    GIOCondition get_current_cond() const { return current_cond_; }

private:
    struct source_t {
        GSource base;
        gio_t* self;
    };

    static gboolean dispatch(GSource* src, GSourceFunc, gpointer) {
        gio_t* self = reinterpret_cast<source_t*>(src)->self;
        if (!self) return G_SOURCE_REMOVE;
        if (self->in_call_) {
            // A nested main loop inside our handler: keep quiet until the handler returns.
            g_source_modify_unix_fd(src, self->tag_, GIOCondition(0));
            self->blocked_ = true;
            return G_SOURCE_CONTINUE;
        }
        // Only the conditions asked for are handed on (poll reports a hang-up to everyone).
        const unsigned cond = g_source_query_unix_fd(src, self->tag_) & self->watch_cond_;
        if (cond == 0) return G_SOURCE_CONTINUE;
        self->current_cond_ = static_cast<GIOCondition>(cond);
        bool destroyed = false;
        bool* const outer = self->destroyed_;
        self->destroyed_ = &destroyed;
        self->in_call_ = true;
        if (self->obj_ && self->method_) (self->obj_->*(self->method_))();
        if (destroyed) {
            if (outer) *outer = true;
            return G_SOURCE_REMOVE; // the handler deleted the watch with its owner
        }
        self->destroyed_ = outer;
        self->in_call_ = false;
        // A stopped watch forgot its block; a restarted one is the only source left to dispatch.
        if (self->blocked_ && self->source_)
            g_source_modify_unix_fd(self->source_, self->tag_, self->watch_cond_);
        self->blocked_ = false;
        return self->source_ == src ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
    }

    T* obj_ = nullptr;
    void (T::*method_)() = nullptr;
    GSource* source_ = nullptr;
    gpointer tag_ = nullptr;
    int fd_ = -1;
    GIOCondition watch_cond_ = GIOCondition(0);
    GIOCondition current_cond_ = GIOCondition(0);
    bool in_call_ = false;
    bool blocked_ = false;
    bool* destroyed_ = nullptr;
};

// Starts io with a condition set computed as an integer (GLib bits: readable 1, writable 4,
// error 8, hang-up 16).
template <class T>
void start_io(gio_t<T>& io, int fd, unsigned cond) {
    io.start(fd, static_cast<GIOCondition>(cond));
}

namespace tern {

using ::gio_t;
using ::gtimer_t;
using ::start_io;

// Stand-alone timer emitting `timeout` on every expiry; repeating unless set single-shot.
class glibTimer_t {
public:
    glibTimer_t() = default;
    glibTimer_t(const glibTimer_t&) = delete;
    glibTimer_t& operator=(const glibTimer_t&) = delete;
    ~glibTimer_t();

    // Takes effect at the next start(); a running timer keeps its period.
    void setInterval(unsigned ms) { interval_ = ms; }
    void setSingleShot(bool single) { singleShot_ = single; }
    unsigned interval() const { return interval_; }
    bool isSingleShot() const { return singleShot_; }
    // True while a source is registered; a single-shot timer is stopped once it has fired.
    bool isActive() const { return source_ != 0; }

    // (Re)starts with the stored interval.
    void start();
    // Stores the interval, then (re)starts.
    void start(unsigned ms);
    void stop();

    // Handlers may stop, restart or destroy the timer.
    static gboolean timerCallback(void* data);

private:
    unsigned source_ = 0;
    unsigned interval_ = 0;
    bool singleShot_ = false;
    bool* destroyed_ = nullptr; // set during an expiry: told when a handler destroys the timer

public:
    sigc::signal<void> timeout;
};

} // namespace tern
