#!/bin/sh
# Start-up time of the window to its first paint, RUNS times (default 10), on
# Xvfb (xvfb-run -a) and on the offscreen platform. Prints per run the figure
# the window reports (VOCALITH_STARTUP_PROBE=1; ms from process start), the
# external wall time of the vocalith process (/usr/bin/time), the CPU it used
# (user + system) and the time from the first paint to the process's end (the
# probe closes the window once painted: wall less first paint), then the
# median and maximum of each.
#   bench/realtime/window_startup.sh BUILD_DIR [AUDIO] [RUNS]
set -eu
bin="$1/bin/vocalith"
audio="${2:-null}"
runs="${3:-10}"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

stats() {  # file of numbers -> "median M max X"
    sort -n "$1" | awk '{v[NR]=$1} END {m = (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2;
                          printf "median %s max %s (n=%d)", m, v[NR], NR}'
}

for platform in xvfb offscreen; do
    : >"$tmp/probe"; : >"$tmp/wall"; : >"$tmp/cpu"; : >"$tmp/exit"
    i=0
    while [ "$i" -lt "$runs" ]; do
        i=$((i + 1))
        if [ "$platform" = xvfb ]; then
            VOCALITH_STARTUP_PROBE=1 xvfb-run -a /usr/bin/time -f "wall %e %U %S" -o "$tmp/t" \
                "$bin" --audio "$audio" 2>"$tmp/err" >/dev/null
        else
            QT_QPA_PLATFORM=offscreen VOCALITH_STARTUP_PROBE=1 /usr/bin/time -f "wall %e %U %S" \
                -o "$tmp/t" "$bin" --audio "$audio" 2>"$tmp/err" >/dev/null
        fi
        probe=$(sed -n 's/^vocalith: first paint after \([0-9-]*\) ms.*/\1/p' "$tmp/err")
        wall=$(awk '/^wall/ {print $2 * 1000}' "$tmp/t")
        cpu=$(awk '/^wall/ {print ($3 + $4) * 1000}' "$tmp/t")
        end=""
        [ -n "$probe" ] && [ -n "$wall" ] && end=$((wall - probe))
        echo "$platform run $i: probe ${probe:-?} ms, wall ${wall:-?} ms, cpu ${cpu:-?} ms, end ${end:-?} ms after paint"
        [ -n "$probe" ] && echo "$probe" >>"$tmp/probe"
        [ -n "$wall" ] && echo "$wall" >>"$tmp/wall"
        [ -n "$cpu" ] && echo "$cpu" >>"$tmp/cpu"
        [ -n "$end" ] && echo "$end" >>"$tmp/exit"
    done
    echo "$platform audio=$audio: first paint $(stats "$tmp/probe") ms; wall $(stats "$tmp/wall") ms"
    echo "$platform audio=$audio: cpu $(stats "$tmp/cpu") ms; end after paint $(stats "$tmp/exit") ms"
done
