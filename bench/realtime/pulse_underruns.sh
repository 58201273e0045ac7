#!/usr/bin/env bash
# Drop-outs on a real sound server under load: speaks a long utterance RUNS
# times through `vocalith-tts say` on a private PulseAudio (null sink, as in
# tests/e2e/pulse_server_test.sh) while two busy loops load the processors,
# and counts ALSA's underrun reports and the silent gaps heard at the sink.
#
#   bench/realtime/pulse_underruns.sh VOCALITH_TTS [RUNS] [SECONDS]
set -uo pipefail
tts=${1:?usage: pulse_underruns.sh VOCALITH_TTS [RUNS] [SECONDS]}
runs=${2:-10}
seconds=${3:-60}
here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d /tmp/vocalith-underruns.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  rm -rf "$root"
}
trap cleanup EXIT
export HOME=$root/home XDG_RUNTIME_DIR=$root/run PULSE_RUNTIME_PATH=$root/run/pulse
mkdir -p "$HOME" "$PULSE_RUNTIME_PATH" && chmod 700 "$XDG_RUNTIME_DIR"
printf 'pcm.!default pulse\nctl.!default pulse\n' >"$HOME/.asoundrc"
unset VOCALITH_AUDIO
export VOCALITH_DEBUG=1  # the sound libraries' notes, underruns among them
pulseaudio -n --daemonize=no --exit-idle-time=-1 --system=false \
  -L module-native-protocol-unix -L "module-null-sink sink_name=spk" \
  -L "module-null-sink sink_name=mic" >"$root/pulse.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink spk && pactl set-default-source mic.monitor

# An utterance of about SECONDS seconds.
sentence="The quick brown fox jumps over the lazy dog while the band plays on. "
text=$sentence
while :; do
  "$tts" say --wav "$root/expected.wav" "$text" 2>/dev/null
  length=$(soxi -D "$root/expected.wav")
  awk -v l="$length" -v s="$seconds" 'BEGIN { exit !(l >= s) }' && break
  text="$text$sentence"
done
echo "utterance: $length s; $runs runs; two busy loops"
for _ in 1 2; do (while :; do :; done) & pids+=($!); done

total_underruns=0
total_gaps=0
for run in $(seq "$runs"); do
  parec -d spk.monitor --format=s16le --rate=11025 --channels=1 --raw >"$root/heard.raw" &
  parec_pid=$!
  for _ in $(seq 50); do [ -s "$root/heard.raw" ] && break; sleep 0.1; done
  "$tts" say --audio portaudio "$text" 2>"$root/say.err"
  sleep 0.5
  kill "$parec_pid"; wait "$parec_pid" 2>/dev/null
  underruns=$(grep -ci underrun "$root/say.err")
  gaps=$(python3 "$here/../../tests/e2e/compare_heard.py" --gaps "$root/expected.wav" "$root/heard.raw")
  echo "run $run: $underruns underrun reports; gaps: $gaps"
  total_underruns=$((total_underruns + underruns))
  total_gaps=$((total_gaps + $(echo "$gaps" | awk '{print $1}')))
done
echo "total: $total_underruns underrun reports, $total_gaps gaps over $runs runs"
