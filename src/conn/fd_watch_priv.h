// Descriptor watch for the receive path of stream connections.
//
// GLib takes a source's descriptors out of the poll set around each dispatch unless the
// source may recurse, and every removal and re-insertion writes the context's wake-up
// descriptor: two extra system calls and a spurious poll wake-up per received batch. This
// watch lets its source recurse and blocks itself only when a handler really runs a nested
// main loop, until that handler returns, so the handler is never re-entered.
#pragma once

#include <glib.h>

namespace tern {

template <class T>
class fd_watch_t {
public:
    fd_watch_t() = default;
    fd_watch_t(const fd_watch_t&) = delete;
    fd_watch_t& operator=(const fd_watch_t&) = delete;
    ~fd_watch_t() {
        if (destroyed_) *destroyed_ = true;
        stop();
    }

    void connect(T* obj, void (T::*method)()) {
        obj_ = obj;
        method_ = method;
    }
    // Replaces any previous watch with one on fd for cond; a negative fd leaves it stopped.
    // Like every unix descriptor source, hang-up and error are reported whatever cond says.
    void start(int fd, GIOCondition cond) {
        stop();
        if (fd < 0) return;
        static GSourceFuncs funcs = {nullptr, nullptr, &fd_watch_t::dispatch,
                                     nullptr, nullptr, nullptr};
        source_ = g_source_new(&funcs, sizeof(source_t));
        reinterpret_cast<source_t*>(source_)->self = this;
        cond_ = cond;
        tag_ = g_source_add_unix_fd(source_, fd, cond);
        g_source_set_can_recurse(source_, TRUE);
        g_source_attach(source_, nullptr);
    }
    void stop() {
        if (!source_) return;
        reinterpret_cast<source_t*>(source_)->self = nullptr;
        g_source_destroy(source_);
        g_source_unref(source_);
        source_ = nullptr;
        tag_ = nullptr;
    }
    bool is_active() const { return source_ != nullptr; }
    // The conditions of the event being handled.
    GIOCondition get_current_cond() const { return current_; }

private:
    struct source_t {
        GSource base;
        fd_watch_t* self;
    };

    static gboolean dispatch(GSource* src, GSourceFunc, gpointer) {
        fd_watch_t* self = reinterpret_cast<source_t*>(src)->self;
        if (!self) return G_SOURCE_REMOVE;
        if (self->in_call_) {
            // A nested main loop inside our handler: keep quiet until the handler returns.
            g_source_modify_unix_fd(src, self->tag_, GIOCondition(0));
            self->blocked_ = true;
            return G_SOURCE_CONTINUE;
        }
        self->current_ = g_source_query_unix_fd(src, self->tag_);
        bool destroyed = false;
        self->destroyed_ = &destroyed;
        self->in_call_ = true;
        if (self->obj_ && self->method_) (self->obj_->*(self->method_))();
        if (destroyed) return G_SOURCE_REMOVE; // the handler deleted the watch's owner
        self->destroyed_ = nullptr;
        self->in_call_ = false;
        if (self->blocked_ && self->source_)
            g_source_modify_unix_fd(self->source_, self->tag_, self->cond_);
        self->blocked_ = false;
        return G_SOURCE_CONTINUE;
    }

    T* obj_ = nullptr;
    void (T::*method_)() = nullptr;
    GSource* source_ = nullptr;
    gpointer tag_ = nullptr;
    GIOCondition cond_ = GIOCondition(0);
    GIOCondition current_ = GIOCondition(0);
    bool in_call_ = false;
    bool blocked_ = false;
    bool* destroyed_ = nullptr;
};

} // namespace tern
