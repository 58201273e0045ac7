#pragma once
// The device layer: output buffers that a device plays on its own, and a
// capture device that fills a ring of buffers from the microphone.
//
// Output buffers behave like hardware secondary buffers: created with a PCM
// format and a size; written at an offset with wrap-around; played once or
// looping from the current position; stopped; given a volume; asked for the
// play and write cursors. The write cursor runs ahead of the play cursor by
// the device's latency: bytes between the two may already be on their way
// to the speakers and must not be written.
//
// Threads: backends run their own audio threads. Every method here is called
// from the UI thread and is safe against the backend's thread. Completed
// capture buffers are delivered on the UI thread through UiDispatcher.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "device/device_list.h"
#include "wave/pcm_format.h"

namespace vocalith::device {

using wave::PcmFormat;

// The largest output buffer a device is asked for; bigger requests (from a
// lying file header, say) are refused as a device would refuse them.
inline constexpr uint32_t MAX_BUFFER_BYTES = 0x0FFFFFFF;

// The outcome of an output buffer operation: a base::Result whose code is
// one of the three below. Results compare by their code.
struct DeviceResult : base::Result {
    static const DeviceResult Ok;
    static const DeviceResult Failed;  // the device refused the call
    static const DeviceResult
        BufferLost;  // the buffer's memory was lost; Restore() it and write again
    friend bool operator==(const DeviceResult& a, const DeviceResult& b) {
        return a.code == b.code;
    }
};

inline constexpr int32_t DEVICE_BUFFER_LOST = -2;
inline const DeviceResult DeviceResult::Ok{{base::RESULT_OK, {}}};
inline const DeviceResult DeviceResult::Failed{{base::RESULT_FAILED, {}}};
inline const DeviceResult DeviceResult::BufferLost{{DEVICE_BUFFER_LOST, {}}};

class OutputBuffer {
  public:
    virtual ~OutputBuffer() = default;
    virtual uint32_t Size() const = 0;
    // Copies `bytes` bytes of `data` (zeros when data is null) into the buffer
    // starting at `offset`, continuing at 0 past the end. bytes <= Size().
    virtual DeviceResult Write(uint32_t offset, const void* data, uint32_t bytes) = 0;
    // Brings back a lost buffer (contents are then undefined).
    virtual DeviceResult Restore() = 0;
    // Starts playing from the current position, once or in an endless loop.
    virtual DeviceResult Play(bool looping) = 0;
    virtual DeviceResult Stop() = 0;
    // Volume in hundredths of a decibel, 0 = full level, negative attenuates.
    virtual DeviceResult SetVolume(int32_t hundredthsOfDb) = 0;
    // Byte offsets of the play cursor and the write cursor.
    virtual DeviceResult GetCurrentPosition(uint32_t& play, uint32_t& write) = 0;
    virtual DeviceResult SetCurrentPosition(uint32_t offset) = 0;
    virtual DeviceResult GetStatus(bool& playing) = 0;
};

class OutputDevice {
  public:
    virtual ~OutputDevice() = default;
    // A new buffer of `bytes` bytes in `format`, or null when refused.
    virtual std::unique_ptr<OutputBuffer> CreateBuffer(const PcmFormat& format, uint32_t bytes) = 0;
    // Whether the device still takes sound: a failure names what went wrong
    // (the sound server went away, the device stopped taking data, a file
    // could not be written). Asked from the UI thread, cheaply, many times a
    // second. Once failed, the device stays failed; open a new one.
    virtual base::Result Check() { return {}; }
    // Ends the output: what was played is complete where it goes (a file is
    // written whole). The result says whether everything reached it. The
    // device plays nothing afterwards; destroying it ends it the same way.
    virtual base::Result Finish() { return Check(); }
    // Milliseconds from a buffer's write cursor to the listener, on a device
    // heard as it plays (the sound server's buffer and the mix ahead of it);
    // 0 where nobody listens as it plays (a file), whose rendering keeps
    // every delay as it was mixed.
    virtual uint32_t HeardLeadMs() { return 0; }
    // False while the device has fetched nothing of its buffers yet (a
    // stream that starts once the first sound is written): what is written
    // at a playing buffer's play cursor is heard from its first frame.
    virtual bool Fetched() const { return true; }
};

// Runs functions on the UI thread. Post() may be called from any thread;
// the functions run in the order posted.
class UiDispatcher {
  public:
    virtual ~UiDispatcher() = default;
    virtual void Post(std::function<void()> fn) = 0;
};

// Receives completed capture buffers on the UI thread, in the order filled.
class CaptureSink {
  public:
    virtual ~CaptureSink() = default;
    // `index` names the buffer (0..count-1); `bytesRecorded` bytes are valid.
    // The buffer goes back to the device only through CaptureDevice::AddBuffer.
    virtual void OnBufferDone(int index, const uint8_t* data, uint32_t bytesRecorded) = 0;
};

class CaptureDevice {
  public:
    virtual ~CaptureDevice() = default;
    // Opens the device with `bufferCount` buffers of `bufferBytes` bytes, all
    // queued for filling. False when there is no device or the format is refused.
    virtual bool Open(const PcmFormat& format, int bufferCount, uint32_t bufferBytes,
                      CaptureSink* sink, UiDispatcher* dispatcher) = 0;
    // Queues buffer `index` for filling again.
    virtual void AddBuffer(int index) = 0;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    // Stops and hands back every queued buffer (partly filled ones with their bytes).
    virtual void Reset() = 0;
    virtual void Close() = 0;
};

// One backend: an output device and a capture device.
class AudioBackend {
  public:
    virtual ~AudioBackend() = default;
    // The output device, or null when there is none (the no-device paths run).
    virtual std::unique_ptr<OutputDevice> OpenOutput() = 0;
    // The capture device, or null when there is none.
    virtual std::unique_ptr<CaptureDevice> OpenCapture() = 0;
    // Opens the output device when called, on any thread and apart from
    // this backend (which may be gone by then): a reopen runs it on a thread
    // of its own, as a stuck sound server can hold an open for good. The
    // default opens at once, on the caller's thread.
    virtual std::function<std::unique_ptr<OutputDevice>()> OutputOpener() {
        auto opened = std::make_shared<std::unique_ptr<OutputDevice>>(OpenOutput());
        return [opened] { return std::move(*opened); };
    }
    // Why the last OpenOutput gave null, in a few words for the user.
    virtual std::string OutputFailure() const { return "no audio output device"; }
    // Later outputs start their stream only when a buffer first plays, at
    // the device's next Check, with the sound already in the stream's first
    // period: heard as soon as the device starts instead of a device buffer
    // of silence later. For a program that opens the output to play at once
    // (the command line); a window keeps its stream ready. Renderings to a
    // file are the same either way.
    virtual void PreferQuickStart() {}
    // The devices there are to choose from; none when the backend has no choice.
    virtual std::vector<DeviceInfo> ListDevices() { return {}; }
    // The devices later opens use, by their exact names; an empty name is
    // the default device. Devices already open stay as they are.
    virtual void UseDevices(const std::string& /*input*/, const std::string& /*output*/) {}
};

// One backend a choice can name; a row of the table in make_backend.cpp.
struct BackendEntry {
    std::string_view name;   // the whole choice, or its part before ':' with an argument
    bool takesArgument;      // written "name:ARGUMENT"
    std::string_view usage;  // how the choice is written: "wav:OUT.wav[,IN.wav]"
    // The same for a program that only plays speech, with where the speech
    // goes: "wav:OUT.wav (written at real-time pace)".
    std::string_view speechUsage;
    // Makes the backend for `choice` (`argument` is its text after the ':');
    // null with a one-line reason in `error`.
    std::unique_ptr<AudioBackend> (*make)(const std::string& choice, std::string_view argument,
                                          std::string* error);
};

// Every backend, the default first.
std::span<const BackendEntry> AudioBackends();

// Every choice as error lines list them: "portaudio, null or wav:OUT.wav[,IN.wav]".
std::string BackendChoices();

// The backend named by `choice` (a row of AudioBackends). An empty choice
// reads VOCALITH_AUDIO, defaulting to the first row. Null with a one-line
// reason in `error` when the choice is not understood or, with `fileFault`
// set, when a file it names cannot be used (the WAV backend's files).
std::unique_ptr<AudioBackend> MakeBackend(std::string_view choice, std::string* error,
                                          bool* fileFault = nullptr);

// Makes `backend` use the devices that `inputChoice` and `outputChoice` name
// (FindDevice; empty keeps the default). False with one line in `error`
// when either names no device, or several.
bool ChooseDevices(AudioBackend& backend, std::string_view inputChoice,
                   std::string_view outputChoice, std::string* error);

}  // namespace vocalith::device
