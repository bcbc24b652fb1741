// One-line status and last error text of an object.
#pragma once

#include <memory>
#include <ostream>
#include <sstream>
#include <string>

// Carries the human-readable description of an object's state. A failing operation writes one
// line into clear_desc() (replacing the old text) and returns false; callers read get_desc().
// The stream is made on first use, in the classic locale, so idle objects cost one pointer.
class desc_t {
public:
    desc_t() = default;
    desc_t(const desc_t& other);
    desc_t& operator=(const desc_t& other);
    virtual ~desc_t();

    // The text written so far; empty when nothing was ever written.
    virtual std::string get_desc() const;
    // The stream to append to, created when needed.
    virtual std::ostream& get_desc_stream();
    // Discards the old text and returns a fresh, empty stream.
    virtual std::ostream& clear_desc();

private:
    std::unique_ptr<std::ostringstream> desc_;
};
