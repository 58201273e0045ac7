#include "device/pa_session.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "base/user_errors.h"

// PortAudio's log hook; its header is not installed.
extern "C" {
typedef void (*PaUtilLogCallback)(const char* log);
void PaUtil_SetDebugPrintFunction(PaUtilLogCallback callback);
}

namespace vocalith::device::pa {

namespace {

// The sound libraries' notes (devices ALSA probed and could not open, a JACK
// server that is not running, underruns) help whoever looks into a problem,
// never the user: they go to the debug log, in the libraries' own format.
void AlsaNote(const char* file, int line, const char* function, int err, const char* format, ...) {
    if (!base::DebugLogShown()) return;
    std::FILE* log = base::UserErrors();
    std::fprintf(log, "ALSA lib %s:%i:(%s) ", file, line, function);
    va_list args;
    va_start(args, format);
    std::vfprintf(log, format, args);
    va_end(args);
    if (err != 0) std::fprintf(log, ": %s", snd_strerror(err));
    std::fputc('\n', log);
}

void JackNote(const char* message) {
    if (base::DebugLogShown()) std::fprintf(base::UserErrors(), "%s\n", message);
}

// PortAudio's own notes ("Expression ... failed in ...", when a device goes
// away) arrive whole, newline included.
void PortAudioNote(const char* message) {
    if (base::DebugLogShown()) std::fputs(message, base::UserErrors());
}

// Recursive: a session that failed to start ends inside Acquire.
std::recursive_mutex& SessionMutex() {
    static std::recursive_mutex m;
    return m;
}

std::mutex& StreamListMutex() {
    static std::mutex m;
    return m;
}

// Held while PortAudio terminates, and by the exit handler as it marks the
// process exiting: after that, PortAudio is left to the process's end.
std::mutex& TerminateMutex() {
    static std::mutex m;
    return m;
}
std::atomic<bool> exiting{false};

// Terminating PortAudio unloads the sound libraries it loaded (ALSA's
// plug-ins and the libraries they need). A thread that finished closing a
// stream late may hold the last session as the process exits; terminating
// there would unload those libraries while the exit runs their own exit
// handlers, and a handler run as its library goes crashes the process. This
// handler is registered as each session starts, after those libraries are
// loaded, so it runs before their handlers (exit runs the latest first): it
// waits for a termination under way (only briefly: one held up by a sound
// server is not waited for) and keeps any later one from happening.
void MarkExiting() {
    std::unique_lock lock(TerminateMutex(), std::try_to_lock);
    for (int tries = 0; tries < 100 && !lock.owns_lock(); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        lock.try_lock();
    }
    exiting.store(true);
}

}  // namespace

void QuietLibraryNotes() {
    snd_lib_error_set_handler(AlsaNote);
    jack_set_error_function(JackNote);
    jack_set_info_function(JackNote);
    PaUtil_SetDebugPrintFunction(PortAudioNote);
}

std::shared_ptr<Session> Session::Acquire() {
    static std::weak_ptr<Session> current;
    std::lock_guard lock(SessionMutex());
    if (auto session = current.lock()) return session->ok_ ? session : nullptr;
    auto session = std::shared_ptr<Session>(new Session());
    current = session;
    return session->ok_ ? session : nullptr;
}

Session::Session() {
    // Probing the host APIs gives pages of notes about devices that are not
    // there. PortAudio asks JACK not to start a server for the probe.
    QuietLibraryNotes();
    ok_ = Pa_Initialize() == paNoError;
    // PortAudio's JACK host puts in a hook of its own, which keeps only the
    // notes of the thread that started it and may not outlive it; JACK's
    // notes from any later client (ALSA's JACK plug-in among them) come to
    // ours.
    QuietLibraryNotes();
    // Registered again after each start's libraries, but a few dozen times
    // at most: a window retrying a vanished server every few seconds would
    // add one for good each time.
    constexpr int MAX_EXIT_HANDLERS = 64;
    static int exitHandlers = 0;  // SessionMutex
    TerminateMutex();             // made before the handler, so it outlives it
    if (exitHandlers < MAX_EXIT_HANDLERS && std::atexit(MarkExiting) == 0) ++exitHandlers;
}

Session::~Session() {
    // The last holder may be a thread closing a stream while another opens
    // one: the end and a new start take turns.
    std::lock_guard lock(SessionMutex());
    std::lock_guard terminating(TerminateMutex());
    if (ok_ && !exiting.load()) Pa_Terminate();
}

// Devices are named rather than numbered between a choice and an open, so a
// choice survives a change in PortAudio's numbering.
PaDeviceIndex FindDevice(const std::string& name, DeviceDirection direction) {
    const bool input = direction == DeviceDirection::Input;
    if (name.empty()) return input ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info == nullptr || info->name == nullptr || name != info->name) continue;
        if ((input ? info->maxInputChannels : info->maxOutputChannels) > 0) return i;
    }
    return paNoDevice;
}

// Opening and closing streams on different threads (a reopen while a stuck
// close finishes) take turns through this lock. Stopping a stream, the call
// a frozen server holds, runs outside it.
PaError OpenStream(PaStream** stream, const PaStreamParameters* in, const PaStreamParameters* out,
                   uint32_t rate, unsigned long period, PaStreamCallback* callback, void* user,
                   PaStreamFlags flags) {
    std::lock_guard lock(StreamListMutex());
    return Pa_OpenStream(stream, in, out, rate, period, flags | paClipOff, callback, user);
}

void CloseStream(PaStream* stream) {
    std::lock_guard lock(StreamListMutex());
    Pa_CloseStream(stream);
}

void CloseStreamDetached(PaStream* stream, std::shared_ptr<const void> keep,
                         std::chrono::milliseconds deadline) {
    struct Done {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
    };
    auto done = std::make_shared<Done>();
    try {
        std::thread([stream, keep = std::move(keep), done] {
            Pa_AbortStream(stream);
            CloseStream(stream);
            std::lock_guard lock(done->m);
            done->done = true;
            done->cv.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        Pa_AbortStream(stream);  // no thread to spare: close here
        CloseStream(stream);
        return;
    }
    std::unique_lock lock(done->m);
    done->cv.wait_for(lock, deadline, [&] { return done->done; });
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void DebugNote(const std::string& what) {
    if (base::DebugLogShown()) std::fprintf(base::UserErrors(), "vocalith: %s\n", what.c_str());
}

}  // namespace vocalith::device::pa
