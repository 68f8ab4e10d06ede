#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target for a bounded time.
#
#   fuzz/run.sh [SECONDS_PER_TARGET]        (default 60)
#
# QUORLIX_FUZZ_BUILD_DIR overrides the build folder (default build/fuzz).
# Each target starts from the seeds made at build time and the regression
# inputs under tests/regressions/, and keeps what it finds in
# <build>/fuzz-corpus/<target>. A crash, a leak, a sanitizer report or a
# timeout fails the run; the input that caused it is left in
# <build>/fuzz-artifacts/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${QUORLIX_FUZZ_BUILD_DIR:-$root/build/fuzz}
case $seconds in
  '' | *[!0-9]*) echo "usage: fuzz/run.sh [SECONDS_PER_TARGET]" >&2; exit 2 ;;
esac

cmake -S "$root" --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j 2

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"
failed=()
for target in fuzz_object fuzz_archive fuzz_response; do
  kind=${target#fuzz_}
  corpus=$build/fuzz-corpus/$target
  log=$build/fuzz-$target.log
  mkdir -p "$corpus"
  inputs=("$corpus" "$build/fuzz-seeds/$kind")
  [[ -d $root/tests/regressions/$kind ]] && inputs+=("$root/tests/regressions/$kind")
  options=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1
           -artifact_prefix="$artifacts/$target-")
  [[ $kind != response ]] && options+=(-dict="$root/fuzz/elf.dict")

  echo "== $target: $seconds s"
  status=0
  "$build/$target" "${options[@]}" "${inputs[@]}" >"$log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)' "$log" || true
  if ((status != 0)) ||
     grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|libFuzzer)|runtime error:' "$log"; then
    echo "!! $target failed (exit $status); see $log" >&2
    grep -E 'ERROR:|runtime error:|SUMMARY:|Test unit written' "$log" >&2 || true
    failed+=("$target")
  fi
done

if ((${#failed[@]})); then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing: no faults found"
