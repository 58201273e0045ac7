#!/usr/bin/env bash
# `vocalith-tts say "Hello."` beside espeak-ng on a real sound server (private
# PulseAudio or PipeWire, null sink "spk" recorded at its monitor), RUNS
# times each, interleaved: the first sound after the command starts, and
# how long the process runs on after the last sound was heard. Prints each
# time and the medians.
#
# The clock is the recording itself: the start and the end of a command are
# the recording's length at those moments, so the recorder's own latency
# counts in on both sides alike. The recorder takes data every 5 ms: at the
# tests' 20 ms, a time is known only to the 20 ms block it falls in, and on
# PulseAudio a stream that starts with sound (as `say`'s does) loses its
# first milliseconds in the monitor, which then put its first sound at the
# start of the next block.
#
# With BEFORE_BIN=DIR another build's vocalith-tts runs in the same rounds
# ("before"), to compare a change side by side.
#
#   bench/realtime/say_latency.sh pulse|pipewire BIN_DIR [RUNS]
server=${1:?usage: say_latency.sh pulse|pipewire BIN_DIR [RUNS]}
bin=${2:?usage: say_latency.sh pulse|pipewire BIN_DIR [RUNS]}
runs=${3:-10}
text=${SAY_TEXT:-Hello.}
here=$(cd "$(dirname "$0")/../../tests/e2e" && pwd)
recorder_latency_ms=5
. "$here/sound_server.sh"
start_server "$server"

# "FIRST END" in milliseconds: from byte offset $2 of recording $1 to its
# first loud sample, and from its last loud sample to byte offset $3.
sound_span() {
  /usr/bin/python3 - "$1" "$2" "$3" <<'PY'
import array, sys
start, end = int(sys.argv[2]) // 2 * 2, int(sys.argv[3]) // 2 * 2
with open(sys.argv[1], "rb") as f:
    f.seek(start)
    samples = array.array("h", f.read(end - start))
loud = [i for i, s in enumerate(samples) if abs(s) > 256]
if not loud:
    print("none none")
else:
    print(loud[0] * 1000 // 11025, (len(samples) - 1 - loud[-1]) * 1000 // 11025)
PY
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A first end
run_one() { # NAME COMMAND...
  local name=$1
  shift
  start_recording "$root/$name.raw"
  sleep 0.3
  local mark after span
  mark=$(stat -c %s "$root/$name.raw")
  "$@" >/dev/null 2>&1
  after=$(stat -c %s "$root/$name.raw")
  stop_recording 0.3
  span=$(sound_span "$root/$name.raw" "$mark" "$after")
  first[$name]+="${span% *} "
  end[$name]+="${span#* } "
}

names="vocalith espeak"
[ -n "${BEFORE_BIN:-}" ] && names="before $names"
for _ in $(seq "$runs"); do
  [ -n "${BEFORE_BIN:-}" ] && run_one before "$BEFORE_BIN/vocalith-tts" say --audio portaudio "$text"
  run_one vocalith "$bin/vocalith-tts" say --audio portaudio "$text"
  run_one espeak espeak-ng "$text"
done

for name in $names; do
  echo "$server $name first sound: ${first[$name]}ms; median $(tr ' ' '\n' <<<"${first[$name]}" | grep . | median) ms"
  echo "$server $name end after last sound: ${end[$name]}ms; median $(tr ' ' '\n' <<<"${end[$name]}" | grep . | median) ms"
done
