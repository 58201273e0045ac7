#include "device/realtime.h"

#include <errno.h>
#include <sched.h>
#include <semaphore.h>
#include <sys/resource.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "device/pa_session.h"

namespace vocalith::device {

namespace {

// Threads waiting for the helper. A callback claims a free slot (0 → 1),
// fills it and marks it ready (2); the helper empties it (→ 0). More sound
// threads than slots at once never happen; one that finds none stays at
// ordinary priority.
struct Slot {
    std::atomic<int> state{0};
    pid_t tid = 0;
    const char* which = nullptr;
};
constexpr int SLOT_COUNT = 16;
Slot slots[SLOT_COUNT];
sem_t wakeup;  // posted once per filled slot; sem_post neither locks nor allocates
std::atomic<bool> helperRunning{false};

constexpr const char* RTKIT_NAME = "org.freedesktop.RealtimeKit1";
constexpr const char* RTKIT_PATH = "/org/freedesktop/RealtimeKit1";

std::string ErrorText(int error) {
    return std::strerror(error);
}

// A connection to RealtimeKit on the system bus, opened when first needed
// and again after a failure (the bus may have started since).
class RealtimeKit {
  public:
    ~RealtimeKit() { Drop(); }

    // Connects and reads RealtimeKit's limits ahead of the first request,
    // so that a thread waits only for the grant itself. False with `why`.
    bool Prepare(std::string& why) {
        if (bus_) return true;
        const int r = sd_bus_open_system(&bus_);
        if (r < 0) {
            bus_ = nullptr;
            why = "no system bus (" + ErrorText(-r) + ")";
            return false;
        }
        int64_t maxRealtimeUs = 0;
        if (!Property("MaxRealtimePriority", 'i', &maxPriority_, why) ||
            !Property("RTTimeUSecMax", 'x', &maxRealtimeUs, why)) {
            return false;
        }
        // RealtimeKit grants only to a process that limits its real-time
        // threads' time without a pause to at most its RTTimeUSecMax: a
        // runaway thread is then stopped by the kernel.
        rlimit limit{};
        if (maxRealtimeUs > 0 && getrlimit(RLIMIT_RTTIME, &limit) == 0 &&
            (limit.rlim_max == RLIM_INFINITY ||
             limit.rlim_max > static_cast<rlim_t>(maxRealtimeUs))) {
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(maxRealtimeUs);
            if (setrlimit(RLIMIT_RTTIME, &limit) != 0) {
                why = "RLIMIT_RTTIME could not be lowered (" + ErrorText(errno) + ")";
                Drop();
                return false;
            }
        }
        return true;
    }

    // Asks for `wanted` (or the most RealtimeKit allows) for thread `tid` of
    // this process: the priority granted, or 0 with `why` said.
    int Ask(pid_t tid, int wanted, std::string& why) {
        if (!Prepare(why)) return 0;
        const int32_t maxPriority = maxPriority_;
        const int priority = std::min(wanted, static_cast<int>(maxPriority));
        if (priority < 1) {
            why = "it allows no real-time priority";
            return 0;
        }
        sd_bus_error error{};  // as SD_BUS_ERROR_NULL, whose compound literal is not C++
        const int r = sd_bus_call_method(
            bus_, RTKIT_NAME, RTKIT_PATH, RTKIT_NAME, "MakeThreadRealtime", &error, nullptr, "tu",
            static_cast<uint64_t>(tid), static_cast<uint32_t>(priority));
        if (r < 0) {
            Failed(error, r, why);
            return 0;
        }
        return priority;
    }

  private:
    bool Property(const char* name, char type, void* value, std::string& why) {
        sd_bus_error error{};  // as SD_BUS_ERROR_NULL, whose compound literal is not C++
        const int r = sd_bus_get_property_trivial(bus_, RTKIT_NAME, RTKIT_PATH, RTKIT_NAME, name,
                                                  &error, type, value);
        if (r >= 0) return true;
        Failed(error, r, why);
        return false;
    }
    void Failed(sd_bus_error& error, int r, std::string& why) {
        why = sd_bus_error_is_set(&error) && error.message ? error.message : ErrorText(-r);
        sd_bus_error_free(&error);
        Drop();
    }
    void Drop() { bus_ = sd_bus_flush_close_unref(bus_); }

