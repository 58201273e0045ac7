#!/usr/bin/env bash
# Long messages through sd_vocalith heard whole: 20 messages of 2 to 6 s at
# rates -100, 0 and +100, spoken one after another with spd-say -w on a
# private PulseAudio and speech-dispatcher, recorded at the sink, and each
# found there stretch by stretch against what the module sends for it
# (align_heard.py). Prints how many were heard whole; fails when speech was
# lost (a message stopped early, 200 ms or more missing). Skips (77) where
# a server cannot start.
# Usage: speechd_long_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/sound_server.sh"
fail() { echo "FAIL: $*"; exit 1; }
for tool in speech-dispatcher spd-say; do
  command -v $tool >/dev/null || skip "$tool is not installed (run scripts/install-deps)"
done
module=$build/bin/sd_vocalith
[ -x "$module" ] || fail "no $module"

start_server pulse
speechd_pid=""
trap 's=$?; kill $speechd_pid 2>/dev/null; wait $speechd_pid 2>/dev/null; cleanup "$s"' EXIT
mkdir -p "$root/conf" "$root/log" "$root/modules"
cp /etc/speech-dispatcher/speechd.conf "$root/conf/" 2>/dev/null ||
  printf 'LogLevel 3\n' >"$root/conf/speechd.conf"
# speech-dispatcher plays what the module sends itself, asking PulseAudio
# for 10 ms of buffer, on a thread of ordinary priority: on a busy machine
# that thread misses its turn and its own holes are heard, whatever the
# module sent. A tenth of a second keeps what is checked the module's.
echo 'AudioPulseMinLength 100' >>"$root/conf/speechd.conf"
# The module finds its voices beside the program it links to; what the
# server sends it is kept.
printf '#!/bin/sh\ntee -a "%s" | "%s" "$@"\n' "$root/input.log" "$module" >"$root/modules/sd_vocalith"
chmod +x "$root/modules/sd_vocalith"
socket=$root/speechd.sock
speech-dispatcher -s -t 0 -C "$root/conf" -m "$root/modules" -S "$socket" -c unix_socket \
  -L "$root/log" >"$root/speechd.out" 2>&1 &
speechd_pid=$!
export SPEECHD_ADDRESS=unix_socket:$socket
for _ in $(seq 50); do [ -S "$socket" ] && break; sleep 0.1; done
spd-say -O >/dev/null 2>&1 || { cat "$root/speechd.out"; skip "speech-dispatcher does not start here"; }

# Sentences of about 2 to 3 s at the voice's own speed; at -100 they last
# twice as long, and three of them make one message at +100.
sentences=(
  "The committee met on Tuesday to discuss the budget."
  "A gentle breeze carried the smell of rain across the valley."
  "Please remember to lock the door when you leave the office."
  "Seven ships sailed past the harbour before the sun went down."
  "The library will be closed for repairs until next Monday."
  "She found an old map hidden between the pages of a book."
  "Our train was delayed by twenty minutes this morning."
  "The garden needs water after such a long and dry summer."
  "He played the piano softly while the guests were arriving."
  "Every file in this folder was saved before the power failed."
)
texts=() rates=()
for i in $(seq 0 19); do
  rate=$(( (i % 3 - 1) * 100 ))
  text=${sentences[$((i % 10))]}
  if [ $rate -eq 100 ]; then
    text="$text ${sentences[$(((i + 3) % 10))]} ${sentences[$(((i + 6) % 10))]}"
  fi
  texts+=("$text") rates+=("$rate")
done

# Where each message starts in the recording (bytes recorded so far), so
# that each is looked for from its own start: one lost cannot hide the next.
start_recording "$root/heard.raw"
for i in "${!texts[@]}"; do
  stat -c %s "$root/heard.raw" >>"$root/starts"
  timeout 30 spd-say -w -o vocalith -r "${rates[$i]}" "${texts[$i]}" ||
    fail "spd-say -w did not return for message $i"
done
stop_recording 1
stat -c %s "$root/heard.raw" >>"$root/starts"

# The messages as the server sent them (it marks every sentence's end), each
# rendered again by the module alone, side by side: what the sink should
# have heard. The module paces its audio as it would for the server, so each
# takes most of its length.
/usr/bin/python3 - "$root/input.log" "$root" <<'PY' || fail "reading what the module was sent"
import sys
lines = open(sys.argv[1], encoding="utf-8", errors="replace").read().split("\n")
count, i = 0, 0
while i < len(lines):
    if lines[i] == "SPEAK":
        j = lines.index(".", i + 1)
        text = "\n".join("." if l == ".." else l for l in lines[i + 1:j])
        open(f"{sys.argv[2]}/said{count}.txt", "w", encoding="utf-8").write(text)
        count, i = count + 1, j
    i += 1
