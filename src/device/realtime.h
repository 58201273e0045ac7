#pragma once
// Real-time priority for the sound callback threads. A thread at ordinary
// priority on a busy machine waits its turn for tens of milliseconds, longer
// than a sound server waits between asking for data and playing it, and the
// listener hears a hole.
//
// The callback only names itself (its kernel thread id) on its first
// period, without locking or allocating; a helper thread of ordinary
// priority then asks for it: from the system directly (SCHED_FIFO, allowed
// to root or under an RLIMIT_RTPRIO limit), and where that is refused from
// RealtimeKit over the system D-Bus, as desktop sound clients do. The
// threads of libpulse's I/O loops that carry a stream to the sound server
// (ALSA's PulseAudio plug-in starts one per stream) are asked for with it. With
// VOCALITH_DEBUG=1 the helper says which way each thread got its priority,
// or why it got none.
namespace vocalith::device {

// The priority asked for: below the sound servers' own threads (PipeWire's
// run at 88, JACK's around 70), so the server that takes our data is never
// held up by us.
inline constexpr int REALTIME_PRIORITY = 10;

// Starts the helper; called from an ordinary thread before a stream that
// will ask starts. Cheap after the first call.
void PrepareRealtime();

// Callback thread, every period: the first call on a thread hands it to the
// helper. `which` names the thread in notes ("output", "input"); it must
// outlive the program's streams (a string literal).
void AskRealtimeOnce(const char* which);

}  // namespace vocalith::device
