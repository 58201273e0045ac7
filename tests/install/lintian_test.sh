#!/usr/bin/env bash
# lintian --pedantic, Debian's own package checker, on the package that
# package_test.sh built: no error (E:) and no warning (W:). The full report
# is printed either way. Skips (exit 77) when lintian is missing.
# Usage: lintian_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2

if ! command -v lintian >/dev/null; then
  echo "SKIP: lintian is missing (run scripts/install-deps)"
  exit 77
fi
deb=$build/package-test/vocalith_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "FAIL: no $deb (install.package builds it)"; exit 1; }

# A failing status without an E: or W: line is lintian itself failing.
status=0
report=$(lintian --pedantic --tag-display-limit 0 --fail-on error,warning "$deb" 2>&1) || status=$?
echo "$report"
if [ "$status" -ne 0 ] || grep -qE '^[EW]: ' <<<"$report"; then
  echo "FAIL: lintian exit status $status, or errors or warnings" >&2
  exit 1
fi
echo "lintian --pedantic: no errors, no warnings"
