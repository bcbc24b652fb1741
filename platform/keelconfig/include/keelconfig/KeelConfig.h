// KeelConfig: a flat, ordered list of key/value text pairs kept in a file.
//
// (File format: documented by the implementation below.)
#pragma once

#include <sstream>
#include <string>
#include <vector>

// One key/value pair.
class ConfigEntry {
public:
    std::string key;
    std::string value;

    ConfigEntry() = default;
    ConfigEntry(std::string k, std::string v) : key(std::move(k)), value(std::move(v)) {}
};

// Text-to-value conversions used by KeelConfig::get. Each returns false and leaves the value
// unchanged when the text does not convert. Numbers are parsed in the classic locale; the
// whole text must be consumed.
bool operator>>(const std::string& text, bool& value);
bool operator>>(const std::string& text, int& value);
bool operator>>(const std::string& text, unsigned int& value);
bool operator>>(const std::string& text, float& value);
bool operator>>(const std::string& text, double& value);
bool operator>>(const std::string& text, std::string& value);

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
    // Stores every pair, in order, replacing `path` atomically; false on failure.
    bool write(const std::string& path) const;
    // One line of reason for the last failed read or write.
    const std::string& error() const { return error_; }

    bool find(const std::string& key, iterator& it);
    bool find(const std::string& key, const_iterator& it) const;

    // Converts the value of `key` into `value`; returns whether the key was found. The value is
    // untouched when the key is absent or its text does not convert.
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
