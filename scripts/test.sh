#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh" --test
"$root/scripts/build.sh" --tests
cd "$root/build"
ctest --output-on-failure -j"$(nproc)"
