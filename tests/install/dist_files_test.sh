#!/usr/bin/env bash
# The desktop entry passes desktop-file-validate; the manual pages render
# without a groff warning and name every option the programs' --help texts
# name; the completion script parses; the icon files have their sizes.
# Skips (exit 77) when a checking tool is missing: scripts/install-deps
# installs them.
# Usage: dist_files_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)

for tool in desktop-file-validate groff; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (run scripts/install-deps)"
    exit 77
  fi
done

failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

desktop-file-validate "$src/dist/vocalith.desktop" || fail "vocalith.desktop is not valid"

# Every long option of a --help text must appear in the page, written as
# groff writes a hyphen ("\-").
check_page() { # page, help command...
  local page=$1; shift
  local warnings
  warnings=$(groff -ww -man -z "$page" 2>&1) || fail "$page: groff failed"
  [ -z "$warnings" ] || fail "$page: $warnings"
  local options
  options=$("$@" | grep -oE -- '--[a-z][a-z-]*' | sort -u)
  for option in $options; do
    grep -qF -- "${option//-/\\-}" "$page" || fail "$page does not mention $option (from $*)"
  done
}
tts=$build/bin/vocalith-tts
check_page "$build/dist/vocalith-tts.1" "$tts" --help
check_page "$build/dist/vocalith-tts.1" "$tts" translate --help
check_page "$build/dist/vocalith-tts.1" "$tts" say --help
if [ -x "$build/bin/vocalith" ]; then
  check_page "$build/dist/vocalith.1" "$build/bin/vocalith" --help
fi
# The environment variables the programs read.
for variable in $(grep -rhoE 'getenv\("[A-Z_]+"\)' "$src/src" | grep -oE '[A-Z_]{2,}' | sort -u); do
  # Not `cat | grep -q`: grep quitting early would fail the pipe with SIGPIPE.
  grep -qF "$variable" "$build/dist/"*.1 || fail "no manual page describes $variable"
done
grep -qF XDG_DATA_HOME "$build/dist/vocalith.1" || fail "vocalith.1 lacks XDG_DATA_HOME"

bash -n "$src/dist/vocalith-tts.bash-completion" || fail "the completion script does not parse"

# A PNG's width and height are the big-endian words at bytes 16 and 20.
icons=$build/tools/generated/icons
if [ -d "$icons" ]; then
  for size in 16 32 48 128 256; do
    png=$icons/${size}x${size}/vocalith.png
    read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
      awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "$w $h" = "$size $size" ] || fail "$png is $w x $h"
  done
fi

[ $failed = 0 ] && echo "desktop entry, manual pages, completion and icons: all checks passed"
exit $failed