PY
pids=()
for i in "${!texts[@]}"; do
  [ -f "$root/said$i.txt" ] || fail "message $i never reached the module"
  python3 "$here/speechd_listen.py" - render "$module" "$root/want$i.wav" "${rates[$i]}" \
    "$(cat "$root/said$i.txt")" >"$root/want$i.json" 2>/dev/null &
  pids+=($!)
done
for p in "${pids[@]}"; do wait "$p" || fail "rendering with the module"; done

# Both sides lose what lies above 3.5 kHz: the server's path resamples
# twice, and a fricative after silence at rate -100 is mostly sound above
# that, which the path bends and the comparison's own gentler filter keeps.
/usr/bin/python3 - "$root" ${#texts[@]} <<'PY' || fail "filtering"
import sys, wave
import numpy as np
root, count = sys.argv[1], int(sys.argv[2])
n = np.arange(255) - 127
h = np.sinc(2 * 3500 / 11025 * n) * np.blackman(255)
h /= h.sum()
def lowpass(x):
    return np.clip(np.round(np.convolve(x.astype(np.float64), h, mode="same")), -32768, 32767).astype("<i2")
heard = np.frombuffer(open(f"{root}/heard.raw", "rb").read(), dtype="<i2")
open(f"{root}/heard-lp.raw", "wb").write(lowpass(heard).tobytes())
for i in range(count):
    with wave.open(f"{root}/want{i}.wav") as w:
        x = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
    with wave.open(f"{root}/want{i}-lp.wav", "wb") as w:
        w.setnchannels(1); w.setsampwidth(2); w.setframerate(11025)
        w.writeframes(lowpass(x).tobytes())
PY
# Each message is followed through the recording from where it began.
# Whole: every stretch found in place. A busy machine can hold the sound
# server back for a moment (a gap, then as much skipped to catch up, or a
# stretch bent); nothing is lost then. Lost: a run of 200 ms or more not
# found, or the message's end never heard.
/usr/bin/python3 - "$here/align_heard.py" "$root" ${#texts[@]} <<'PY' || fail "messages lost"
import contextlib, importlib.util, io, re, sys, wave
import numpy as np
path, root, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
loader = importlib.util.spec_from_file_location("align_heard", path)
aligner = importlib.util.module_from_spec(loader)
argv, sys.argv = sys.argv, [path]
try:
    with contextlib.redirect_stdout(io.StringIO()):
        loader.loader.exec_module(aligner)  # its main() only prints its usage here
except SystemExit:
    pass
sys.argv = argv
heard = aligner.lowpass(np.frombuffer(open(f"{root}/heard-lp.raw", "rb").read(), dtype="<i2").astype(np.float64))
starts = [int(line) // 2 for line in open(f"{root}/starts")]
whole, lost = 0, []
for i in range(count):
    with wave.open(f"{root}/want{i}-lp.wav") as w:
        expected = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
    # From a little before spd-say started to a little after the next did.
    lo, hi = max(starts[i] - 5512, 0), min(starts[i + 1] + 5512, len(heard))
    start, end, lowest, largest, faults = aligner.align(expected, heard[lo:hi], 0)
    start += lo
    missing = sorted(int(m.group(1)) for f in faults
                     if (m := re.match(r"stretch (\d+) .*(best correlation|recording ends|sound where)", f)))
    run = longest = 0
    for a, b in zip([None] + missing, missing):
        run = run + 1 if a is not None and b == a + 1 else 1
        longest = max(longest, run)
    ended = not any("recording ends" in f or "not heard" in f for f in faults)
    state = "whole" if not faults else ("lost" if longest >= 4 or not ended else "glitches")
    print(f"message {i}: heard from {start / 11025:.2f} s, {len(faults)} faults, {state}"
          + (f" ({'; '.join(faults[:3])})" if faults else ""))
    whole += state == "whole"
    if state == "lost":
        lost.append(i)
print(f"heard whole: {whole} of {count}; with a busy machine's glitches only: "
      f"{count - whole - len(lost)}; lost: {len(lost)} (rates -100, 0, +100 in turn)")
sys.exit(1 if lost else 0)
PY
echo PASS
