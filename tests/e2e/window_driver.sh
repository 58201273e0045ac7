# Sourced after sound_server.sh by what drives the window on a real sound
# server: an Xvfb display of its own, and the window started, typed into,
# closed and watched through its log (under $root, with $bin the program
# folder).
#   start_window  tts TEXT  close_window  await_log SECONDS TEXT  fail MESSAGE
for c in Xvfb xdotool; do command -v "$c" >/dev/null || skip "$c is not installed"; done

exec 5>"$root/display"
Xvfb -displayfd 5 -screen 0 1280x800x24 >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$root/display" ] && break; sleep 0.1; done
[ -s "$root/display" ] || skip "Xvfb does not start here"
export DISPLAY=:$(cat "$root/display")
# The window is driven on that display, whatever platform the other tests use.
export QT_QPA_PLATFORM=xcb
window_pid=""
trap 's=$?; kill "$window_pid" "$xvfb_pid" 2>/dev/null; cleanup "$s"' EXIT
export VOCALITH_DEBUG=1  # the window's notices about the sound output, in its log

fail() { echo "FAIL: $*"; exit 1; }

# The id of the first visible window whose name matches PATTERN, waiting
# up to 20 s; empty when none came. xdotool gives up on the X error of a
# window that goes away while it looks (a message box closing), so it is
# asked again.
find_window() { # pattern
  local id="" until=$((SECONDS + 20))
  while [ -z "$id" ] && [ "$SECONDS" -lt "$until" ]; do
    id=$(timeout 20 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$id" ] || sleep 0.1
  done
  echo "$id"
}

# Starts the window; sets $wid.
start_window() {
  "$bin/vocalith" --audio portaudio >"$root/window.log" 2>&1 &
  window_pid=$!
  wid=$(find_window '^Vocalith')
  [ -n "$wid" ] || fail "the window did not open: $(cat "$root/window.log")"
}

# Types TEXT into the English box and presses Enter (TTS, the default
# button). Keys go where the pointer clicked: Qt ignores keys sent to a window.
tts() {
  xdotool mousemove --window "$wid" 300 217 click 1
  xdotool key ctrl+a
  xdotool type --delay 0 "$1"
  xdotool key Return
}

close_window() {
  xdotool mousemove --window "$wid" 300 217 click 1 key Escape
  for _ in $(seq 100); do kill -0 "$window_pid" 2>/dev/null || break; sleep 0.01; done
  kill -0 "$window_pid" 2>/dev/null && fail "the window was still running 1 s after closing"
  window_pid=""
}

# Waits up to SECONDS for the window's log to hold TEXT.
await_log() {
  for _ in $(seq $(($1 * 10))); do grep -q "$2" "$root/window.log" && return 0; sleep 0.1; done
  fail "no '$2' within $1 s: $(tail -3 "$root/window.log")"
}
