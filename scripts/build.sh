#!/usr/bin/env bash
# Configures and builds into build/.
#   scripts/build.sh                  what is configured (the tests too once they are switched on)
#   scripts/build.sh puolukka         only the named targets (run.sh builds just the program)
#   scripts/build.sh --tests [target] switches the tests on first (needs setup.sh --test)
set -euo pipefail
cd "$(dirname "$0")/.."
config=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--tests" ]; then
  config+=(-DPUOLUKKA_TESTS=ON)
  shift
fi
cmake -S . -B build "${config[@]}" >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build build -j"$(nproc)" "${targets[@]}"
