#pragma once
// When an output stream runs, rests and wakes, and when it counts as lost.
// The stream itself is reached only through StreamOps, so the same decisions
// drive PortAudio in the program and a scripted stream on a fake clock in
// tests.
//
// While no buffer plays the stream rests: after REST_AFTER_MS of silence
// the callback ends it, and the sound server has no stream of ours to
// serve. A buffer that starts to play wakes it: a job of its own opens a
// fresh stream and closes the ended one (a stopped stream started again is
// held back for seconds by one sound server; a new one runs at once).
//
// A stream may also begin prepared: opened but not started, resting until
// the first wake starts it (a fresh one opens only when it will not start).
//
// A running stream is called back every few tens of milliseconds, so one
// that reports itself stopped, or whose callback has not run for
// STALL_LIMIT_MS, has lost its device (the sound server went away or froze,
// the card was unplugged); so has one that a wake could not open, or has
// not opened within that time. A busy machine or a server taking audio in
// bursts holds the callback back for a few hundred milliseconds, not for
// seconds. A resting stream cannot tell.
//
// Threads: OnPeriod runs on the stream's callback thread and only ever
// try-locks; Wake, Check and Close run on the UI thread; the wake's job runs
// where StreamOps::Spawn puts it.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace vocalith::device {

// A stream that has not been called back for this long has lost its device:
// long enough for a loaded machine and a server's bursts, short enough that
// a frozen server is reported within two seconds.
inline constexpr int64_t STALL_LIMIT_MS = 1500;
// Starting a stream on a sound server can hold the callback back for more
// than a second after its first few periods; stalls count only after this.
inline constexpr int64_t STARTUP_GRACE_MS = 3000;
// A stream rests after this long with no buffer playing: long enough that
// the last sound has left the sound server's buffer, and that a burst of
// short sounds keeps one stream.
inline constexpr int64_t REST_AFTER_MS = 500;

class OutputMachine {
  public:
    using Stream = void*;  // the ops' own handle; null is no stream

    class StreamOps {
      public:
        virtual ~StreamOps() = default;
        virtual int64_t NowMs() = 0;
        // Opens and starts a fresh stream; null when refused. May take as
        // long as the sound server makes it (for good, when it is frozen).
        virtual Stream Open() = 0;
        // Starts a stream that was opened but never started; false when it
        // will not start (the wake then opens a fresh one).
        virtual bool Start(Stream /*stream*/) { return false; }
        // Stops and closes a stream; may take as long as Open.
        virtual void Close(Stream stream) = 0;
        // Whether the sound library still reports the stream running.
        virtual bool Active(Stream stream) = 0;
        // Whether nothing plays; callback thread, never waits.
        virtual bool Quiet() = 0;
        // Runs `job` apart from the caller: on a thread of its own, or
        // here when no thread can be had.
        virtual void Spawn(std::function<void()> job);
    };

    enum class Phase { Running, Resting, Waking, Failed, Closed };

    explicit OutputMachine(std::unique_ptr<StreamOps> ops) : ops_(std::move(ops)) {}

    // The first stream runs; stalls count from STARTUP_GRACE_MS on.
    void Started(Stream stream);
    // The first stream is open but not started: it rests until a Wake.
    void Prepared(Stream stream);
    // Callback thread, after each period: false ends the stream (it rests).
    bool OnPeriod();
    // UI thread, when a buffer starts to play: a resting stream is replaced
    // by a fresh one. `keep` stays alive until the wake's job ends. False
    // when the stream was not resting (nothing to do).
    bool Wake(std::shared_ptr<const void> keep);
    // UI thread: why the output counts as lost, or empty. Once lost, it stays
    // lost. `rested` (when given) is set when the stream has come to rest
    // since the last Check.
    std::string Check(bool* rested = nullptr);
    // The device is gone: returns the stream for the caller to close (null
    // when none); a stream that a wake opens later is closed at once.
    Stream Close();

    Phase CurrentPhase();
    StreamOps& Ops() { return *ops_; }

  private:
    std::unique_ptr<StreamOps> ops_;
    std::atomic<int64_t> lastCallbackMs_{0};
    int64_t quietSinceMs_ = 0;  // callback thread: when quiet began; 0 while playing
    int64_t startedMs_ = 0;     // UI thread: when the first stream started
    std::string lost_;          // UI thread
    bool restSeen_ = false;     // UI thread: Check has seen the current rest

    std::mutex m_;  // guards the three below; the callback only try-locks it
    Stream stream_ = nullptr;
    bool prepared_ = false;  // stream_ was opened but never started
    Phase phase_ = Phase::Running;
    int64_t wakeStartMs_ = 0;
};

}  // namespace vocalith::device
