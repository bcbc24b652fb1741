#include <tern/output/outputBuilder.h>

#include <tern/data/outputDataCache.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/output/dpggaBuilder.h>
#include <tern/output/dtmBuilder.h>
#include <tern/output/ggaBuilder.h>
#include <tern/output/gllBuilder.h>
#include <tern/output/gsaBuilder.h>
#include <tern/output/gstBuilder.h>
#include <tern/output/gsvBuilder.h>
#include <tern/output/hdtBuilder.h>
#include <tern/output/mbrtkHdtBuilder.h>
#include <tern/output/pqvtrNavqBuilder.h>
#include <tern/output/pqvtrRxqBuilder.h>
#include <tern/output/pqvtrSatsBuilder.h>
#include <tern/output/rmcBuilder.h>
#include <tern/output/rotBuilder.h>
#include <tern/output/thsBuilder.h>
#include <tern/output/tss1Builder.h>
#include <tern/output/ttmBuilder.h>
#include <tern/output/vtgBuilder.h>
#include <tern/output/zdaBuilder.h>

#include <cmath>
#include <memory>
#include <vector>

namespace tern {

struct outputBuilder_t::priv_t {
    output_cfg_t cfg;
    rawMsgSet_t raw_fb;
    generatedSignal_t generated;
    std::vector<std::unique_ptr<messageBuilder_t>> builders;
    dpggaBuilder_t* dpgga = nullptr;
    outputDataCache_t cache;
    // Reused for every build: no allocation per sentence beyond the command itself.
    std::vector<cmd_device_write_t*> built;

    template <class B>
    B* add() {
        B* b = new B;
        builders.emplace_back(b);
        return b;
    }
};

outputBuilder_t::outputBuilder_t() : priv_(new priv_t) {
    priv_t& p = *priv_;
    p.add<dtmBuilder_t>();
    p.add<ggaBuilder_t>();
    p.add<gllBuilder_t>();
    p.add<gsaBuilder_t>();
    p.add<gstBuilder_t>();
    p.add<gsvBuilder_t>();
    p.add<hdtBuilder_t>();
    p.add<rmcBuilder_t>();
    p.add<rotBuilder_t>();
    p.add<thsBuilder_t>();
    p.add<vtgBuilder_t>();
    p.add<zdaBuilder_t>();
    p.add<mbrtkHdtBuilder_t>();
    p.add<ttmBuilder_t>();
    p.add<pqvtrNavqBuilder_t>();
    p.add<pqvtrRxqBuilder_t>();
    p.add<pqvtrSatsBuilder_t>();
    p.dpgga = p.add<dpggaBuilder_t>();
    p.add<tss1Builder_t>();
    p.built.reserve(8);
    for (auto& b : p.builders) b->setConfig(p.cfg);
}

outputBuilder_t::~outputBuilder_t() {
    for (cmd_device_write_t* c : priv_->built) delete c;
}

const output_cfg_t& outputBuilder_t::config() const {
    return priv_->cfg;
}

void outputBuilder_t::setConfig(const output_cfg_t& cfg) {
    if (cfg.gps_port != priv_->cfg.gps_port) resetState();
    priv_->cfg = cfg;
    for (auto& b : priv_->builders) b->setConfig(priv_->cfg);
}

void outputBuilder_t::resetState() {
    priv_->cache.clear();
    for (auto& b : priv_->builders) b->resetState();
}

const rawMsgSet_t& outputBuilder_t::rawFbSet() const {
    return priv_->raw_fb;
}

void outputBuilder_t::setRawFbSet(const rawMsgSet_t& set) {
    priv_->raw_fb = set;
}

outputBuilder_t::generatedSignal_t& outputBuilder_t::messageGeneratedSignal() {
    return priv_->generated;
}

dpggaBuilder_t* outputBuilder_t::dpggaBuilder() {
    return priv_->dpgga;
}

const outputDataCache_t& outputBuilder_t::cache() const {
    return priv_->cache;
}

void outputBuilder_t::handleDataMessage(const data_msg_t& msg, msgList_t& out) {
    if (msg.type == data_type_device_raw) {
        if (const auto* raw = dynamic_cast<const data_device_raw_t*>(&msg))
            handleRawData(*raw, out);
        return;
    }
    updateCache(msg, out);
}

void outputBuilder_t::updateCache(const data_msg_t& msg, msgList_t& out) {
    priv_->cache.add(msg);
    // No sentence can carry a time that is not a number; the message stays in the cache,
    // where it completes no epoch.
    if (!std::isfinite(msg.utc_tstamp)) return;
    for (auto& b : priv_->builders)
        if (b->enabled() && b->watchesMessageType(msg.type)) updateBuilder(*b, out);
}

void outputBuilder_t::updateBuilder(messageBuilder_t& builder, msgList_t& out) {
    std::vector<cmd_device_write_t*>& built = priv_->built;
    built.clear();
    builder.build(priv_->cache, built);
    // Taken out first: a slot of the signal may feed this builder again.
    std::vector<cmd_device_write_t*> mine;
    mine.swap(built);
    for (cmd_device_write_t* cmd : mine) handleOutputMsg(cmd, builder.rawType(), out);
    mine.clear();
    if (built.capacity() < mine.capacity()) built.swap(mine);
}

void outputBuilder_t::handleOutputMsg(cmd_device_write_t* cmd, rawMsgType_t type, msgList_t& out) {
    priv_->generated.emit(*cmd, out);
    out.push_back(cmd);
    if (priv_->raw_fb.contains(type))
        out.push_back(new fb_raw_ascii_t(type, reinterpret_cast<const char*>(cmd->data), cmd->len));
}

void outputBuilder_t::handleRawData(const data_device_raw_t& raw, msgList_t& out) {
    const rawMsgType_t type = raw.rawType();
    refd_buf_t* buf = raw.buf();
    if (!priv_->cfg.rawOutputEnabled(type) || !buf || buf->len() == 0) return;
    auto* cmd = new cmd_device_write_t;
    cmd->set_external(buf, true);
    priv_->generated.emit(*cmd, out);
    out.push_back(cmd);
    if (priv_->raw_fb.contains(type)) out.push_back(new fb_raw_binary_t(type, buf->len()));
}

} // namespace tern
