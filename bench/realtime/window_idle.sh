#!/bin/sh
# CPU and memory of the idle window under Xvfb: starts vocalith, waits WARMUP
# seconds (default 2), reads utime+stime from /proc/PID/stat, waits SECONDS
# (default 30), reads again, then reports % of one core and VmRSS/VmHWM from
# /proc/PID/status, and stops the window it started. With SERVER_PIDS set
# (the sound server's processes) their CPU over the same time is reported too.
#   bench/realtime/window_idle.sh BUILD_DIR AUDIO [SECONDS] [WARMUP]
set -eu
bin="$1/bin/vocalith"
audio="$2"
seconds="${3:-30}"
warmup="${4:-2}"
tmp=$(mktemp -d)
xvfb-run -a sh -c 'exec "$1" --audio "$2"' sh "$bin" "$audio" >"$tmp/out" 2>&1 &
runner=$!
trap 'rm -rf "$tmp"' EXIT

# The window's process: the vocalith child under the xvfb-run shell tree.
pid=""
n=0
while [ -z "$pid" ] && [ "$n" -lt 50 ]; do
    sleep 0.1
    n=$((n + 1))
    for p in $(ps -o pid= --ppid "$runner") ; do
        for c in $p $(ps -o pid= --ppid "$p"); do
            if [ "$(cat /proc/$c/comm 2>/dev/null)" = vocalith ]; then pid=$c; fi
        done
    done
done
[ -n "$pid" ] || { echo "no vocalith process found"; cat "$tmp/out"; exit 1; }

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }  # after a comm without blanks
hz=$(getconf CLK_TCK)
sleep "$warmup"
server_ticks() {
    total=0
    for p in ${SERVER_PIDS:-}; do total=$((total + $(ticks "$p"))); done
    echo "$total"
}
t0=$(ticks "$pid"); v0=$(server_ticks); s0=$(date +%s.%N)
sleep "$seconds"
t1=$(ticks "$pid"); v1=$(server_ticks); s1=$(date +%s.%N)
rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
hwm=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status")
threads=$(awk '/^Threads/ {print $2}' "/proc/$pid/status")
kill "$pid"
wait "$runner" 2>/dev/null || true
awk -v t0="$t0" -v t1="$t1" -v s0="$s0" -v s1="$s1" -v hz="$hz" -v rss="$rss" -v hwm="$hwm" \
    -v th="$threads" -v a="$audio" 'BEGIN {
    cpu = (t1 - t0) / hz; wall = s1 - s0;
    printf "idle window audio=%s: cpu %.2fs over %.1fs = %.2f%% of one core; VmRSS %d KiB, VmHWM %d KiB, threads %d\n",
           a, cpu, wall, 100 * cpu / wall, rss, hwm, th }'
if [ -n "${SERVER_PIDS:-}" ]; then
    awk -v v0="$v0" -v v1="$v1" -v s0="$s0" -v s1="$s1" -v hz="$hz" 'BEGIN {
        printf "sound server meanwhile: cpu %.2fs = %.2f%% of one core\n", (v1 - v0) / hz,
               100 * (v1 - v0) / hz / (s1 - s0) }'
fi
