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
#     heard whole.
#   window_sound_test.sh pulse|pipewire BIN_DIR
# Skips (exit 77) where the server or Xvfb cannot start.
server=${1:?usage: window_sound_test.sh pulse|pipewire BIN_DIR}
bin=${2:?usage: window_sound_test.sh pulse|pipewire BIN_DIR}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/sound_server.sh"
for c in Xvfb xdotool sox; do command -v "$c" >/dev/null || skip "$c is not installed"; done

exec 5>"$root/display"
Xvfb -displayfd 5 -screen 0 1280x800x24 >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$root/display" ] && break; sleep 0.1; done
[ -s "$root/display" ] || skip "Xvfb does not start here"
export DISPLAY=:$(cat "$root/display")
# The window is driven on that display, whatever platform the other tests use.
export QT_QPA_PLATFORM=xcb
window_pid=""
trap 'kill "$window_pid" "$xvfb_pid" 2>/dev/null; cleanup' EXIT
export VOCALITH_DEBUG=1  # the window's notices about the sound output, in its log

fail() { echo "FAIL: $*"; exit 1; }

# Starts the window; sets $wid.
start_window() {
  "$bin/vocalith" --audio portaudio >"$root/window.log" 2>&1 &
  window_pid=$!
  wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vocalith' | head -1)
  [ -n "$wid" ] || fail "the window did not open: $(cat "$root/window.log")"
}

# Types TEXT into the English box and presses Enter (TTS, the default
# button). Keys go where the pointer clicked: Qt ignores keys sent to a window.
tts() {
  xdotool mousemove --window "$wid" 300 217 click 1
  xdotool key ctrl+a
  xdotool type --delay 0 "$1"
  xdotool key Return
}

close_window() {
  xdotool mousemove --window "$wid" 300 217 click 1 key Escape
  for _ in $(seq 100); do kill -0 "$window_pid" 2>/dev/null || break; sleep 0.01; done
  kill -0 "$window_pid" 2>/dev/null && fail "the window was still running 1 s after closing"
  window_pid=""
}

# Waits up to SECONDS for the window's log to hold TEXT.
await_log() {
  for _ in $(seq $(($1 * 10))); do grep -q "$2" "$root/window.log" && return 0; sleep 0.1; done
  fail "no '$2' within $1 s: $(tail -3 "$root/window.log")"
}

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
box=$(timeout 20 xdotool search --sync --onlyvisible --name '^StartSpeechPlay' | head -1)
[ -n "$box" ] || fail "no box about the missing output: $(cat "$root/window.log")"
xdotool mousemove --window "$box" 20 20 key Return
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vocalith' | head -1)
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
align "$root/expected.wav" "$root/monitor.raw" || exit 1

# --- 3. the server freezes ---
await_rest
for p in $server_pids; do kill -STOP "$p"; done
tts "$t2"
await_log 3 "Sound output lost"
sleep 3.5  # a reopen is tried meanwhile
close_window
for p in $server_pids; do kill -CONT "$p"; done
echo "PASS"
