#!/usr/bin/env bash
# The guided recorder on a real X display: a take from a WAV microphone
# keeps its onset, and Close and Save lose nothing (the window test of that
# name, run on Xvfb instead of the offscreen platform). Skips (exit 77)
# where Xvfb is not installed.
set -uo pipefail
tests=${1:?usage: recorder_xvfb_test.sh E2E_WINDOW_TESTS}
skip() { echo "SKIP: $*"; exit 77; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed"

root=$(mktemp -d /tmp/vocalith-recorder.XXXXXX)
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$root"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$root/run HOME=$root/home
mkdir -p "$XDG_RUNTIME_DIR" "$HOME" && chmod 700 "$XDG_RUNTIME_DIR"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

display=57
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
  display=$((display + 1))
done
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >"$root/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.1
done
[ -e "/tmp/.X11-unix/X$display" ] || skip "Xvfb does not start here"
DISPLAY=":$display" VOCALITH_TEST_QPA=xcb \
  "$tests" --gtest_filter='WindowTest.ARecordedTakeKeepsItsOnsetAndCloseAndSaveLoseNothing'
