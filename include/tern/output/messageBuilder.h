// Base of every output sentence builder.
//
// A builder watches some navigation data types. When one of them arrives, the output builder
// (outputBuilder_t) stores it in its cache and calls build(); the builder compares time stamps
// to decide whether its sentence is due and, if so, formats it straight into the inline data
// area of a new cmd_device_write_t:
//
//   buildContents()   writes the sentence up to its last field ("$GPGGA,...,0412")
//   addChecksum()     writes the tail; NMEA builders add "*HH" CR LF, the TSS1 record nothing
//
// A sentence that does not fit in the command's 1024 bytes is dropped whole, never sent cut.
#pragma once

#include <tern/output/output_types.h>

#include <bitset>
#include <iosfwd>
#include <memory>
#include <vector>

namespace tern {

class cmd_device_write_t;
class outputDataCache_t;
class output_cfg_t;

class messageBuilder_t {
public:
    // Data type numbers run below this.
    static constexpr unsigned int watch_capacity = 49;

    explicit messageBuilder_t(rawMsgType_t type);
    messageBuilder_t(const messageBuilder_t&) = delete;
    messageBuilder_t& operator=(const messageBuilder_t&) = delete;
    virtual ~messageBuilder_t();

    // Forgets what was sent: the output time stamp goes back to 0.0.
    virtual void resetState();
    // Appends the sentences now due (usually none or one) to `out`; the caller owns them.
    virtual void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) = 0;
    virtual void setConfig(const output_cfg_t& cfg) = 0;
    // Writes the sentence body from the cache; writing nothing means no sentence.
    virtual void buildContents(const outputDataCache_t& cache, std::ostream& os) = 0;
    // Writes the tail after the `len` bytes of `text`; the base writes nothing.
    virtual void addChecksum(const char* text, unsigned int len, std::ostream& os);

    rawMsgType_t rawType() const;
    // Asked of every builder for every message: kept here and inline rather than behind
    // priv_, which cost a call and a pointer chase each.
    bool enabled() const { return enabled_; }
    void setEnabled(bool on) { enabled_ = on; }
    // Data time stamp of the last sentence built: the duplicate guard.
    double outputTimestamp() const { return output_tstamp_; }
    void setOutputTimestamp(double t) { output_tstamp_ = t; }

    bool watchesMessageType(unsigned int type) const {
        return type < watch_capacity && watched_.test(type);
    }
    // Types of 49 and above are ignored.
    void watchMessageType(unsigned int type);
    void unwatchMessageType(unsigned int type);
    void watchAllMessageTypes();

protected:
    // Formats one sentence (buildContents, then addChecksum) into a new command and appends it
    // to `out`, unless it came out empty or did not fit.
    void buildMessage(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out);

private:
    struct priv_t;
    std::unique_ptr<priv_t> priv_;
    bool enabled_ = true;
    double output_tstamp_ = 0.0;
    std::bitset<watch_capacity> watched_;
};

} // namespace tern
