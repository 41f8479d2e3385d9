#!/usr/bin/env bash
# Builds the Debian package build/package/puolukka_<version>_amd64.deb and
# checks it: lintian, then tests/package/package_test.py unpacks it into a
# temporary root, validates the desktop entry and the AppStream metadata and
# starts the installed program from its desktop entry under Xvfb.
#   scripts/package.sh [--no-check]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh" --test
"$root/scripts/build.sh" puolukka rfc2217_server puolukka_data
rm -f "$root"/build/package/puolukka_*.deb
(cd "$root/build" && cpack -G DEB >/dev/null)
deb="$(ls "$root"/build/package/puolukka_*_amd64.deb)"
echo "package: $deb"
[ "${1:-}" = "--no-check" ] && exit 0
lintian --fail-on error,warning "$deb"
/usr/bin/python3 "$root/tests/package/package_test.py" --deb "$deb"
