#!/usr/bin/env bash
# vocalith-tts on a real sound server: a private PulseAudio with a null sink
# "spk" as the speakers. Checks that `say` reaches the sink whole (the sink's
# monitor against `say --wav` of the same text), and that stopping the server
# in the middle of an utterance ends `say` with status 1 within 2 seconds.
# Skips (exit 77) where PulseAudio cannot start here.
set -uo pipefail
tts=${1:?usage: pulse_server_test.sh VOCALITH_TTS}
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }
command -v pulseaudio >/dev/null && command -v parec >/dev/null && command -v pactl >/dev/null ||
  skip "pulseaudio and pulseaudio-utils are not installed"

root=$(mktemp -d /tmp/vocalith-pulse.XXXXXX)
pulse_pid=""
parec_pid=""
cleanup() {
  [ -n "$parec_pid" ] && kill "$parec_pid" 2>/dev/null
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null && wait "$pulse_pid" 2>/dev/null
  [ -n "${KEEP_ROOT:-}" ] || rm -rf "$root"
}
trap cleanup EXIT

export HOME=$root/home XDG_RUNTIME_DIR=$root/run PULSE_RUNTIME_PATH=$root/run/pulse
mkdir -p "$HOME" "$PULSE_RUNTIME_PATH" && chmod 700 "$XDG_RUNTIME_DIR"
printf 'pcm.!default pulse\nctl.!default pulse\n' > "$HOME/.asoundrc"
unset VOCALITH_AUDIO PULSE_SERVER
# ALSA loads its PulseAudio plugin at run time and unloads it at exit, so the
# allocations the plugin keeps cannot be named by the leak checker (they show
# as an unknown module). Leaks of the program's own code are the business of
# every other test; here the leak check is off.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

start_server() {
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --system=false \
    -L module-native-protocol-unix -L "module-null-sink sink_name=spk" \
    -L "module-null-sink sink_name=mic" >"$root/pulse.log" 2>&1 &
  pulse_pid=$!
  for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  pactl info >/dev/null 2>&1 || { cat "$root/pulse.log"; skip "PulseAudio does not start here"; }
  pactl set-default-sink spk && pactl set-default-source mic.monitor
}

# --- 1. what reaches the speakers is the rendering, whole ---
start_server
text="Hello, world. Vocalith speaks on a real sound server."
"$tts" say --wav "$root/expected.wav" "$text" || { echo "FAIL: say --wav"; exit 1; }
parec -d spk.monitor --format=s16le --rate=11025 --channels=1 --raw >"$root/heard.raw" &
parec_pid=$!
for _ in $(seq 50); do  # the monitor needs a moment before data flows
  [ -s "$root/heard.raw" ] && break
  sleep 0.1
done
"$tts" say --audio portaudio "$text" 2>"$root/say.err"
status=$?
sleep 0.5
kill "$parec_pid"; wait "$parec_pid" 2>/dev/null; parec_pid=""
if [ "$status" -ne 0 ]; then echo "FAIL: say exited $status: $(cat "$root/say.err")"; exit 1; fi
python3 "$here/compare_heard.py" "$root/expected.wav" "$root/heard.raw" || exit 1

# --- 2. the server goes away in the middle: status 1 within 2 seconds ---
long=$(printf 'The quick brown fox jumps over the lazy dog. %.0s' $(seq 12))
"$tts" say --audio portaudio "$long" 2>"$root/lost.err" &
say_pid=$!
sleep 3
kill -9 "$pulse_pid"; wait "$pulse_pid" 2>/dev/null; pulse_pid=""
stopped=$(date +%s%N)
for _ in $(seq 100); do
  kill -0 "$say_pid" 2>/dev/null || break
  sleep 0.05
done
if kill -0 "$say_pid" 2>/dev/null; then
  kill "$say_pid"
  echo "FAIL: say still running 5 s after the sound server stopped"
  exit 1
fi
wait "$say_pid"
status=$?
ms=$((($(date +%s%N) - stopped) / 1000000))
echo "say ended ${ms} ms after the server stopped, status $status: $(cat "$root/lost.err")"
[ "$status" -eq 1 ] || { echo "FAIL: expected status 1"; exit 1; }
[ "$ms" -le 2000 ] || { echo "FAIL: took more than 2 s"; exit 1; }
[ "$(wc -l <"$root/lost.err")" -eq 1 ] || { echo "FAIL: expected one error line"; exit 1; }
echo "PASS"
