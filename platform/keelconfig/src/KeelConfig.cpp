#include <keelconfig/KeelConfig.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <unordered_map>

namespace {

const char FORMAT_MARKER[] = "#KeelConfig ";
const char FORMAT_VERSION[] = "1";

// ---- conversions ----

template <class T>
bool parseInteger(const std::string& text, T& value) {
    if (text.empty()) return false;
    T parsed{};
    const char* end = text.data() + text.size();
    auto res = std::from_chars(text.data(), end, parsed, 10);
    if (res.ec != std::errc() || res.ptr != end) return false;
    value = parsed;
    return true;
}

template <class T>
bool parseFloating(const std::string& text, T& value) {
    if (text.empty()) return false;
    T parsed{};
    const char* end = text.data() + text.size();
    auto res = std::from_chars(text.data(), end, parsed, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != end) return false;
    value = parsed;
    return true;
}

// Shortest text that reads back to the same value; to_chars ignores the locale.
template <class T>
std::string formatFloating(T value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    if (res.ec != std::errc()) return std::string();
    return std::string(buf, res.ptr);
}

// ---- escaping ----

const char HEX_DIGITS[] = "0123456789ABCDEF";

void appendHexEscape(std::string& out, unsigned char c) {
    out += "\\x";
    out += HEX_DIGITS[c >> 4];
    out += HEX_DIGITS[c & 0x0F];
}

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence starting at s[i] (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when there is none.
std::size_t utf8SequenceLength(const std::string& s, std::size_t i) {
    const auto at = [&](std::size_t k) -> unsigned char {
        return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0;
    };
    const unsigned char b = at(0);
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) return isContinuation(at(1)) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        const unsigned char lo = b == 0xE0 ? 0xA0 : 0x80;
        const unsigned char hi = b == 0xED ? 0x9F : 0xBF;
        return at(1) >= lo && at(1) <= hi && isContinuation(at(2)) ? 3 : 0;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        const unsigned char lo = b == 0xF0 ? 0x90 : 0x80;
        const unsigned char hi = b == 0xF4 ? 0x8F : 0xBF;
        return at(1) >= lo && at(1) <= hi && isContinuation(at(2)) && isContinuation(at(3)) ? 4 : 0;
    }
    return 0;
}

void appendEscaped(std::string& out, const std::string& text, bool isKey) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t n = utf8SequenceLength(text, i);
            if (n == 0) {
                appendHexEscape(out, c);
                ++i;
            } else {
                out.append(text, i, n);
                i += n;
            }
            continue;
        }
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '=':
            if (isKey)
                out += "\\=";
            else
                out += '=';
            break;
        case '#':
            // A key starting with "#" would read back as a comment.
            if (isKey && i == 0)
                appendHexEscape(out, c);
            else
                out += '#';
            break;
        default:
            if (c < 0x20 || c == 0x7F)
                appendHexEscape(out, c);
            else
                out += static_cast<char>(c);
        }
        ++i;
    }
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes line[pos, end) into `out`, stopping at an unescaped "=" when `stopAtEquals`.
// Returns the position where it stopped, or std::string::npos with `err` set.
std::size_t unescape(const std::string& line, std::size_t pos, bool stopAtEquals, std::string& out,
                     std::string& err) {
    while (pos < line.size()) {
        const char c = line[pos];
        if (c == '=' && stopAtEquals) return pos;
        if (c != '\\') {
            out += c;
            ++pos;
            continue;
        }
        if (pos + 1 >= line.size()) {
            err = "backslash at the end of the line";
            return std::string::npos;
        }
        const char e = line[pos + 1];
        switch (e) {
        case '\\':
            out += '\\';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '=':
            out += '=';
            break;
        case 'x': {
            const int hi = pos + 2 < line.size() ? hexValue(line[pos + 2]) : -1;
            const int lo = pos + 3 < line.size() ? hexValue(line[pos + 3]) : -1;
            if (hi < 0 || lo < 0) {
                err = "bad \\x escape (two hexadecimal digits expected)";
                return std::string::npos;
            }
            out += static_cast<char>(hi * 16 + lo);
            pos += 4;
            continue;
        }
        default: {
            err = "unknown escape \"\\";
            const auto u = static_cast<unsigned char>(e);
            if (u < 0x20 || u >= 0x7F)
                appendHexEscape(err, u);
            else
                err += e;
            err += '"';
            return std::string::npos;
        }
        }
        pos += 2;
    }
    return pos;
}

// A path as it may appear in a one-line error text.
std::string printable(const std::string& path) {
    std::string out;
    appendEscaped(out, path, false);
    return out;
}

std::string errnoText(int err) {
    return std::strerror(err);
}

bool readWholeFile(const std::string& path, std::string& content, std::string& err) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        err = "cannot open " + printable(path) + ": " + errnoText(errno);
        return false;
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = "cannot read " + printable(path) + ": " + errnoText(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        content.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::atomic<unsigned int> tempCounter{0};

} // namespace

// ---- conversions ----

bool operator>>(const std::string& text, bool& value) {
    if (text == "1" || text == "true") {
        value = true;
        return true;
    }
    if (text == "0" || text == "false") {
        value = false;
        return true;
    }
    return false;
}

bool operator>>(const std::string& text, int& value) {
    return parseInteger(text, value);
}
bool operator>>(const std::string& text, unsigned int& value) {
    return parseInteger(text, value);
}
bool operator>>(const std::string& text, long& value) {
    return parseInteger(text, value);
}
bool operator>>(const std::string& text, unsigned long& value) {
    return parseInteger(text, value);
}
bool operator>>(const std::string& text, long long& value) {
    return parseInteger(text, value);
}
bool operator>>(const std::string& text, unsigned long long& value) {
    return parseInteger(text, value);
}
bool operator>>(const std::string& text, float& value) {
    return parseFloating(text, value);
}
bool operator>>(const std::string& text, double& value) {
    return parseFloating(text, value);
}

