#!/usr/bin/env bash
# Builds Pelmarot. Usage: scripts/build.sh [release|sanitize]   (release: build/, sanitize: build-sanitize/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-release}
case "$kind" in
    release) dir="$root/build"; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    sanitize) dir="$root/build-sanitize"; flags=(-DCMAKE_BUILD_TYPE=Debug -DPELMAROT_SANITIZE=ON) ;;
    *) echo "usage: $0 [release|sanitize]" >&2; exit 2 ;;
esac
cmake -S "$root" -B "$dir" -G Ninja "${flags[@]}" >/dev/null
# Progress lines are left out; warnings and errors are shown, and a failed build fails the script.
status=0
ninja -C "$dir" -j "$(nproc)" | grep -v '^\[' || status=${PIPESTATUS[0]}
exit "$status"
