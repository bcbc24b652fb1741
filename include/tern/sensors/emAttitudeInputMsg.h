// EM attitude input: the binary roll/pitch/heave/heading frame of a motion sensor.
//
// One frame is 10 bytes, words little-endian:
//
//   offset 0  status byte    0x00, or 0x90 to 0xAF (sensor status, below)
//   offset 1  header byte    0x90
//   offset 2  roll           signed 16-bit, 0.01 degree
//   offset 4  pitch          signed 16-bit, 0.01 degree
//   offset 6  heave          signed 16-bit, 0.01 m, positive up on the sensor side
//   offset 8  heading        unsigned 16-bit, 0.01 degree
//
// Status byte to status(): 0x00 and 0x90 to 0x99 give 3, 0x9A to 0x9F give 2, 0xA0 to 0xAF
// give 1; any other value is not a frame.
//
// The stream has no other framing, so the decoder hunts for a header byte with a valid status
// byte before it.
#pragma once

#include <list>

namespace tern {
class msg_t;
}

// One decoded EM attitude frame and the resynchronising decoder of the byte stream.
class emAttitudeInputMsg_t {
public:
    static constexpr unsigned int frame_size = 10;
    static constexpr unsigned char header_byte = 0x90;

    emAttitudeInputMsg_t() = default;

    // Looks at the front of a byte stream and returns how many bytes the caller must drop
    // from it; 0 means: wait for more bytes. status() is 0 unless the returned bytes are one
    // whole frame (then 1, 2 or 3, and the accessors describe that frame). Never reads beyond
    // `len` bytes; a null `data` is taken as no bytes.
    unsigned int decode(const void* data, unsigned int len);

    // 0 (nothing decoded by the last call), or 1, 2 or 3 from the status byte.
    int status() const { return status_; }
    // The status byte of the frame.
    unsigned char statusCode() const { return raw_[0]; }
    // 10 for status byte 0x00, otherwise 0x9A minus the status byte, modulo 256 (0x90 gives
    // 10, 0x99 gives 1).
    unsigned char accuracy() const;

    double roll() const;    // radians
    double pitch() const;   // radians
    double heave() const;   // metres, positive down (the sensor's sign reversed)
    double heading() const; // radians, as the sensor gives it (not wrapped)

    // The 10 bytes of the last frame.
    const unsigned char* raw() const { return raw_; }

private:
    int status_ = 0;
    unsigned char raw_[frame_size] = {};
};

namespace tern {

// Appends, stamped with `time`, the navigation data of a decoded frame: data_roll_t,
// data_pitch_t, data_heave_t and data_heading_t, in that order. The heave is heave(): positive
// down (TSS1 records give it positive up). Nothing when msg.status() is 0. Returns whether
// anything was appended; the caller owns the messages.
bool emAttitudeDataMsgs(const emAttitudeInputMsg_t& msg, double time, std::list<msg_t*>& out);

} // namespace tern