bool operator>>(const std::string& text, std::string& value) {
    value = text;
    return true;
}

// ---- KeelConfig ----

KeelConfig::KeelConfig(const std::string& name, unsigned int size_hint) : name_(name) {
    entries_.reserve(size_hint);
}

bool KeelConfig::find(const std::string& key, iterator& it) {
    for (it = entries_.begin(); it != entries_.end(); ++it)
        if (it->key == key) return true;
    return false;
}

bool KeelConfig::find(const std::string& key, const_iterator& it) const {
    for (it = entries_.begin(); it != entries_.end(); ++it)
        if (it->key == key) return true;
    return false;
}

void KeelConfig::set(const std::string& key, float value) {
    setValue(key, formatFloating(value));
}
void KeelConfig::set(const std::string& key, double value) {
    setValue(key, formatFloating(value));
}
void KeelConfig::set(const std::string& key, bool value) {
    setValue(key, value ? "1" : "0");
}
void KeelConfig::set(const std::string& key, unsigned char value) {
    setValue(key, std::to_string(static_cast<unsigned int>(value)));
}
void KeelConfig::set(const std::string& key, signed char value) {
    setValue(key, std::to_string(static_cast<int>(value)));
}

bool KeelConfig::setBody(const std::string& key, const std::ostringstream& body) {
    return setValue(key, body.str());
}

bool KeelConfig::setValue(const std::string& key, const std::string& value) {
    iterator it;
    if (find(key, it)) {
        it->value = value;
        return true;
    }
    entries_.emplace_back(key, value);
    return false;
}

bool KeelConfig::read(const std::string& path) {
    std::string content;
    if (!readWholeFile(path, content, error_)) return false;

    const auto fail = [&](std::size_t lineNo, const std::string& why) {
        error_ = printable(path) + ": line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    if (!content.empty() && content.back() != '\n') {
        error_ = printable(path) + ": the last line has no line end (truncated file?)";
        return false;
    }

    entries_t parsed;
    std::unordered_map<std::string, std::size_t> index;
    std::size_t lineNo = 0;
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t nl = content.find('\n', start);
        std::string line = content.substr(start, nl - start);
        start = nl + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line[0] == '#') {
            const std::size_t markerLen = sizeof FORMAT_MARKER - 1;
            if (lineNo == 1 && line.compare(0, markerLen, FORMAT_MARKER) == 0 &&
                line.compare(markerLen, std::string::npos, FORMAT_VERSION) != 0)
                return fail(lineNo, "unsupported format version \"" +
                                        printable(line.substr(markerLen)) + "\"");
            continue;
        }
        ConfigEntry entry;
        std::string why;
        std::size_t pos = unescape(line, 0, true, entry.key, why);
        if (pos == std::string::npos) return fail(lineNo, why);
        if (pos >= line.size()) return fail(lineNo, "no \"=\" after the key");
        pos = unescape(line, pos + 1, false, entry.value, why);
        if (pos == std::string::npos) return fail(lineNo, why);

        auto found = index.find(entry.key);
        if (found != index.end()) {
            parsed[found->second].value = std::move(entry.value);
        } else {
            index.emplace(entry.key, parsed.size());
            parsed.push_back(std::move(entry));
        }
    }
    entries_ = std::move(parsed);
    error_.clear();
    return true;
}

bool KeelConfig::write(const std::string& path, WriteMode mode) const {
    std::string text = FORMAT_MARKER;
    text += FORMAT_VERSION;
    text += '\n';
    for (const ConfigEntry& e : entries_) {
        appendEscaped(text, e.key, true);
        text += '=';
        appendEscaped(text, e.value, false);
        text += '\n';
    }

    const std::size_t slash = path.rfind('/');
    const std::string dirPrefix =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string dir = dirPrefix.empty() ? std::string(".") : dirPrefix;
    if (base.empty()) {
        error_ = "cannot write " + printable(path) + ": " + errnoText(EISDIR);
        return false;
    }

    // A unique name beside the target, so the rename stays within one file system.
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = dirPrefix + "." + base + ".tmp-" + std::to_string(::getpid()) + "-" +
              std::to_string(tempCounter.fetch_add(1));
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error_ = "cannot create a temporary file for " + printable(path) + ": " + errnoText(errno);
        return false;
    }

    // Keep the permissions of the file being replaced.
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        (void)::fchmod(fd, st.st_mode & 07777);

    const auto fail = [&](const char* what) {
        const int err = errno;
        if (fd >= 0) ::close(fd);
        ::unlink(tmp.c_str());
        error_ = std::string(what) + " " + printable(path) + ": " + errnoText(err);
        return false;
    };
    if (!writeAll(fd, text)) return fail("cannot write");
    if (::fsync(fd) != 0) return fail("cannot flush");
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) return fail("cannot write");
    if (::rename(tmp.c_str(), path.c_str()) != 0) return fail("cannot replace");

    // A durable write makes the rename itself durable by flushing the directory.
    const int dfd =
        mode == WriteMode::durable ? ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (dfd >= 0) {
        const int rc = ::fsync(dfd);
        const int err = errno;
        ::close(dfd);
        if (rc != 0 && err != EINVAL && err != ENOTSUP) {
            error_ = "cannot flush the directory of " + printable(path) + ": " + errnoText(err);
            return false;
        }
    }
    error_.clear();
    return true;
}