    sd_bus* bus_ = nullptr;
    int32_t maxPriority_ = 0;
};

// Sets SCHED_FIFO at `priority` on thread `tid`: 0 or the error.
int SetFifo(pid_t tid, int priority) {
    sched_param param{};
    param.sched_priority = priority;
    return sched_setscheduler(tid, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0 ? 0 : errno;
}

void Promote(pid_t tid, const char* which, RealtimeKit& rtkit) {
    const std::string thread = std::string("the sound ") + which + " thread";
    int priority = REALTIME_PRIORITY;
    int error = SetFifo(tid, priority);
    rlimit limit{};
    // A lower RLIMIT_RTPRIO is used as it is.
    if (error == EPERM && getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur > 0 &&
        limit.rlim_cur < static_cast<rlim_t>(REALTIME_PRIORITY)) {
        priority = static_cast<int>(limit.rlim_cur);
        error = SetFifo(tid, priority);
    }
    if (error == 0) {
        pa::DebugNote(thread + " runs at real-time priority " + std::to_string(priority) +
                      " (granted by the system)");
        return;
    }
    if (error != EPERM) {
        pa::DebugNote(thread + " has no real-time priority (" + ErrorText(error) + ")");
        return;
    }
    std::string why;
    priority = rtkit.Ask(tid, REALTIME_PRIORITY, why);
    if (priority > 0) {
        pa::DebugNote(thread + " runs at real-time priority " + std::to_string(priority) +
                      " (granted by RealtimeKit)");
    } else {
        pa::DebugNote(thread + " has no real-time priority (the system refused it: " +
                      ErrorText(error) + "; RealtimeKit refused it: " + why + ")");
    }
}

// Whether the system will refuse SCHED_FIFO to this process's threads.
bool SystemRefuses() {
    rlimit limit{};
    return geteuid() != 0 && getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur == 0;
}

// The threads of libpulse's own I/O loops in this process, by the name the
// library gives them, that do not yet run at real-time priority. A stream
// that reaches the sound server through ALSA's PulseAudio plug-in has one:
// the callback hands its samples to it, and it alone sends them on, so at
// ordinary priority a busy machine holds it back past the server's deadline
// just as it would the callback.
std::vector<pid_t> ServerConnectionThreads() {
    std::vector<pid_t> found;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (!std::getline(comm, name) || name != "threaded-ml") continue;
        const pid_t tid = static_cast<pid_t>(std::atoi(task.path().filename().c_str()));
        if (tid <= 0) continue;  // sched_getscheduler(0) would be this thread
        const int policy = sched_getscheduler(tid);
        if (policy != SCHED_FIFO && policy != SCHED_RR) found.push_back(tid);
    }
    return found;
}

[[noreturn]] void HelperLoop() {
    RealtimeKit rtkit;
    std::string ignored;  // said when a thread asks
    if (SystemRefuses()) rtkit.Prepare(ignored);
    for (;;) {
        while (sem_wait(&wakeup) != 0) {
        }
        for (Slot& slot : slots) {
            if (slot.state.load(std::memory_order_acquire) != 2) continue;
            const pid_t tid = slot.tid;
            const char* which = slot.which;
            slot.state.store(0, std::memory_order_release);
            Promote(tid, which, rtkit);
            // The callback may be such a thread itself (our own direct
            // stream's): it was asked for just now, granted or not.
            for (const pid_t connection : ServerConnectionThreads())
                if (connection != tid) Promote(connection, "server connection", rtkit);
        }
    }
}

}  // namespace

void PrepareRealtime() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (sem_init(&wakeup, 0, 0) != 0) return;
        try {
            std::thread(HelperLoop).detach();
            helperRunning.store(true, std::memory_order_release);
        } catch (const std::system_error&) {
            pa::DebugNote("the sound threads keep ordinary priority (no thread to ask for more)");
        }
    });
}

void AskRealtimeOnce(const char* which) {
    thread_local bool asked = false;
    if (asked) return;
    asked = true;
    if (!helperRunning.load(std::memory_order_acquire)) return;
    const pid_t tid = gettid();
    for (Slot& slot : slots) {
        int expected = 0;
        if (!slot.state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) continue;
        slot.tid = tid;
        slot.which = which;
        slot.state.store(2, std::memory_order_release);
        sem_post(&wakeup);
        return;
    }
}

}  // namespace vocalith::device
