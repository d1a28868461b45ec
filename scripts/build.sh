#!/usr/bin/env bash
# Builds Pelmarot. Usage: scripts/build.sh [release|app|sanitize]
#   release   build/: optimised with debug information (RelWithDebInfo), with the tests and the benchmarks;
#             the Debian package (cpack, which strips it) and the benchmark figures come from this build
#   app       build/: the same, without the tests and the benchmarks (what running the window needs)
#   sanitize  build-sanitize/: a debug build with the address and undefined-behaviour sanitizers
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-release}
case "$kind" in
    release) dir="$root/build"; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMAROT_TESTS=ON -DPELMAROT_BENCH=ON) ;;
    app) dir="$root/build"; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMAROT_TESTS=OFF -DPELMAROT_BENCH=OFF) ;;
    sanitize) dir="$root/build-sanitize"; flags=(-DCMAKE_BUILD_TYPE=Debug -DPELMAROT_SANITIZE=ON) ;;
    *) echo "usage: $0 [release|app|sanitize]" >&2; exit 2 ;;
esac
cmake -S "$root" -B "$dir" -G Ninja "${flags[@]}" >/dev/null
# Progress lines are left out; warnings and errors are shown, and a failed build fails the script.
status=0
ninja -C "$dir" -j "$(nproc)" | grep -v '^\[' || status=${PIPESTATUS[0]}
exit "$status"
