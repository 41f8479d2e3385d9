#!/usr/bin/env bash
# Builds the core and every test with AddressSanitizer and UBSan into
# build-sanitize/ and runs them: the unit tests (the Qt window tests too, on the
# offscreen platform) and every fuzz target over its seeds. A leak, an invalid
# memory access or undefined behaviour fails the test that met it.
# The end-to-end test stays in the ordinary run (scripts/test.sh): under the
# sanitizers the program starts too slowly for its window time-outs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-sanitize"
"$root/scripts/setup.sh" --test
flags="-O1 -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DPUOLUKKA_TESTS=ON -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_CXX_FLAGS_DEBUG="-g1" >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --output-on-failure -j"$(nproc)" -E '^e2e$'
