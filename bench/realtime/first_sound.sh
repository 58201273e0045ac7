#!/usr/bin/env bash
# Time to first sound on a real sound server (private PulseAudio or PipeWire,
# null sink "spk" recorded at its monitor): from starting `vocalith-tts say`
# to its first sound, and from pressing Enter (TTS) in the window to the
# first sound, RUNS times each; prints each time and the median. The
# window's speech is meant to be heard 450 ms after the key: its mixer
# starts it sooner by the time the output takes to the listener, and the
# output rests between the presses (1.5 s apart), so each press wakes it;
# `say` starts at once, the device's buffer on top.
#
# The clock is the recording itself: the moment of the start or the key is
# the recording's length at that moment, so the recorder's own latency (20
# ms asked for) counts in.
#
#   bench/realtime/first_sound.sh pulse|pipewire BIN_DIR [RUNS]
server=${1:?usage: first_sound.sh pulse|pipewire BIN_DIR [RUNS]}
bin=${2:?usage: first_sound.sh pulse|pipewire BIN_DIR [RUNS]}
runs=${3:-5}
here=$(cd "$(dirname "$0")/../../tests/e2e" && pwd)
. "$here/sound_server.sh"
. "$here/window_driver.sh"
start_server "$server"

# Milliseconds from byte offset $2 of recording $1 to its first loud sample.
first_sound_after() {
  /usr/bin/python3 - "$1" "$2" <<'PY'
import array, sys
with open(sys.argv[1], "rb") as f:
    f.seek(int(sys.argv[2]) // 2 * 2)
    samples = array.array("h", f.read())
loud = next((i for i, s in enumerate(samples) if abs(s) > 256), None)
print("none" if loud is None else loud * 1000 // 11025)
PY
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

say_times=()
for _ in $(seq "$runs"); do
  start_recording "$root/say.raw"
  mark=$(stat -c %s "$root/say.raw")
  "$bin/vocalith-tts" say --audio portaudio "Hello." 2>/dev/null
  stop_recording 0.2
  say_times+=("$(first_sound_after "$root/say.raw" "$mark")")
done

start_window
window_times=()
for _ in $(seq "$runs"); do
  start_recording "$root/window.raw"
  xdotool mousemove --window "$wid" 300 217 click 1 key ctrl+a type --delay 0 "Hello."
  sleep 1.5  # the output comes to rest after the last utterance
  mark=$(stat -c %s "$root/window.raw")
  xdotool key Return
  await_quiet 5
  stop_recording 0.2
  window_times+=("$(first_sound_after "$root/window.raw" "$mark")")
done
close_window

echo "$server say: ${say_times[*]} ms; median $(printf '%s\n' "${say_times[@]}" | median) ms"
echo "$server window: ${window_times[*]} ms; median $(printf '%s\n' "${window_times[@]}" | median) ms"
