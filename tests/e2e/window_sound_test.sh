#!/usr/bin/env bash
# The window on a real sound server (PulseAudio or PipeWire, private, null
# sinks "spk" for the speakers and "mic" for the microphone), driven by key
# presses under Xvfb as a user would:
#  1. TTS three times: the first utterance, a second pressed while the first
#     plays, a third after it ends and the sound output has come to rest;
#     each heard whole, stretch by stretch;
#  2. the monitor: what is played into the microphone is heard whole;
#  3. the server freezes while the output rests and TTS is pressed: the
#     window says the output is lost within 3 s and still closes at once;
#  4. the server is down at start and comes later: the first TTS after it is
#     heard whole;
#  and, where the system allows it, the sound threads run at real-time
#  priority.
#   window_sound_test.sh pulse|pipewire BIN_DIR
# Skips (exit 77) where the server or Xvfb cannot start.
server=${1:?usage: window_sound_test.sh pulse|pipewire BIN_DIR}
bin=${2:?usage: window_sound_test.sh pulse|pipewire BIN_DIR}
here=$(cd "$(dirname "$0")" && pwd)
# A graph cycle that outlasts the machine's stalls (see sound_server.sh).
pipewire_min_quantum=2048
. "$here/sound_server.sh"
command -v sox >/dev/null || skip "sox is not installed"
. "$here/window_driver.sh"

# Waits up to 3 s for the sound output to rest (its last note in the log).
await_rest() {
  for _ in $(seq 30); do
    [ "$(grep 'sound output' "$root/window.log" | tail -1)" = "vocalith: sound output rests" ] &&
      return 0
    sleep 0.1
  done
  fail "the sound output did not rest: $(tail -3 "$root/window.log")"
}

t1="Hello, world. This is a test."
t2="A second follows."
t3="The third comes after a pause."
for i in 1 2 3; do
  eval "text=\$t$i"
  "$bin/vocalith-tts" say --wav "$root/w$i.wav" "$text" || fail "say --wav"
done

# --- 4. the server comes later ---
"$bin/vocalith" --audio portaudio >"$root/window.log" 2>&1 &
window_pid=$!
box=$(find_window '^StartSpeechPlay')
[ -n "$box" ] || fail "no box about the missing output: $(cat "$root/window.log")"
xdotool mousemove --window "$box" 20 20 key Return
wid=$(find_window '^Vocalith')
[ -n "$wid" ] || fail "the window did not open: $(cat "$root/window.log")"
start_server "$server"
await_log 10 "Sound output is back"
start_recording "$root/late.raw"
tts "$t3"
await_quiet 6
stop_recording 0.2
echo "late server:"
align "$root/w3.wav" "$root/late.raw" || exit 1
close_window

# --- 1. three utterances ---
start_window
start_recording "$root/tts.raw"
tts "$t1"
sleep 1.5
tts "$t2"
await_quiet 10
await_rest
tts "$t3"
await_quiet 6
stop_recording 0.2
echo "TTS:"
align "$root/w1.wav" "$root/tts.raw" "$root/w2.wav" "$root/w3.wav" || exit 1

# --- 2. the monitor: a burst of noise opens the speech gate (noise, not a
# tone: a tone's stretches match anywhere in it), then speech follows ---
sox -R -n -r 11025 -c 1 -b 16 "$root/noise.wav" synth 0.2 whitenoise vol 0.1
sox "$root/w1.wav" "$root/w3.wav" "$root/speech.wav" vol 0.1 silence 1 0.01 0.1%
sox "$root/noise.wav" "$root/speech.wav" "$root/mic.wav"
# The first block or two of the noise may fall before the gate opens.
sox "$root/mic.wav" "$root/expected.wav" trim 0.1
xdotool mousemove --window "$wid" 244 179 click 1  # Monitor
# The microphone opens now; a server's new stream settles within a second
# or two.
sleep 2.5
start_recording "$root/monitor.raw"
paplay --device=mic "$root/mic.wav"
await_quiet 3
stop_recording 0.2
xdotool mousemove --window "$wid" 244 179 click 1
echo "monitor:"
# What the microphone hears crosses the server's graph twice. On PipeWire,
# under the sanitizers, one graph cycle was once heard again there (a repeat
# of exactly 42.7 ms, 2048 frames at 48 kHz, with the rest found in place
# around it): the machine holding the server back, as the ordinary-user
# test sees while the program's stream holds sound. One such glitch is
# allowed there, and printed; anything more fails.
monitor_glitches=0
[ "$server" = pipewire ] && monitor_glitches=1
align --glitches "$monitor_glitches" "$root/expected.wav" "$root/monitor.raw" || exit 1
# Where the system grants real-time scheduling, both sound threads take it,
# and so does the PulseAudio plug-in's thread that carries their samples to
# the server: at ordinary priority a busy machine holds them back past the
# server's deadline and holes are heard.
if chrt -f 1 true 2>/dev/null; then
  for which in output input "server connection"; do
    grep -q "the sound $which thread runs at real-time priority" "$root/window.log" ||
      fail "the sound $which thread did not ask for real-time priority"
  done
fi

# --- 3. the server freezes ---
await_rest
for p in $server_pids; do kill -STOP "$p"; done
tts "$t2"
await_log 3 "Sound output lost"
sleep 3.5  # a reopen is tried meanwhile
close_window
for p in $server_pids; do kill -CONT "$p"; done
echo "PASS"
