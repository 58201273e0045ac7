#pragma once
// A stand-in for media-control command strings, for the one device alias
// "song" the sound window knows:
//   "open FILE alias song"       opens a WAVE file under the alias
//   "play song from 0 notify"    plays it from the start; at its end the
//                                owner's music-notify handler receives code 1
//   "close song"                 stops and forgets it
// The song plays through an output buffer of its own when the owner has an
// output device; its end is found by the clock (Poll), so it is noticed with
// or without a device. The notification is posted through the UI dispatcher.
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "device/audio_device.h"
#include "mixer/tick_clock.h"

namespace vocalith::engine {

// The codes of SendString's results (base::Result codes).
inline constexpr int MEDIA_OK = 0;
inline constexpr int MEDIA_ERR_UNRECOGNIZED = 1;  // not one of the three commands
inline constexpr int MEDIA_ERR_FILE = 2;          // the file cannot be read as WAVE
inline constexpr int MEDIA_ERR_NOT_OPEN = 3;      // "song" is not open
inline constexpr int MEDIA_ERR_ALREADY_OPEN = 4;  // "song" is open already

// The code a successful end of play is notified with.
inline constexpr uint32_t MEDIA_NOTIFY_SUCCESSFUL = 1;

class MediaControl {
  public:
    // `notify` is called (through `dispatcher` when given) with the code.
    // The song's end is found by `clock`, which must outlive the control.
    explicit MediaControl(mixer::TickClock& clock) : clock_(clock) {}
    MediaControl(const MediaControl&) = delete;
    MediaControl& operator=(const MediaControl&) = delete;

    // Runs one command string; `device` may be null (then nothing sounds).
    base::Result SendString(std::string_view command, device::OutputDevice* device,
                            device::UiDispatcher* dispatcher, std::function<void(uint32_t)> notify);

    // Posts the end-of-play notification once the song's time has run out.
    void Poll();

    // Drops the output buffer (before its device goes away); the alias stays.
    void ReleaseBuffer() { buffer_.reset(); }

  private:
    mixer::TickClock& clock_;
    bool open_ = false;
    bool playing_ = false;
    wave::PcmFormat format_;
    std::vector<uint8_t> data_;
    uint32_t durationMs_ = 0;
    uint32_t startTick_ = 0;
    std::unique_ptr<device::OutputBuffer> buffer_;
    device::UiDispatcher* dispatcher_ = nullptr;
    std::function<void(uint32_t)> notify_;
};

}  // namespace vocalith::engine
