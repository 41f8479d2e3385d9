#!/usr/bin/env bash
# Installs what building and running need, builds the program alone and starts
# it on the demo card. The program runs in a working copy of demo/ (run/),
# where it keeps its settings and the card its changes; the tracked demo files
# stay as they are. The tests are built by scripts/test.sh.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" puolukka
mkdir -p "$root/run"
for f in "$root"/demo/*; do
  [ -e "$root/run/$(basename "$f")" ] || cp -r "$f" "$root/run/"
done
cd "$root/run"
exec "$root/build/puolukka" "$@"
