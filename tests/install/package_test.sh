#!/usr/bin/env bash
# Builds the Debian package into BUILD_DIR/package-test (where
# lintian_test.sh reads it) and checks what it holds (dpkg-deb -c) and what
# it declares (dpkg-deb -I): the installed layout under /usr with the
# licence and changelog, the speech-dispatcher module where Debian's
# speech-dispatcher loads modules, the dependencies from the programs' shared
# libraries and the recommended sound plugins and speech-dispatcher, section
# sound. Skips (exit 77) when dpkg-deb or dpkg-shlibdeps is missing.
# Usage: package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2

for tool in cpack dpkg-deb dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (run scripts/install-deps)"
    exit 77
  fi
done

work=$build/package-test
rm -rf "$work"
mkdir -p "$work"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
deb=$work/vocalith_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "FAIL: no $deb"; ls "$work"; exit 1; }

failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/vocalith ./usr/bin/vocalith-tts ./usr/share/vocalith/voices/Voxa.voc \
  ./usr/share/vocalith/sfx/arrow.wav ./usr/share/applications/vocalith.desktop \
  ./usr/share/man/man1/vocalith.1.gz ./usr/share/man/man1/vocalith-tts.1.gz \
  ./usr/share/doc/vocalith/copyright ./usr/share/doc/vocalith/changelog.gz \
  ./usr/share/bash-completion/completions/vocalith-tts \
  ./usr/share/icons/hicolor/48x48/apps/vocalith.png \
  ./usr/lib/speech-dispatcher-modules/sd_vocalith; do
  grep -qxF "$f" <<<"$contents" || fail "the package lacks $f"
done
outside=$(grep -vE '^\./(usr/?|usr/(bin|share)(/.*)?|usr/lib/?|usr/lib/speech-dispatcher-modules(/.*)?)?$' \
  <<<"$contents" || true)
[ -z "$outside" ] || fail "files outside /usr/bin, /usr/share and the module folder: $outside"
# Where this machine's speech-dispatcher keeps its modules, if it is installed.
if debian_modules=$(dpkg -L speech-dispatcher 2>/dev/null | grep -m1 '/speech-dispatcher-modules$'); then
  grep -qxF ".$debian_modules/sd_vocalith" <<<"$contents" ||
    fail "speech-dispatcher loads modules from $debian_modules, the package installs elsewhere"
fi

info=$(dpkg-deb -I "$deb")
field() { sed -n "s/^ $1: //p" <<<"$info"; }
[ "$(field Package)" = vocalith ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = sound ] || fail "Section: $(field Section)"
[ "$(field Priority)" = optional ] || fail "Priority: $(field Priority)"
grep -qw libasound2-plugins <<<"$(field Recommends)" || fail "Recommends lacks libasound2-plugins: $(field Recommends)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
names=$(sed 's/, /\n/g' <<<"$depends" | awk '{print $1}')
for lib in libc6 libstdc++6 libasound2 libqt6widgets6 libqt6gui6 libqt6core6 libsoundtouch1 \
  fonts-dejavu-extra; do
  grep -qxF "$lib" <<<"$names" || fail "Depends lacks $lib: $depends"
done

grep -qw speech-dispatcher <<<"$(field Recommends)" ||
  fail "Recommends lacks speech-dispatcher: $(field Recommends)"
grep -qw pocketsphinx-en-us <<<"$(field Recommends)" ||
  fail "Recommends lacks pocketsphinx-en-us: $(field Recommends)"

[ $failed = 0 ] && echo "package $(basename "$deb"): contents and control fields checked"
exit $failed
