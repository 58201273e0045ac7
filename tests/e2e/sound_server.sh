# Sourced by the sound-server tests: a private PulseAudio or PipeWire with a
# null sink "spk" as the speakers and its monitor recorded, in a temporary
# folder of its own. Sets $root; start_server exits 77 when the server cannot
# start here.
#   start_server pulse|pipewire   server_pids (the processes to stop or freeze)
#   start_recording FILE          stop_recording
# Set before sourcing, when wanted:
#   pipewire_min_quantum=FRAMES   PipeWire's graph cycle is no shorter
#   recorder_latency_ms=MS        how often the recorder takes data (20)
#
# PipeWire's graph runs at the shortest cycle its clients ask for: 20 ms
# when the recorder or the window's microphone is open, 60 ms for `say`
# alone (2048 frames, PipeWire's longest). The virtual machine the tests run
# on now and then holds a processor so long that even a thread at the
# highest real-time priority does not run: a thread woken every millisecond
# at priority 99 was late by 20 ms or more 4 times in 2 minutes of an idle
# machine, by 33 ms at most. A cycle shorter than that is then missed, and
# the server plays it as silence: a hole that is not the client's. The tests
# that run beside others set pipewire_min_quantum=2048 (43 ms), which
# outlasts those stalls. The test of an ordinary user's desktop under load
# keeps the cycle its own stream asks for, with the recorder set to ask for
# a longer one; the benchmarks keep the server's own choice.
set -uo pipefail
skip() { echo "SKIP: $*"; exit 77; }
command -v parec >/dev/null && command -v pactl >/dev/null ||
  skip "pulseaudio-utils is not installed"

root=$(mktemp -d /tmp/vocalith-sound.XXXXXX)
server_pids=""
dbus_pid=""
parec_pid=""
cleanup() {
  local status=${1:-$?}
  [ -n "$parec_pid" ] && kill "$parec_pid" 2>/dev/null
  for p in $server_pids; do kill -CONT "$p" 2>/dev/null; kill "$p" 2>/dev/null; done
  for p in $server_pids; do wait "$p" 2>/dev/null; done
  [ -n "$dbus_pid" ] && kill "$dbus_pid" 2>/dev/null
  # A failed run keeps its recordings and logs for a look.
  if [ -n "${KEEP_ROOT:-}" ] || [ "$status" = 1 ]; then
    echo "kept: $root"
  else
    rm -rf "$root"
  fi
}
trap cleanup EXIT

export HOME=$root/home XDG_RUNTIME_DIR=$root/run PULSE_RUNTIME_PATH=$root/run/pulse
mkdir -p "$HOME" "$PULSE_RUNTIME_PATH" && chmod 700 "$XDG_RUNTIME_DIR"
printf 'pcm.!default pulse\nctl.!default pulse\n' >"$HOME/.asoundrc"
unset VOCALITH_AUDIO PULSE_SERVER
# ALSA loads its PulseAudio plugin at run time and unloads it at exit, so the
# allocations the plugin keeps cannot be named by the leak checker (they show
# as an unknown module). Leaks of the program's own code are the business of
# every other test; here the leak check is off.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

