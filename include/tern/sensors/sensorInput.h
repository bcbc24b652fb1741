// A sensor's byte stream, as it arrives from its port in reads of any size, turned into
// navigation data messages.
//
//   em       EM attitude frames (binary, <tern/sensors/emAttitudeInputMsg.h>): data_roll_t,
//            data_pitch_t, data_heave_t (positive down), data_heading_t per frame
//   tss1     TSS1 records, one a line (decodeTss): roll, pitch, heave (positive up), motion
//   ats      acoustic tracking lines (decodeAtsAscii): target status, offset, depth
//   fanbeam  range/bearing lines (mdlRangeBearingMsg_t): data_range_bearing_t
//            (rangeBearingDataMsg) when the range and the bearing are there; each valid
//            message also goes to on_range_bearing
//
// Text formats are cut into lines at CR or LF (empty lines are skipped); a line longer than
// max_line bytes is dropped whole. How the stream is cut into reads never changes the result.
#pragma once

#include <tern/sensors/mdlRangeBearingMsg.h>

#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <string>

namespace tern {

class msg_t;

enum sensorFormat_t : unsigned char {
    sensorFormat_em = 0,
    sensorFormat_tss1 = 1,
    sensorFormat_ats = 2,
    sensorFormat_fanbeam = 3,
};

// "em", "tss1", "ats", "fanbeam"; "unknown" for any other value.
const char* sensorFormat_name(sensorFormat_t format);
// The format named by one of those texts; false for any other text.
bool sensorFormat_from_name(const std::string& name, sensorFormat_t& format);

// Decoder of one sensor's byte stream.
class sensorInput_t {
public:
    static constexpr std::size_t max_line = 1024;

    // `clock` gives the time stamp of the data of each frame or line (all messages of one
    // frame share it); by default the data clock (gettstamp_data). Acoustic tracking
    // messages carry their own time.
    explicit sensorInput_t(sensorFormat_t format, std::function<double()> clock = {});
    ~sensorInput_t();
    sensorInput_t(const sensorInput_t&) = delete;
    sensorInput_t& operator=(const sensorInput_t&) = delete;

    // Takes the next bytes of the stream and appends the messages of every frame or line they
    // complete; the caller owns them.
    void feed(const void* data, std::size_t len, std::list<msg_t*>& out);
    // End of the stream: a last line without its line end still counts; a partial binary
    // frame is dropped.
    void finish(std::list<msg_t*>& out);

    // Each valid range/bearing message (fanbeam), with or without a data message.
    std::function<void(const mdlRangeBearingMsg_t&)> on_range_bearing;

    sensorFormat_t format() const;
    // Frames or lines that gave data.
    unsigned long long decoded() const;
    // Lines that gave nothing, or bytes skipped while hunting for a binary frame.
    unsigned long long rejected() const;

private:
    struct priv_t;
    std::unique_ptr<priv_t> priv_;
};

} // namespace tern
