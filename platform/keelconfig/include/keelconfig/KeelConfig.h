// KeelConfig: a flat, ordered list of key/value text pairs kept in a file.
//
// File format (UTF-8 text, one entry per line, "\n" line ends):
//
//   #KeelConfig 1
//   port_3_baud=115200
//   greeting=two\nlines
//
// - The first line marks the format and its version. `write` always puts it there; `read`
//   accepts a file without it, and refuses a marker of another version.
// - A line is the key, "=", the value and a line end. The first unescaped "=" ends the key.
//   Nothing is trimmed: blanks before or after the key or value are part of it.
// - A backslash starts an escape: \\ \n \r \t \= and \xHH (two hexadecimal digits) for any
//   byte. `write` escapes backslashes, control bytes (0x00 to 0x1F and 0x7F), bytes that are
//   not part of a valid UTF-8 sequence, "=" in keys and a "#" that starts a key, so every key
//   and value reads back byte for byte and the file is always valid UTF-8. `read` accepts
//   any other bytes as they are.
// - Lines starting with "#" are comments; empty lines are ignored; a "\r" just before a line
//   end is dropped (files edited with CR LF line ends still read).
// - A key that appears twice: the last value wins, at the position of the first.
// - A file whose last line has no line end is taken as truncated and refused, as is any line
//   without "=" or with a bad escape.
//
// Numbers are written and read in the classic locale whatever the process locale is;
// floating values with the fewest digits that read back to the same value ("nan", "inf",
// "-inf" included); bools as 1 or 0 (read: 1, 0, true, false).
#pragma once

#include <cstddef>
#include <locale>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// One key/value pair.
class ConfigEntry {
public:
    std::string key;
    std::string value;

    ConfigEntry() = default;
    ConfigEntry(std::string k, std::string v) : key(std::move(k)), value(std::move(v)) {}

    bool operator==(const ConfigEntry& o) const { return key == o.key && value == o.value; }
    bool operator!=(const ConfigEntry& o) const { return !(*this == o); }
};

// Text-to-value conversions used by KeelConfig::get. Each returns false and leaves the value
// unchanged when the text does not convert. Numbers are parsed in the classic locale; the
// whole text must be consumed (no blanks, no "+"); unsigned types refuse a minus sign and
// every type refuses a value outside its range.
bool operator>>(const std::string& text, bool& value);
bool operator>>(const std::string& text, int& value);
bool operator>>(const std::string& text, unsigned int& value);
bool operator>>(const std::string& text, long& value);
bool operator>>(const std::string& text, unsigned long& value);
bool operator>>(const std::string& text, long long& value);
bool operator>>(const std::string& text, unsigned long long& value);
bool operator>>(const std::string& text, float& value);
bool operator>>(const std::string& text, double& value);
bool operator>>(const std::string& text, std::string& value);

// An ordered key/value store read from and written to one file (format above). Keys are
// compared as exact byte strings; entries keep their insertion order.
class KeelConfig {
public:
    using entries_t = std::vector<ConfigEntry>;
    using iterator = entries_t::iterator;
    using const_iterator = entries_t::const_iterator;

    // The name and the size hint change no visible behaviour.
    explicit KeelConfig(const std::string& name = std::string(), unsigned int size_hint = 0);

    // Replaces the contents with the pairs stored in `path`; false (contents unchanged)
    // when the file cannot be read or is damaged.
    bool read(const std::string& path);
    // How far a write goes once the file is replaced. durable: the directory is flushed
    // too, so the new file survives a crash as soon as write returns. atomic: that is left
    // to the system, so a crash soon after may bring the old file back, but never a mix of
    // the two; for files that are cheap to lose and written often.
    enum class WriteMode { durable, atomic };

    // Stores every pair, in order, replacing `path` atomically (a temporary file beside it,
    // flushed to the medium, then renamed over it); false on failure, and then the old file
    // is left as it was.
    bool write(const std::string& path, WriteMode mode = WriteMode::durable) const;
    // One line of reason for the last failed read or write.
    const std::string& error() const { return error_; }

    bool find(const std::string& key, iterator& it);
    bool find(const std::string& key, const_iterator& it) const;

    // Converts the value of `key` into `value`; returns whether the key was found. The value
    // is untouched when the key is absent or its text does not convert; loaders judge a record
    // by the presence of its keys.
    template <class T>
    bool get(const std::string& key, T& value) const {
        const_iterator it;
        if (!find(key, it)) return false;
        it->value >> value;
        return true;
    }

    // Formats `value` as a default-formatted stream does (classic locale) and stores it.
    template <class T>
    void set(const std::string& key, const T& value) {
        std::ostringstream os;
        os.imbue(std::locale::classic());
        os << value;
        setBody(key, os);
    }
    // Floating values are written with the fewest digits that read back to the same value.
    void set(const std::string& key, float value);
    void set(const std::string& key, double value);
    void set(const std::string& key, bool value);
    // One-byte integers are stored as numbers, not as characters.
    void set(const std::string& key, unsigned char value);
    void set(const std::string& key, signed char value);

    // Replaces the value of an existing key in place, else appends; true when the key existed.
    bool setBody(const std::string& key, const std::ostringstream& body);
    bool setValue(const std::string& key, const std::string& value);

    const entries_t& entries() const { return entries_; }
    std::size_t size() const { return entries_.size(); }
    void clear() { entries_.clear(); }

private:
    std::string name_;
    entries_t entries_;
    mutable std::string error_;
};
