#!/usr/bin/env bash
# Checks that every C++ file of the repository is laid out as .clang-format says; names those that are not.
# Fix them with: git ls-files '*.cpp' '*.h' | xargs clang-format -i
# The files are laid out by Debian 12's clang-format, major version 14; another major version lays some lines
# out differently and would name files that are right, so the check refuses to run with it. A file that
# clang-format cannot read or format is named with clang-format's own message.
set -euo pipefail
cd "$(dirname "$0")/.."
expected_major=14
install_hint="scripts/install-deps.sh test installs it (Debian 12's package clang-format)"

if ! command -v clang-format >/dev/null; then
    echo "Cannot check the layout: clang-format is not installed; it must be clang-format $expected_major." \
        "$install_hint." >&2
    exit 1
fi
version=$(clang-format --version 2>&1 | head -n 1) || true
major=$(sed -n 's/.*clang-format version \([0-9][0-9]*\)\..*/\1/p' <<<"$version")
if [ "$major" != "$expected_major" ]; then
    echo "Cannot check the layout: $(command -v clang-format) is \"$version\", not clang-format" \
        "$expected_major, which the files are laid out with. $install_hint." >&2
    exit 1
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
bad=()
failed=()
while IFS= read -r file; do
    status=0
    clang-format --style=file "$file" >"$scratch/out" 2>"$scratch/err" || status=$?
    message=$(<"$scratch/err")
    if [ "$status" -ne 0 ]; then
        failed+=("$file: ${message:-clang-format ended with status $status}")
        continue
    fi
    [ -z "$message" ] || echo "$file: $message" >&2 # a warning of clang-format's own
    cmp -s "$scratch/out" "$file" || bad+=("$file")
done < <(git ls-files '*.cpp' '*.h')
if [ ${#failed[@]} -gt 0 ]; then
    echo "clang-format could not check these files:" >&2
    printf '  %s\n' "${failed[@]}" >&2
fi
if [ ${#bad[@]} -gt 0 ]; then
    echo "Not laid out as .clang-format says (run clang-format -i on them):" >&2
    printf '  %s\n' "${bad[@]}" >&2
fi
[ ${#failed[@]} -eq 0 ] && [ ${#bad[@]} -eq 0 ] || exit 1
echo "== Layout: every C++ file as .clang-format says"
