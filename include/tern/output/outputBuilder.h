// The output side of one port: navigation data messages in, sentences out.
//
// Every data message is stored in the output data cache; then every enabled builder that
// watches its type, in the fixed order below, is asked for its sentences. Each sentence
// leaves as a cmd_device_write_t appended to the caller's list (and announced through
// messageGeneratedSignal first), with a fb_raw_ascii_t copy when raw feedback is on for its
// kind. Raw receiver data (data_device_raw_t) is passed through by sharing its buffer.
//
// Builder order: DTM, GGA, GLL, GSA, GST, GSV, HDT, RMC, ROT, THS, VTG, ZDA, moving-baseline
// HDT, TTM, NAVQ, RXQ, SATS, filtered GGA, TSS1.
#pragma once

#include <tern/output/output_cfg.h>
#include <tern/output/output_types.h>

#include <sigc++/signal.h>

#include <list>
#include <memory>

namespace tern {

class cmd_device_write_t;
class data_device_raw_t;
class data_msg_t;
class dpggaBuilder_t;
class messageBuilder_t;
class msg_t;
class outputDataCache_t;

class outputBuilder_t {
public:
    using msgList_t = std::list<msg_t*>;
    using generatedSignal_t = sigc::signal<void, const cmd_device_write_t&, msgList_t&>;

    outputBuilder_t();
    outputBuilder_t(const outputBuilder_t&) = delete;
    outputBuilder_t& operator=(const outputBuilder_t&) = delete;
    ~outputBuilder_t();

    const output_cfg_t& config() const;
    // A new gps_port resets the state first; then every builder takes the configuration.
    void setConfig(const output_cfg_t& cfg);
    // Clears the cache and every builder's state: the next complete epoch is sent again.
    void resetState();

    const rawMsgSet_t& rawFbSet() const;
    void setRawFbSet(const rawMsgSet_t& set);

    generatedSignal_t& messageGeneratedSignal();
    dpggaBuilder_t* dpggaBuilder();
    const outputDataCache_t& cache() const;

    // Raw device data is passed on (handleRawData), every other message goes through the
    // cache to the builders (updateCache). Messages appended to `out` belong to the caller.
    // A message whose time stamp is not finite is cached but triggers no sentence.
    void handleDataMessage(const data_msg_t& msg, msgList_t& out);
    void updateCache(const data_msg_t& msg, msgList_t& out);
    void updateBuilder(messageBuilder_t& builder, msgList_t& out);
    // Takes ownership of `cmd`: signal, output list, and raw feedback when selected.
    void handleOutputMsg(cmd_device_write_t* cmd, rawMsgType_t type, msgList_t& out);
    // Raw types 18 to 35 and RTCM (36) go out when their flag is set, sharing the buffer.
    void handleRawData(const data_device_raw_t& raw, msgList_t& out);

private:
    struct priv_t;
    std::unique_ptr<priv_t> priv_;
};

} // namespace tern
