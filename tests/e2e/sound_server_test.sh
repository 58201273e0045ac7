#!/usr/bin/env bash
# vocalith-tts on a real sound server (PulseAudio or PipeWire, private, with
# a null sink "spk" as the speakers): `devices` lists the server's device;
# `say` reaches the sink whole, on the named device and on the default one
# (every 50 ms stretch of `say --wav` found in the monitor's recording, in
# order); a server frozen before `say` starts
# ends it with status 1 within 6 seconds; freezing the server in the middle
# of an utterance ends it with status 1 within 2 seconds, as does killing it.
#   sound_server_test.sh pulse|pipewire VOCALITH_TTS
# Skips (exit 77) where the server cannot start.
server=${1:?usage: sound_server_test.sh pulse|pipewire VOCALITH_TTS}
tts=${2:?usage: sound_server_test.sh pulse|pipewire VOCALITH_TTS}
here=$(cd "$(dirname "$0")" && pwd)
# A graph cycle that outlasts the machine's stalls (see sound_server.sh).
pipewire_min_quantum=2048
. "$here/sound_server.sh"
start_server "$server"

# --- 1. the server's device is listed; chosen, the speech is heard whole ---
"$tts" devices | grep -qE '^ +[0-9]+  pulse ' ||
  { echo "FAIL: devices does not list the server's device: $("$tts" devices)"; exit 1; }
text="Hello, world. This is a test of the live output."
direct="Hello."
"$tts" say --wav "$root/expected.wav" "$text" || { echo "FAIL: say --wav"; exit 1; }
"$tts" say --wav "$root/direct.wav" "$direct" || { echo "FAIL: say --wav"; exit 1; }
# PulseAudio's monitor, read at the recorder's 20 ms, misses up to that much
# of the start of a stream that begins with sound at once: pacat playing a
# rendering without its leading silence loses it too, and PipeWire's monitor
# misses nothing. say starts its stream with the first sound, so on
# PulseAudio the first 20 ms of it go unchecked.
onset=()
[ "$server" = pulse ] && onset=(--onset 20)
# say_heard RENDERING TEXT [OPTION...]: say TEXT is heard as RENDERING.wav.
say_heard() {
  start_recording "$root/heard.raw"
  "$tts" say --audio portaudio "${@:3}" "$2" 2>"$root/say.err"
  status=$?
  stop_recording
  if [ "$status" -ne 0 ]; then echo "FAIL: say exited $status: $(cat "$root/say.err")"; exit 1; fi
  align "${onset[@]}" "$root/$1.wav" "$root/heard.raw" || exit 1
}
# Named, the device is reached through PortAudio; by default, straight on
# the server's own protocol.
say_heard expected "$text" --output-device PULSE
say_heard direct "$direct"

# --- 2. a server that takes the connection but never answers: say gives
# up within 6 seconds (the open waits 5) with status 1 and one error line ---
for p in $server_pids; do kill -STOP "$p"; done
started=$(date +%s%N)
timeout 20 "$tts" say --audio portaudio "Hello." 2>"$root/mute.err"
status=$?
ms=$((($(date +%s%N) - started) / 1000000))
for p in $server_pids; do kill -CONT "$p"; done
echo "frozen before say: status $status after ${ms} ms: $(cat "$root/mute.err")"
[ "$status" -eq 1 ] && [ "$ms" -le 6000 ] && [ "$(wc -l <"$root/mute.err")" -eq 1 ] ||
  { echo "FAIL: expected status 1 within 6 s with one error line"; exit 1; }

# --- 3. the server freezes, then goes away, in the middle: each time status
# 1 within 2 seconds, with one error line ---
long=$(printf 'The quick brown fox jumps over the lazy dog. %.0s' $(seq 12))
for how in STOP KILL; do
  "$tts" say --audio portaudio "$long" 2>"$root/lost.err" &
  say_pid=$!
  sleep 2
  for p in $server_pids; do kill -"$how" "$p"; done
  stopped=$(date +%s%N)
  for _ in $(seq 100); do
    kill -0 "$say_pid" 2>/dev/null || break
    sleep 0.05
  done
  if kill -0 "$say_pid" 2>/dev/null; then
    kill -9 "$say_pid"
    echo "FAIL: say still running 5 s after kill -$how of the sound server"
    exit 1
  fi
  wait "$say_pid"
  status=$?
  ms=$((($(date +%s%N) - stopped) / 1000000))
  echo "kill -$how: say ended ${ms} ms later, status $status: $(cat "$root/lost.err")"
  [ "$status" -eq 1 ] || { echo "FAIL: expected status 1"; exit 1; }
  [ "$ms" -le 2000 ] || { echo "FAIL: took more than 2 s"; exit 1; }
  [ "$(wc -l <"$root/lost.err")" -eq 1 ] || { echo "FAIL: expected one error line"; exit 1; }
  if [ "$how" = STOP ]; then
    # The stall it reports is the one it saw: at most the time since the
    # freeze, and the server's last request for data (every 40 ms, later on
    # a loaded machine) before it.
    stall=$(grep -oE 'for [0-9]+ ms' "$root/lost.err" | grep -oE '[0-9]+')
    [ -n "$stall" ] && [ "$stall" -le $((ms + 200)) ] ||
      { echo "FAIL: the stall reported is not the one seen"; exit 1; }
    for p in $server_pids; do kill -CONT "$p"; done
    sleep 1
  fi
done
server_pids=""
echo "PASS"
