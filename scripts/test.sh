#!/usr/bin/env bash
# Installs what is missing, checks the layout of the C++ files, builds, and runs every test: once in the
# normal build, once in a build with the address and undefined-behaviour sanitizers, and the Paradox
# reader's fuzzer for a bounded time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" test
"$root/scripts/check-format.sh"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

"$root/scripts/build.sh" release
echo "== Tests (release build)"
ctest --test-dir "$root/build" --output-on-failure

"$root/scripts/build.sh" sanitize
echo "== Tests (address and undefined-behaviour sanitizers)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions="$root/scripts/lsan.supp":print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$root/build-sanitize" --output-on-failure

bash "$root/scripts/fuzz.sh" "${PELMAROT_FUZZ_SECONDS:-60}"
