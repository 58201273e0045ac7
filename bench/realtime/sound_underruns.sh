#!/usr/bin/env bash
# Drop-outs on a real sound server under load: speaks a long utterance RUNS
# times through `vocalith-tts say` on a private PulseAudio or PipeWire (null
# sink, as in tests/e2e/sound_server_test.sh) while two busy loops load the
# processors, and counts ALSA's underrun reports and the faults heard at the
# sink (gaps, repeats and lost stretches, found stretch by stretch).
#
#   bench/realtime/sound_underruns.sh pulse|pipewire VOCALITH_TTS [RUNS] [SECONDS]
#
# With KEEP_DIR set, a run with faults leaves its recording, the rendering
# and the program's notes there, to be looked at after.
server=${1:?usage: sound_underruns.sh pulse|pipewire VOCALITH_TTS [RUNS] [SECONDS]}
tts=${2:?usage: sound_underruns.sh pulse|pipewire VOCALITH_TTS [RUNS] [SECONDS]}
runs=${3:-10}
seconds=${4:-60}
here=$(cd "$(dirname "$0")/../../tests/e2e" && pwd)
. "$here/sound_server.sh"
busy=()
trap 's=$?; for p in "${busy[@]}"; do kill "$p" 2>/dev/null; done; cleanup "$s"' EXIT
start_server "$server"
export VOCALITH_DEBUG=1  # the sound libraries' notes, underruns among them

# An utterance of about SECONDS seconds.
sentence="The quick brown fox jumps over the lazy dog while the band plays on. "
text=$sentence
while :; do
  "$tts" say --wav "$root/expected.wav" "$text" 2>/dev/null
  length=$(soxi -D "$root/expected.wav")
  awk -v l="$length" -v s="$seconds" 'BEGIN { exit !(l >= s) }' && break
  text="$text$sentence"
done
echo "$server: utterance $length s; $runs runs; two busy loops"
for _ in 1 2; do (while :; do :; done) & busy+=($!); done

total_underruns=0
total_faults=0
for run in $(seq "$runs"); do
  start_recording "$root/heard.raw"
  "$tts" say --audio portaudio "$text" 2>"$root/say.err"
  stop_recording
  underruns=$(grep -ci underrun "$root/say.err")
  result=$(align "$root/expected.wav" "$root/heard.raw")
  faults=$(echo "$result" | head -1 | grep -oE '[0-9]+ faults' | grep -oE '[0-9]+')
  echo "run $run: $underruns underrun reports; $(echo "$result" | head -3 | tr '\n' ' ')"
  total_underruns=$((total_underruns + underruns))
  total_faults=$((total_faults + ${faults:-1}))
  if [ -n "${KEEP_DIR:-}" ] && [ "${faults:-1}" != 0 ]; then
    mkdir -p "$KEEP_DIR/$server-$run"
    cp "$root/heard.raw" "$root/say.err" "$root/expected.wav" "$KEEP_DIR/$server-$run/"
  fi
done
echo "$server total: $total_underruns underrun reports, $total_faults faults heard over $runs runs"
