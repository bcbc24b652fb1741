// Worker threads, locks and thread messages delivered on the main loop.
#pragma once

#include <tern/thread/desc.h>
#include <tern/thread/refd.h>

#include <memory>

namespace tern {

// Prepares the process for threads; call once before starting threads or taking locks.
// Until it has run, mutex_t does nothing and its trylock() reports success.
void thread_init();

// Starts a detached thread running func(data); true when the thread was created.
bool thread_nojoin(void (*func)(void*), void* data);

class thread_priv_t;

// A joinable worker thread. Subclasses provide run(), which polls signalled() and returns soon
// after it turns true. A subclass must call stop() in its own destructor: by the time the base
// destructor runs, the subclass part that run() uses is already gone.
// The description holds "not started" until the first start, and "failed to create thread"
// after a start that could not create the thread.
class thread_t : public desc_t {
public:
    thread_t();
    thread_t(const thread_t&) = delete;
    thread_t& operator=(const thread_t&) = delete;
    ~thread_t() override;

    // Stops any previous thread, then starts a new one running run().
    bool start();
    // Asks the body to finish and returns at once.
    void signal();
    // Asks the body to finish and waits for it. Called from the body itself it only asks,
    // since a thread cannot wait for its own end.
    void stop();
    // True while a started body has not yet returned.
    bool is_running() const;
    // True when the body should finish (also before the first start).
    bool signalled() const;

protected:
    virtual void run() = 0;

private:
    friend class thread_priv_t;
    std::unique_ptr<thread_priv_t> priv_;
};

// A detached worker thread that owns a reference to itself while it runs. The creator holds
// the first reference; whoever drops the last one (creator or thread) deletes the object.
class thread_nojoin_t : public refd_t {
public:
    thread_nojoin_t() = default;
    ~thread_nojoin_t() override = default;

    // Takes the thread's reference and starts run() on a detached thread; false (reference
    // given back) when the thread could not be created.
    bool start();

protected:
    virtual void run() = 0;

private:
    static void body(void* self);
};

class mutex_priv_t;

// A plain (non-recursive) mutex.
class mutex_t {
public:
    mutex_t();
    mutex_t(const mutex_t&) = delete;
    mutex_t& operator=(const mutex_t&) = delete;
    virtual ~mutex_t();

    void lock();
    void unlock();
    // True when the lock was taken.
    bool trylock();

private:
    std::unique_ptr<mutex_priv_t> priv_;
};

class rwlock_priv_t;

// A reader/writer lock: write true takes the writer side, false the reader side.
class rwlock_t {
public:
    rwlock_t();
    rwlock_t(const rwlock_t&) = delete;
    rwlock_t& operator=(const rwlock_t&) = delete;
    virtual ~rwlock_t();

    void lock(bool write);
    void unlock(bool write);
    // True when the lock was taken.
    bool trylock(bool write);

private:
    std::unique_ptr<rwlock_priv_t> priv_;
};

// Base of every thread message; each use adds its own request and result fields.
class tmsg_t {
public:
    virtual ~tmsg_t() = default;
};

// Receiver of thread messages. Destroying a listener unregisters all of its ids, so a
// destroyed listener is never called; messages still in flight for it are deleted on arrival.
class tmsg_listener_t {
public:
    virtual ~tmsg_listener_t();
    // Called on the main-loop thread. Return true to take the message (and delete it later);
    // false leaves it to the dispatcher, which deletes it.
    virtual bool tmsg_receive(unsigned int id, tmsg_t* msg) = 0;
};

// Registers the listener under a new id and returns it; 0 when the dispatcher could not be set
// up. Ids count up from 1 and are never handed out while still registered. Main-loop thread.
unsigned int tmsg_listen(tmsg_listener_t* listener);
// Forgets the id; false when it was not registered. Main-loop thread.
bool tmsg_cancel(unsigned int id);
// Forgets every id of the listener; true when there was at least one. Main-loop thread.
bool tmsg_remove_listener(tmsg_listener_t* listener);
// Queues msg for the listener of id; safe from any thread. Returns the size of a pointer when
// queued; negative when not, and the message then stays the caller's. Fails before the first
// tmsg_listen. On the main-loop thread it never blocks: a full queue is a failure there.
int tmsg_send(unsigned int id, tmsg_t* msg);

} // namespace tern
