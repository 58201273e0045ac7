#!/usr/bin/env bash
# A staged install (DESTDIR) of the build under /usr, run as an installed
# program with HOME and XDG_DATA_HOME in a temporary folder: the installed
# layout is complete, vocalith-tts speaks with the shared Voxa, a user's voice
# of the same name is taken first, and the shared folder is never written.
# Usage: staged_install_test.sh BUILD_DIR WITH_GUI(0|1)
set -euo pipefail
build=$(cd "$1" && pwd)
with_gui=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/stage
export HOME=$work/home XDG_DATA_HOME=$work/data VOCALITH_AUDIO=null
mkdir -p "$HOME"

fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
usr=$stage/usr

expected=(
  bin/vocalith-tts
  share/vocalith/voices/Voxa.voc
  share/vocalith/sfx/arrow.wav
  share/man/man1/vocalith-tts.1.gz
  share/doc/vocalith/copyright
  share/bash-completion/completions/vocalith-tts
)
if [ "$with_gui" = 1 ]; then
  expected+=(bin/vocalith share/applications/vocalith.desktop share/man/man1/vocalith.1.gz)
  for size in 16 32 48 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/vocalith.png")
  done
fi
for f in "${expected[@]}"; do
  [ -f "$usr/$f" ] || fail "the install lacks /usr/$f"
done
[ ! -e "$usr/voices" ] && [ ! -e "$usr/bin/voices" ] || fail "the flat build layout was installed"

# Everything below /usr/share/vocalith, to see that nothing writes there.
shared_sums() { (cd "$usr/share/vocalith" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
before=$(shared_sums)
tts=$usr/bin/vocalith-tts

"$tts" say --wav "$work/shared.wav" "Hello." || fail "say with the shared Voxa failed"
[ "$(head -c 4 "$work/shared.wav")" = RIFF ] || fail "shared.wav is no WAV file"
# 4961 samples of start delay alone are 9922 bytes; speech makes it longer.
[ "$(stat -c %s "$work/shared.wav")" -gt 20000 ] || fail "shared.wav holds no speech"

# A user's voice named like the shared one (any case) is loaded instead: an
# empty voice sounds no phoneme, so its file holds no samples.
mkdir -p "$XDG_DATA_HOME/vocalith/voices"
head -c 400 /dev/zero >"$XDG_DATA_HOME/vocalith/voices/voxa.voc"
"$tts" say --wav "$work/user.wav" "Hello." || fail "say with the user's voxa failed"
cmp -s "$work/shared.wav" "$work/user.wav" && fail "the user's voxa did not hide the shared Voxa"
"$tts" say --voice VOXA --wav "$work/user2.wav" "Hello." || fail "say --voice VOXA failed"
cmp -s "$work/user.wav" "$work/user2.wav" || fail "--voice VOXA did not take the user's voxa"

# A missing voice names every folder looked at.
if "$tts" say --voice Nobody --wav "$work/none.wav" "Hi." 2>"$work/err"; then
  fail "a missing voice was accepted"
fi
grep -qF "$XDG_DATA_HOME/vocalith/voices/Nobody.voc or $usr/share/vocalith/voices/Nobody.voc" \
  "$work/err" || fail "unexpected error: $(cat "$work/err")"

[ "$before" = "$(shared_sums)" ] || fail "the shared folder was written"
[ -z "$(find "$HOME" -mindepth 1 -print -quit)" ] || fail "HOME was written: $(find "$HOME")"
echo "staged install: all checks passed"
