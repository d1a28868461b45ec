#!/usr/bin/env bash
# Builds the libFuzzer target of the Paradox table reader with clang (address and undefined-behaviour
# sanitizers) and runs it for a bounded time: scripts/fuzz.sh [seconds]   (default 60).
# The run starts from the committed seeds (fuzz/corpus) and the inputs that once broke the reader
# (tests/engine/paradox-regressions); what it learns stays in the build folder ($PELMAROT_FUZZ_BUILD, default
# build-fuzz). A crashing or hanging input fails the script and is saved under <build>/findings: fix the
# reader, then keep the input in tests/engine/paradox-regressions/ as <name>.DB.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${PELMAROT_FUZZ_BUILD:-$root/build-fuzz}

CXX=clang++ cmake -S "$root/fuzz" -B "$build" -G Ninja >/dev/null
# The build's own output is shown only when it fails (a pipe through grep would hide its exit status).
if ! ninja -C "$build" -j2 paradox_fuzzer >"$build/build.log" 2>&1; then
    cat "$build/build.log" >&2
    echo "Cannot build the fuzzer" >&2
    exit 1
fi

mkdir -p "$build/corpus" "$build/findings" "$build/tmp"
log="$build/fuzz.log"
echo "== Fuzzing the Paradox reader for ${seconds} s (log: $log)"
if TMPDIR="$build/tmp" "$build/paradox_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=16384 -print_final_stats=1 -artifact_prefix="$build/findings/" \
        "$build/corpus" "$root/fuzz/corpus" "$root/tests/engine/paradox-regressions" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^Done' "$log" || true
else
    tail -n 60 "$log"
    echo "The fuzzer found an input that breaks the reader; see $build/findings" >&2
    exit 1
fi
