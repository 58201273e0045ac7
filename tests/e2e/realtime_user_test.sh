#!/usr/bin/env bash
# An ordinary user's desktop under load: a user the test creates, with no
# real-time limit of its own, runs `say` on a private PipeWire while two busy
# loops take the processors. Its sound threads get real-time priority from
# RealtimeKit (rtkit-daemon and polkitd on a private system bus, a polkit
# rule allowing it, in a mount namespace of the test's own): its stream
# never runs dry, and a 10 s utterance is heard whole, stretch by stretch,
# but for at most one of the server's glitches, RUNS times (3 by default).
#   realtime_user_test.sh VOCALITH_TTS [RUNS]
# Skips (exit 77) where it cannot run as root, or a part is missing.
tts=${1:?usage: realtime_user_test.sh VOCALITH_TTS [RUNS]}
runs=${2:-3}
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }

text="Speech under load is heard whole when the sound threads run at real-time \
priority. This utterance lasts about ten seconds, long enough for a busy machine \
to hold the output back."

# --- as the created user: the server, the load and the runs ---
if [ "${VOCALITH_RT_STAGE:-}" = user ]; then
  # The graph runs at the cycle say's own stream asks for: the recorder, at
  # its usual 20 ms, would set a shorter one than the desktop would have.
  recorder_latency_ms=100
  . "$here/sound_server.sh"
  start_server pipewire
  "$tts" say --wav "$root/expected.wav" "$text" || { echo "FAIL: say --wav"; exit 1; }
  loops=""
  for _ in 1 2; do (while :; do :; done) & loops="$loops $!"; done
  trap 's=$?; kill $loops 2>/dev/null; cleanup "$s"' EXIT
  failed=0
  for run in $(seq "$runs"); do
    start_recording "$root/heard$run.raw"
    VOCALITH_DEBUG=1 "$tts" say --audio portaudio "$text" 2>"$root/say$run.err"
    status=$?
    stop_recording
    [ "$status" -eq 0 ] || { echo "FAIL: say exited $status: $(cat "$root/say$run.err")"; exit 1; }
    grep -q "the sound output thread runs at real-time priority .* (granted by RealtimeKit)" \
      "$root/say$run.err" ||
      { echo "FAIL: no priority from RealtimeKit: $(grep priority "$root/say$run.err")"; exit 1; }
    # The program's part: its stream never ran dry, so the server always
    # held sound to play. The server's own part: a busy virtual machine may
    # hold it back for a graph cycle while it holds that sound, once a run.
    if grep -q "ran out of sound to play" "$root/say$run.err"; then
      echo "FAIL: the server ran out of sound to play: $(grep -c "ran out" "$root/say$run.err") times"
      failed=1
    fi
    echo "run $run:"
    align --glitches 1 "$root/expected.wav" "$root/heard$run.raw" || failed=1
  done
  [ "$failed" -eq 0 ] || exit 1
  echo "PASS"
  exit 0
fi

[ "$(id -u)" -eq 0 ] || skip "needs root to create a user and start rtkit-daemon"
rtkit=/usr/libexec/rtkit-daemon
polkitd=/usr/lib/polkit-1/polkitd
for c in "$rtkit" "$polkitd"; do [ -x "$c" ] || skip "$c is not installed"; done
for c in dbus-daemon unshare runuser useradd userdel mount; do
  command -v "$c" >/dev/null || skip "$c is not installed"
done

# --- in a mount namespace of our own: the polkit rule is seen by our
# polkitd only ---
if [ "${VOCALITH_RT_STAGE:-}" != namespace ]; then
  VOCALITH_RT_STAGE=namespace exec unshare -m --propagation private bash "$0" "$@"
  skip "no mount namespace here"
fi

user=vocalith-rt
created=""
dir=$(mktemp -d /tmp/vocalith-rt.XXXXXX)
chmod 755 "$dir"
dbus_pid=""
daemons=""
finish() {
  for p in $daemons; do kill "$p" 2>/dev/null; done
  [ -n "$dbus_pid" ] && kill "$dbus_pid" 2>/dev/null
  [ -n "$created" ] && userdel "$user" 2>/dev/null
  rm -rf "$dir"
}
trap finish EXIT

if ! id "$user" >/dev/null 2>&1; then
  useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user" ||
    skip "cannot create the user $user"
  created=1
fi
# An ordinary user: no real-time limit of its own.
[ "$(runuser -u "$user" -- sh -c 'ulimit -r')" = 0 ] ||
  skip "the user $user has a real-time limit here"

mkdir -p "$dir/rules"
cat >"$dir/rules/10-vocalith.rules" <<'RULE'
polkit.addRule(function(action, subject) {
    if (action.id.indexOf("org.freedesktop.RealtimeKit1.") == 0) return polkit.Result.YES;
});
RULE
mkdir -p /etc/polkit-1/rules.d && mount --bind "$dir/rules" /etc/polkit-1/rules.d ||
  skip "cannot mount a polkit rule here"
cat >"$dir/system.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$dir/system_bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
dbus_pid=$(dbus-daemon --config-file="$dir/system.conf" --fork --print-pid=1) ||
  skip "no private system bus here"
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$dir/system_bus
"$polkitd" --no-debug >"$dir/polkitd.log" 2>&1 &
daemons=$!
# rtkit-daemon forbids itself to write files: its log goes through a pipe.
"$rtkit" --stderr --no-canary 2>&1 | cat >"$dir/rtkit.log" &
daemons="$daemons $!"
for _ in $(seq 50); do
  grep -q "Running" "$dir/rtkit.log" 2>/dev/null && break
  sleep 0.1
done

runuser -u "$user" -- env VOCALITH_RT_STAGE=user DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SYSTEM_BUS_ADDRESS" \
  PATH="$PATH" bash "$0" "$@"
status=$?
[ "$status" -eq 0 ] || { echo "rtkit-daemon said:"; cat "$dir/rtkit.log"; }
exit "$status"
