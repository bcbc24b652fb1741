// Intrusive, atomic reference count.
#pragma once

#include <atomic>

// Starts at 1. The caller that sees unref() return true deletes the object.
class refd_t {
public:
    refd_t() = default;
    refd_t(const refd_t&) = delete;
    refd_t& operator=(const refd_t&) = delete;
    virtual ~refd_t() = default;

    void ref() { count_.fetch_add(1, std::memory_order_relaxed); }
    // True when the count reached zero.
    bool unref() { return count_.fetch_sub(1, std::memory_order_acq_rel) == 1; }
    int ref_cnt() const { return count_.load(std::memory_order_acquire); }

private:
    std::atomic<int> count_{1};
};
