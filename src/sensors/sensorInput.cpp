#include <tern/sensors/sensorInput.h>

#include <tern/decode/atsAsciiMsg.h>
#include <tern/msg/msg.h>
#include <tern/sensors/decodeAtsAscii.h>
#include <tern/sensors/emAttitudeInputMsg.h>
#include <tern/sensors/tss1Msg.h>
#include <tern/util/time_util.h>

#include "sensors/tss1Msg_priv.h"

#include <cstring>
#include <vector>

namespace tern {

namespace {

const char* const format_names[] = {"em", "tss1", "ats", "fanbeam"};

} // namespace

const char* sensorFormat_name(sensorFormat_t format) {
    return format <= sensorFormat_fanbeam ? format_names[format] : "unknown";
}

bool sensorFormat_from_name(const std::string& name, sensorFormat_t& format) {
    for (unsigned i = 0; i <= sensorFormat_fanbeam; ++i) {
        if (name == format_names[i]) {
            format = static_cast<sensorFormat_t>(i);
            return true;
        }
    }
    return false;
}

struct sensorInput_t::priv_t {
    priv_t(sensorFormat_t f, std::function<double()> c, sensorInput_t* o)
        : format(f), clock(std::move(c)), owner(o) {}

    sensorFormat_t format;
    std::function<double()> clock;
    sensorInput_t* owner;

    // Binary frames: bytes not yet consumed.
    std::vector<unsigned char> pending;
    emAttitudeInputMsg_t em;
    // Text lines: the line so far, and whether it grew too long to keep.
    std::string line;
    bool overlong = false;

    unsigned long long decoded = 0;
    unsigned long long rejected = 0;

    void feed_binary(const unsigned char* p, std::size_t len, std::list<msg_t*>& out) {
        pending.insert(pending.end(), p, p + len);
        std::size_t off = 0;
        while (off < pending.size()) {
            const std::size_t left = pending.size() - off;
            const unsigned chunk = left > 0xFFFFu ? 0xFFFFu : static_cast<unsigned>(left);
            const unsigned n = em.decode(pending.data() + off, chunk);
            if (n == 0) break;
            if (em.status() != 0) {
                ++decoded;
                emAttitudeDataMsgs(em, clock(), out);
            } else {
                rejected += n;
            }
            off += n;
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(off));
    }

    void feed_text(const char* p, std::size_t len, std::list<msg_t*>& out) {
        const char* const end = p + len;
        while (p != end) {
            if (format == sensorFormat_tss1 && line.empty() && !overlong) {
                const std::size_t n = tss1_record(p, std::size_t(end - p), out);
                if (n != 0) {
                    p += n;
                    continue;
                }
            }
            const char* e = line_end(p, end);
            const auto n = static_cast<std::size_t>(e - p);
            if (e == end) {
                append(p, n);
                break;
            }
            if (line.empty() && !overlong) {
                // The whole line lies in this read: decoded where it is, with no copy.
                end_line(p, n, out);
            } else {
                append(p, n);
                end_held_line(out);
            }
            // A CR LF pair ends one line: the LF would only make an empty line.
            p = e + 1;
            if (*e == '\r' && p != end && *p == '\n') ++p;
        }
    }

    // A valid TSS1 record holds no CR or LF, so one followed by its CR LF is a whole line
    // without looking for the line's end. Returns the bytes taken (record and CR LF), or 0
    // (nothing done) when the bytes at p are not such a record.
    std::size_t tss1_record(const char* p, std::size_t left, std::list<msg_t*>& out) {
        constexpr std::size_t size = tss1MsgBuilder_t::record_size;
        if (left < size || p[size - 2] != '\r' || p[size - 1] != '\n') return 0;
        const tss1Msg_t record(p, size - 2);
        if (!record.isValid()) return 0;
        count(tss1DataMsgs(record, clock(), out));
        return size;
    }

    // The first CR or LF in [p, end), else end. A CR is looked for only up to the next LF, so
    // a stream without CRs is still read once.
    static const char* line_end(const char* p, const char* end) {
        const auto* lf = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
        if (!lf) lf = end;
        const auto* cr = static_cast<const char*>(std::memchr(p, '\r', std::size_t(lf - p)));
        return cr ? cr : lf;
    }

    void append(const char* p, std::size_t n) {
        if (overlong || n == 0) return;
        if (line.size() + n > max_line) {
            overlong = true;
            line.clear();
            return;
        }
        line.append(p, n);
    }

    // The line gathered over several reads.
    void end_held_line(std::list<msg_t*>& out) {
        end_line(line.data(), line.size(), out);
        line.clear();
        overlong = false;
    }

    void end_line(const char* p, std::size_t n, std::list<msg_t*>& out) {
        if (overlong || n > max_line) {
            ++rejected;
        } else if (n != 0) {
            count(handle_line(p, static_cast<unsigned>(n), out));
        }
    }

    void count(bool gave_data) {
        if (gave_data)
            ++decoded;
        else
            ++rejected;
    }

    bool handle_line(const char* line_data, unsigned n, std::list<msg_t*>& out) {
        switch (format) {
        case sensorFormat_tss1:
            return decodeTss(line_data, n, clock(), out);
        case sensorFormat_ats:
            return decodeAtsAscii(atsAsciiMsg_t(line_data, n), out);
        case sensorFormat_fanbeam: {
            const mdlRangeBearingMsg_t msg(line_data, n);
            if (msg.isFormatValid() && owner->on_range_bearing) owner->on_range_bearing(msg);
            return rangeBearingDataMsg(msg, clock(), out);
        }
        default:
            return false;
        }
    }
};

sensorInput_t::sensorInput_t(sensorFormat_t format, std::function<double()> clock)
    : priv_(new priv_t(format, clock ? std::move(clock) : std::function<double()>(gettstamp_data),
                       this)) {}

sensorInput_t::~sensorInput_t() = default;

void sensorInput_t::feed(const void* data, std::size_t len, std::list<msg_t*>& out) {
    if (data == nullptr || len == 0) return;
    if (priv_->format == sensorFormat_em)
        priv_->feed_binary(static_cast<const unsigned char*>(data), len, out);
    else
        priv_->feed_text(static_cast<const char*>(data), len, out);
}

void sensorInput_t::finish(std::list<msg_t*>& out) {
    if (priv_->format == sensorFormat_em) {
        priv_->pending.clear();
        return;
    }
    if (!priv_->line.empty() || priv_->overlong) priv_->end_held_line(out);
}

sensorFormat_t sensorInput_t::format() const {
    return priv_->format;
}

unsigned long long sensorInput_t::decoded() const {
    return priv_->decoded;
}

unsigned long long sensorInput_t::rejected() const {
    return priv_->rejected;
}

} // namespace tern
