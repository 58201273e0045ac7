#!/usr/bin/env bash
# Peak memory of live `say` on the WAV backend for English texts of 1 KB to
# 20 MB on standard input. The WAV device plays in real time, so a whole 20
# MB text would speak for weeks: each run is stopped after SECONDS of
# speech (10 by default), by which time the first piece of the text has
# been read, translated and queued and the speech plays on from it. Memory
# that grew with the text would show from the start: the whole text used to
# be read, translated and queued before the first sound.
#
#   bench/say/live_memory.sh BIN_DIR [SECONDS] [SIZE_KB ...]
bin=${1:?usage: live_memory.sh BIN_DIR [SECONDS] [SIZE_KB ...]}
seconds=${2:-10}
shift 2 2>/dev/null
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1 10 100 1000 5000 20000)
work=$(mktemp -d /tmp/vocalith-live-memory.XXXXXX)
trap 'rm -rf "$work"' EXIT

para="The quick brown fox jumps over the lazy dog. On the 3rd of May, 1998, \
Dr. Smith paid \$42.50 for 17 apples and a pear; nobody knows why. \
Speech is made of small sounds, played back to back, one after another."
for kb in "${sizes[@]}"; do
  /usr/bin/python3 - "$work/text.txt" "$kb" "$para" <<'PY'
import sys
path, size, para = sys.argv[1], int(sys.argv[2]) * 1024, sys.argv[3] + "\n"
with open(path, "w") as f:
    f.write((para * (size // len(para) + 1))[:size])
PY
  # GNU time reports the peak of a command stopped by a signal too.
  /usr/bin/time -o "$work/time.txt" -f "%M" timeout -s TERM "$seconds" \
    "$bin/vocalith-tts" say --audio "wav:$work/out.wav" <"$work/text.txt" >/dev/null 2>&1
  peak=$(tail -1 "$work/time.txt")
  printf '%6d KB of text: peak RSS %7d KB (first %s s of live speech)\n' "$kb" "$peak" "$seconds"
done
