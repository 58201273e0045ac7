#!/usr/bin/env bash
# The window and the About box on real X displays of 1024x600, 1280x800 and
# 1920x1080 pixels at scale 1, 1.5 and 2: each opens inside the screen with
# every text whole, in every face the layout is tried in; and the guided
# recorder's take and its Close and Save on one of them. Pictures of each
# screen are kept in the test artefacts (screen_main_* and screen_about_*).
# Skips (exit 77) where Xvfb is not installed.
set -uo pipefail
tests=${1:?usage: screen_sizes_test.sh E2E_WINDOW_TESTS}
skip() { echo "SKIP: $*"; exit 77; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed"

root=$(mktemp -d /tmp/vocalith-screens.XXXXXX)
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$root"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$root/run HOME=$root/home
mkdir -p "$XDG_RUNTIME_DIR" "$HOME" && chmod 700 "$XDG_RUNTIME_DIR"
# The X libraries keep allocations of their own for the life of the process.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

status=0
for size in 1024x600 1280x800 1920x1080; do
  # A display number no other server holds.
  display=47
  while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
  done
  Xvfb ":$display" -screen 0 "${size}x24" -nolisten tcp >"$root/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
  done
  for scale in 1 1.5 2; do
    echo "== $size at scale $scale"
    DISPLAY=":$display" VOCALITH_TEST_QPA=xcb QT_SCALE_FACTOR=$scale \
      VOCALITH_SCREEN_TAG="${size}_x$scale" \
      "$tests" --gtest_filter='WindowTest.TheWindowAndAboutBoxOpenWithinTheScreen' || status=1
  done
  # The recorder's take, Close and Save, once, on a real display.
  if [ "$size" = 1280x800 ]; then
    DISPLAY=":$display" VOCALITH_TEST_QPA=xcb "$tests" \
      --gtest_filter='WindowTest.ARecordedTakeKeepsItsOnsetAndCloseAndSaveLoseNothing' || status=1
  fi
  kill "$xvfb_pid" && wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=""
done
exit $status
