#!/usr/bin/env bash
# Fuzzes the parsers of outside input with libFuzzer, AddressSanitizer and UBSan.
#
#   scripts/fuzz.sh [SECONDS] [NAME...]
#
# Builds every fuzz/NAME_fuzzer.cpp (or only the NAMEs given) with clang into
# build-fuzz/ and runs each for SECONDS (default 60), one after the other. The
# seeds in fuzz/corpus/NAME/ are only read; new inputs go to fuzz-work/NAME/corpus/,
# crashes, leaks and hangs to fuzz-work/NAME/crashes/, the log to fuzz-work/NAME/log.
# Ends with a line per target (executions, inputs new to the work corpus, findings) and fails when
# anything was found. How to turn a finding into a regression test: README.md.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
[ $# -gt 0 ] && shift
build="$root/build-fuzz"
work="$root/fuzz-work"

"$root/scripts/setup.sh" --test clang libclang-rt-14-dev

if [ $# -gt 0 ]; then
  names=("$@")
else
  names=()
  for source in "$root"/fuzz/*_fuzzer.cpp; do
    name="$(basename "$source" _fuzzer.cpp)"
    names+=("$name")
  done
fi

# The core is compiled with the same sanitizers, and instrumented for libFuzzer
# (fuzzer-no-link); only the targets link libFuzzer's own main.
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fsanitize=fuzzer-no-link -fno-omit-frame-pointer"
targets=()
for name in "${names[@]}"; do targets+=("${name}_fuzzer"); done
# Two runs side by side (each with its own NAMEs, one per core) take turns at
# building: a build folder is not made for two builds at once.
mkdir -p "$build"
(
  flock 9
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPUOLUKKA_TESTS=ON \
    -DPUOLUKKA_LIBFUZZER=ON -DCMAKE_CXX_FLAGS="$flags" >/dev/null
  cmake --build "$build" -j2 --target "${targets[@]}"
) 9>"$build/.build-lock"

# Targets that go through real files write them only under TMPDIR: a folder in
# memory when there is one (the phonebook save syncs every file it writes).
scratch="$(mktemp -d "$( [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/puolukka-fuzz.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
summary=()
found=0
for name in "${names[@]}"; do
  dir="$work/$name"
  mkdir -p "$dir/corpus" "$dir/crashes" "$scratch/$name"
  dict=()
  [ -f "$root/fuzz/$name.dict" ] && dict=(-dict="$root/fuzz/$name.dict")
  before=$(find "$dir/crashes" -type f | wc -l)
  known=$(find "$dir/corpus" -type f | wc -l)
  echo "== $name: ${seconds} s"
  # New inputs go to the first folder (the work corpus); the seeds are read only.
  set +e
  TMPDIR="$scratch/$name" "$build/${name}_fuzzer" "$dir/corpus" "$root/fuzz/corpus/$name" "${dict[@]}" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$dir/crashes/" >"$dir/log" 2>&1
  status=$?
  set -e
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/log" | grep -o '[0-9]*$' | tail -1)
  rate=$(grep -o 'exec/s: *[0-9]*' "$dir/log" | grep -o '[0-9]*$' | tail -1)
  inputs=$(( $(find "$dir/corpus" -type f | wc -l) - known ))
  after=$(find "$dir/crashes" -type f | wc -l)
  if [ "$status" -ne 0 ] || [ "$after" -gt "$before" ]; then
    found=1
    what=$(grep -m1 -oE 'ERROR: [A-Za-z]+Sanitizer: [a-z-]+|runtime error: .*|property broken: .*|ERROR: libFuzzer: [a-z-]+' \
           "$dir/log" || echo "exit $status")
    summary+=("$name: ${execs:-?} runs (${rate:-?}/s), $inputs new inputs, FOUND: $what (see $dir/log)")
  else
    summary+=("$name: ${execs:-?} runs (${rate:-?}/s), $inputs new inputs, nothing found")
  fi
done
echo
printf '%s\n' "${summary[@]}"
exit "$found"
