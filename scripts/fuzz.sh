#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) in
# build-fuzz/ and runs each of them for the given number of seconds (default 60), starting from
# its seed corpus and regression files. New inputs go to build-fuzz/corpus-<target>/, crashes to
# build-fuzz/crashes-<target>/. Exits 1 when a target found a crash, a leak or a slow input.
#
#   scripts/fuzz.sh [seconds]            every target
#   FUZZ_TARGETS="wbmp" scripts/fuzz.sh 600
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-fuzz"  # the fuzz preset
# Every target by default: the list that fuzz/CMakeLists.txt builds.
targets="${FUZZ_TARGETS:-$(sed -n 's/^set(VARNOCK_FUZZ_TARGETS \(.*\))$/\1/p' "$root/fuzz/CMakeLists.txt")}"
[ -n "$targets" ] || { echo "no fuzz target found in fuzz/CMakeLists.txt" >&2; exit 1; }

cd "$root"
cmake --preset fuzz >/dev/null
for target in $targets; do
    cmake --build --preset fuzz -j2 --target "fuzz_$target"
done

export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}print_stacktrace=1:halt_on_error=1"

failed=""
for target in $targets; do
    work="$build/corpus-$target"
    crashes="$build/crashes-$target"
    mkdir -p "$work" "$crashes"
    seeds=("$root/fuzz/corpus/$target" "$root/fuzz/regressions/$target")
    echo "== fuzz_$target for ${seconds}s"
    if ! "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 \
        -print_final_stats=1 -artifact_prefix="$crashes/" \
        "$work" "${seeds[@]}" \
        >"$build/fuzz-$target.log" 2>&1; then
        failed="$failed $target"
        tail -n 60 "$build/fuzz-$target.log"
    fi
    grep -E '^(#[0-9]+ *DONE|stat::number_of_executed_units|stat::peak_rss_mb)' \
        "$build/fuzz-$target.log" || true
done

if [ -n "$failed" ]; then
    echo "fuzzing found a fault in:$failed (inputs in $build/crashes-<target>/)"
    exit 1
fi
echo "fuzzing found no fault in: $targets"
