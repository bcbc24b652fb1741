// The connect-attempt clock of the active connectors: the one place that knows the retry
// interval, the attempt budget and when "connection timed out" is said.
#pragma once

#include <tern/conn/conn.h>
#include <tern/thread/glibTimer.h>

namespace tern {

template <class T>
class retry_clock_t {
public:
    static constexpr unsigned int default_interval_ms = 1000;
    static constexpr unsigned int default_retries = 5;

    // What to call on every tick.
    void connect(T* obj, void (T::*tick)()) { timer_.connect(obj, tick); }
    // Starts counting from zero, with a tick every interval().
    void start() {
        attempts_ = 0;
        timer_.start(interval_);
    }
    void stop() { timer_.stop(); }

    // Counts one attempt. Once the budget is spent: stops the clock, writes "connection timed
    // out" into the connector's description and returns true; the caller then reports failure.
    bool spent(connector_t& owner) {
        ++attempts_;
        if (attempts_ < retries_) return false;
        timer_.stop();
        owner.clear_desc() << "connection timed out";
        return true;
    }

    unsigned int retries() const { return retries_; }
    void set_retries(unsigned int n) { retries_ = n; }
    unsigned int interval() const { return interval_; }
    void set_interval(unsigned int ms) { interval_ = ms; }

private:
    gtimer_t<T> timer_;
    unsigned int attempts_ = 0;
    unsigned int retries_ = default_retries;
    unsigned int interval_ = default_interval_ms;
};

} // namespace tern
