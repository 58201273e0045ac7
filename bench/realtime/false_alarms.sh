#!/usr/bin/env bash
# The sound-output watch on a busy machine: the window on a private PulseAudio
# or PipeWire with its monitor on (so the output stream runs the whole time)
# and TTS pressed every 15 s, while LOAD busy loops keep the processors busy
# for MINUTES minutes. Counts the window's "Sound output lost" notices, which
# must be none; then freezes the server and reports how long the window takes
# to say the output is lost, which must be within 2 s.
#
#   bench/realtime/false_alarms.sh pulse|pipewire BIN_DIR [MINUTES] [LOAD]
server=${1:?usage: false_alarms.sh pulse|pipewire BIN_DIR [MINUTES] [LOAD]}
bin=${2:?usage: false_alarms.sh pulse|pipewire BIN_DIR [MINUTES] [LOAD]}
minutes=${3:-10}
load=${4:-6}
here=$(cd "$(dirname "$0")/../../tests/e2e" && pwd)
. "$here/sound_server.sh"
. "$here/window_driver.sh"
busy=()
trap 's=$?; kill "$window_pid" "$xvfb_pid" "${busy[@]}" 2>/dev/null; cleanup "$s"' EXIT

start_server "$server"
start_window
xdotool mousemove --window "$wid" 244 179 click 1  # Monitor
for _ in $(seq "$load"); do (while :; do :; done) & busy+=($!); done
echo "$server: $minutes min, $load busy loops, monitor on, TTS every 15 s"
end=$((SECONDS + minutes * 60))
presses=0
while [ "$SECONDS" -lt "$end" ]; do
  tts "The quick brown fox jumps over the lazy dog."
  presses=$((presses + 1))
  sleep 15
done
losses=$(grep -c "Sound output lost" "$root/window.log")
echo "$server: $presses presses, $losses false alarms, load average $(cut -d' ' -f1-3 /proc/loadavg)"
grep "Sound output lost" "$root/window.log"

for p in "${busy[@]}"; do kill "$p"; done
busy=()
for p in $server_pids; do kill -STOP "$p"; done
frozen=$(date +%s%N)
await_log 5 "Sound output lost"
echo "$server: frozen server reported after $((($(date +%s%N) - frozen) / 1000000)) ms"
[ "$losses" -eq 0 ]