wait_for_server() {
  for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

start_server() {
  case "$1" in
  pulse)
    command -v pulseaudio >/dev/null || skip "pulseaudio is not installed"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --system=false \
      -L module-native-protocol-unix -L "module-null-sink sink_name=spk" \
      -L "module-null-sink sink_name=mic" >"$root/server.log" 2>&1 &
    server_pids=$!
    wait_for_server || { cat "$root/server.log"; skip "PulseAudio does not start here"; }
    ;;
  pipewire)
    for c in pipewire wireplumber pipewire-pulse dbus-daemon; do
      command -v "$c" >/dev/null || skip "$c is not installed"
    done
    # WirePlumber needs a session bus.
    local bus
    bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) ||
      skip "no session bus here"
    export DBUS_SESSION_BUS_ADDRESS=$(echo "$bus" | head -1)
    dbus_pid=$(echo "$bus" | tail -1)
    # WirePlumber's Bluetooth part needs logind, which a container or a
    # chroot lacks (WirePlumber then quits and nothing is ever linked); the
    # tests need no Bluetooth, so a private copy of its settings turns it off.
    cp -r /usr/share/wireplumber "$root/wireplumber" &&
      echo 'bluez_monitor.enabled = false' >"$root/wireplumber/bluetooth.lua.d/80-no-bluetooth.lua" ||
      skip "WirePlumber's settings are not where Debian puts them"
    export WIREPLUMBER_CONFIG_DIR=$root/wireplumber
    if [ -n "${pipewire_min_quantum:-}" ]; then
      mkdir -p "$HOME/.config/pipewire/pipewire.conf.d"
      echo "context.properties = { default.clock.min-quantum = $pipewire_min_quantum }" \
        >"$HOME/.config/pipewire/pipewire.conf.d/50-min-quantum.conf"
    fi
    pipewire >"$root/server.log" 2>&1 &
    server_pids=$!
    sleep 0.3
    wireplumber >>"$root/server.log" 2>&1 &
    server_pids="$server_pids $!"
    pipewire-pulse >>"$root/server.log" 2>&1 &
    server_pids="$server_pids $!"
    wait_for_server || { cat "$root/server.log"; skip "PipeWire does not start here"; }
    pactl load-module module-null-sink sink_name=spk >/dev/null &&
      pactl load-module module-null-sink sink_name=mic >/dev/null ||
      skip "PipeWire takes no null sink here"
    ;;
  esac
  # A sink just loaded may not be known yet (PipeWire makes it a moment
  # later, later still on a busy machine): the defaults are tried for 5 s.
  for _ in $(seq 50); do
    pactl set-default-sink spk 2>/dev/null && pactl set-default-source mic.monitor 2>/dev/null &&
      return 0
    sleep 0.1
  done
  cat "$root/server.log"
  echo "FAIL: the $1 server takes no default device: $(pactl set-default-sink spk 2>&1)"
  exit 1
}

# Records what reaches the speakers; returns once data flows (the monitor
# needs about a second before it does).
start_recording() {
  rec=$1
  : >"$rec"
  parec -d spk.monitor --format=s16le --rate=11025 --channels=1 --raw \
    --latency-msec="${recorder_latency_ms:-20}" >"$rec" &
  parec_pid=$!
  for _ in $(seq 100); do
    [ "$(stat -c %s "$rec")" -gt 11025 ] && return 0
    sleep 0.05
  done
}

# Stops it once what was played has had time to come through (SECONDS,
# 1 by default).
stop_recording() {
  sleep "${1:-1}"
  kill "$parec_pid" 2>/dev/null
  wait "$parec_pid" 2>/dev/null
  parec_pid=""
}

# Waits until what reaches the speakers has sounded since this call and then
# held quiet for 0.7 s (longer than any pause inside an utterance), or until
# SECONDS have passed; the recording runs on.
await_quiet() { # seconds
  /usr/bin/python3 - "$rec" "$1" <<'PY'
import array, os, sys, time
path, limit = sys.argv[1], float(sys.argv[2])
rate, quiet = 11025, 0.7
read = os.path.getsize(path) // 2 * 2
last_loud = None  # byte offset of the last loud sample seen
begun = time.monotonic()
while time.monotonic() - begun < limit:
    time.sleep(0.1)
    size = os.path.getsize(path) // 2 * 2
    with open(path, "rb") as f:
        f.seek(read)
        samples = array.array("h", f.read(size - read))
    for i in range(len(samples) - 1, -1, -1):
        if abs(samples[i]) > 64:
            last_loud = read + 2 * i
            break
    read += 2 * len(samples)
    if last_loud is not None and read - last_loud > 2 * quiet * rate:
        sys.exit(0)
PY
}

align() { /usr/bin/python3 "$here/align_heard.py" "$@"; }
