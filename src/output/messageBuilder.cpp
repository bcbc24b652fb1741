#include <tern/output/messageBuilder.h>

#include <tern/decode/bufferStream.h>
#include <tern/msg/cmd_msgs.h>

#include <memory>

namespace tern {

struct messageBuilder_t::priv_t {
    explicit priv_t(rawMsgType_t t) : type(t), stream(nullptr, 0) { stream.setf(std::ios::fixed); }

    rawMsgType_t type;
    // One stream per builder, pointed at each new command's data area in turn: building a
    // sentence then costs no stream construction.
    bufferStream_t stream;
};

messageBuilder_t::messageBuilder_t(rawMsgType_t type) : priv_(new priv_t(type)) {}

messageBuilder_t::~messageBuilder_t() = default;

void messageBuilder_t::resetState() {
    output_tstamp_ = 0.0;
}

void messageBuilder_t::addChecksum(const char*, unsigned int, std::ostream&) {}

rawMsgType_t messageBuilder_t::rawType() const {
    return priv_->type;
}

void messageBuilder_t::watchMessageType(unsigned int type) {
    if (type < watch_capacity) watched_.set(type);
}
void messageBuilder_t::unwatchMessageType(unsigned int type) {
    if (type < watch_capacity) watched_.reset(type);
}
void messageBuilder_t::watchAllMessageTypes() {
    watched_.set();
}

void messageBuilder_t::buildMessage(const outputDataCache_t& cache,
                                    std::vector<cmd_device_write_t*>& out) {
    std::unique_ptr<cmd_device_write_t> cmd(new cmd_device_write_t);
    bufferStream_t& os = priv_->stream;
    os.reset(cmd->data, cmd_device_write_t::max_data);
    buildContents(cache, os);
    addChecksum(reinterpret_cast<const char*>(cmd->data), os.validLength(), os);
    const unsigned int len = os.validLength();
    const bool cut = os.bufferStreambuf()->overflowCount() != 0;
    os.reset(nullptr, 0);
    // A cut sentence has lost its checksum and line end and would spoil the next one on the
    // line too: it is dropped whole.
    if (len == 0 || cut) return;
    cmd->len = static_cast<unsigned short>(len);
    out.push_back(cmd.release());
}

} // namespace tern
