#include <tern/thread/thread.h>

#include <atomic>

#include <glib.h>

namespace tern {

namespace {

// Set by thread_init(); until then mutex_t does nothing, as its interface promises.
gint threads_ready = 0;

struct nojoin_call_t {
    void (*func)(void*);
    void* data;
};

gpointer nojoin_trampoline(gpointer p) {
    const nojoin_call_t call = *static_cast<nojoin_call_t*>(p);
    delete static_cast<nojoin_call_t*>(p);
    call.func(call.data);
    return nullptr;
}

} // namespace

void thread_init() {
    // GLib's thread support needs no set-up any more; this only records the promise.
    g_atomic_int_set(&threads_ready, 1);
}

bool thread_nojoin(void (*func)(void*), void* data) {
    if (!func) return false;
    auto* call = new nojoin_call_t{func, data};
    GError* err = nullptr;
    GThread* t = g_thread_try_new("tern-nojoin", nojoin_trampoline, call, &err);
    if (!t) {
        if (err) g_error_free(err);
        delete call;
        return false;
    }
    g_thread_unref(t); // detached: the thread frees itself when the body returns
    return true;
}

// ---- thread_t ----

class thread_priv_t {
public:
    explicit thread_priv_t(thread_t* o) : owner(o) { g_mutex_init(&gate); }
    ~thread_priv_t() { g_mutex_clear(&gate); }

    GThread* handle() const { return handle_.load(); }
    void set_handle(GThread* t) { handle_.store(t); }

    static gpointer body(gpointer p) {
        auto* self = static_cast<thread_priv_t*>(p);
        // Wait until start() has stored the handle, so the body sees itself as running.
        g_mutex_lock(&self->gate);
        g_mutex_unlock(&self->gate);
        self->owner->run();
        g_atomic_int_set(&self->finished, 1);
        return nullptr;
    }

    thread_t* owner = nullptr;
    gint run_flag = 0; // set while the body is wanted
    gint finished = 1; // set while no body runs
    GMutex gate;       // held by start() until the handle is stored

private:
    std::atomic<GThread*> handle_{nullptr}; // null while no thread exists
};

thread_t::thread_t() : priv_(std::make_unique<thread_priv_t>(this)) {
    clear_desc() << "not started";
}

thread_t::~thread_t() {
    stop();
}

bool thread_t::start() {
    if (priv_->handle() && priv_->handle() == g_thread_self()) {
        clear_desc() << "cannot restart a thread from its own body";
        return false;
    }
    stop();
    g_atomic_int_set(&priv_->run_flag, 1);
    g_atomic_int_set(&priv_->finished, 0);
    GError* err = nullptr;
    g_mutex_lock(&priv_->gate);
    GThread* t = g_thread_try_new("tern-thread", &thread_priv_t::body, priv_.get(), &err);
    if (t) priv_->set_handle(t);
    g_mutex_unlock(&priv_->gate);
    if (!t) {
        if (err) g_error_free(err);
        g_atomic_int_set(&priv_->run_flag, 0);
        g_atomic_int_set(&priv_->finished, 1);
        clear_desc() << "failed to create thread";
        return false;
    }
    return true;
}

void thread_t::signal() {
    if (priv_->handle()) g_atomic_int_set(&priv_->run_flag, 0);
}

void thread_t::stop() {
    GThread* t = priv_->handle();
    if (!t) return;
    g_atomic_int_set(&priv_->run_flag, 0);
    if (t == g_thread_self()) return; // joining itself would never return
    g_thread_join(t);
    priv_->set_handle(nullptr);
}

bool thread_t::is_running() const {
    return priv_->handle() != nullptr && g_atomic_int_get(&priv_->finished) == 0;
}

bool thread_t::signalled() const {
    return g_atomic_int_get(&priv_->run_flag) == 0;
}

// ---- thread_nojoin_t ----

bool thread_nojoin_t::start() {
    ref();
    if (thread_nojoin(&thread_nojoin_t::body, this)) return true;
    unref(); // the creator still holds its own reference, so this never reaches zero
    return false;
}

void thread_nojoin_t::body(void* p) {
    auto* self = static_cast<thread_nojoin_t*>(p);
    self->run();
    if (self->unref()) delete self;
}

// ---- mutex_t ----

class mutex_priv_t {
public:
    mutex_priv_t() {
        g_mutex_init(&m);
        g_mutex_init(&book);
    }
    ~mutex_priv_t() {
        g_mutex_clear(&book);
        g_mutex_clear(&m);
    }

    // Records a lock taken as a no-op before thread_init(). Its unlock must stay a no-op too,
    // or the real mutex would be unlocked while not held (GLib aborts on that). Only one
    // thread may run before thread_init(), so the count belongs to that thread.
    void skip() {
        g_mutex_lock(&book);
        skip_owner = g_thread_self();
        g_atomic_int_inc(&skipped);
        g_mutex_unlock(&book);
    }
    // True when the caller's unlock paid back one of its own skipped locks.
    bool pay_back() {
        if (g_atomic_int_get(&skipped) == 0) return false; // the usual case: no bookkeeping
        g_mutex_lock(&book);
        const bool mine = g_atomic_int_get(&skipped) > 0 && skip_owner == g_thread_self();
        if (mine) g_atomic_int_add(&skipped, -1);
        g_mutex_unlock(&book);
        return mine;
    }

    GMutex m;
    GMutex book; // guards skip_owner and changes of skipped
    GThread* skip_owner = nullptr;
    gint skipped = 0;
};

mutex_t::mutex_t() : priv_(std::make_unique<mutex_priv_t>()) {}

mutex_t::~mutex_t() = default;

void mutex_t::lock() {
    if (!g_atomic_int_get(&threads_ready))
        priv_->skip();
    else
        g_mutex_lock(&priv_->m);
}

void mutex_t::unlock() {
    if (priv_->pay_back()) return;
    if (g_atomic_int_get(&threads_ready)) g_mutex_unlock(&priv_->m);
}

bool mutex_t::trylock() {
    if (!g_atomic_int_get(&threads_ready)) {
        priv_->skip();
        return true;
    }
    return g_mutex_trylock(&priv_->m) != FALSE;
}

// ---- rwlock_t ----

class rwlock_priv_t {
public:
    rwlock_priv_t() { g_rw_lock_init(&l); }
    ~rwlock_priv_t() { g_rw_lock_clear(&l); }
    GRWLock l;
};

rwlock_t::rwlock_t() : priv_(std::make_unique<rwlock_priv_t>()) {}

rwlock_t::~rwlock_t() = default;

void rwlock_t::lock(bool write) {
    if (write)
        g_rw_lock_writer_lock(&priv_->l);
    else
        g_rw_lock_reader_lock(&priv_->l);
}

void rwlock_t::unlock(bool write) {
    if (write)
        g_rw_lock_writer_unlock(&priv_->l);
    else
        g_rw_lock_reader_unlock(&priv_->l);
}

bool rwlock_t::trylock(bool write) {
    const gboolean ok =
        write ? g_rw_lock_writer_trylock(&priv_->l) : g_rw_lock_reader_trylock(&priv_->l);
    return ok != FALSE;
}

} // namespace tern
