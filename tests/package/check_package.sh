#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks what it holds and what it depends on; validates the
# desktop entry and renders the manual pages. Exit 77 (skipped) where dpkg-deb is missing.
set -euo pipefail
build=$1
source=$2
if ! command -v dpkg-deb >/dev/null; then
    echo "SKIPPED: dpkg-deb is not installed, so no Debian package can be built here"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >/dev/null)
deb=$(ls "$work"/pelmarot_*.deb)
echo "package: $(basename "$deb")"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/pelmarot ./usr/bin/pelmarot-export ./usr/bin/pelmarot-copy ./usr/bin/pelmarot-check \
            ./usr/share/applications/pelmarot.desktop ./usr/share/icons/hicolor/scalable/apps/pelmarot.svg \
            ./usr/share/man/man1/pelmarot.1.gz ./usr/share/man/man1/pelmarot-export.1.gz \
            ./usr/share/man/man1/pelmarot-copy.1.gz ./usr/share/man/man1/pelmarot-check.1.gz \
            ./usr/share/man/man5/pelmarot-aliases.5.gz \
            ./usr/share/doc/pelmarot/copyright ./usr/share/doc/pelmarot/changelog.gz \
            ./usr/share/doc/pelmarot/README.md.gz ./usr/share/doc/pelmarot/administration.md.gz \
            ./usr/share/doc/pelmarot/examples/aliases.ini; do
    grep -qx "$path" <<<"$contents" || fail "the package lacks $path"
done
grep -q '^\./etc/' <<<"$contents" && fail "the package installs under /etc, which is the administrator's"

# Debian's own checker, errors and warnings alike; and no hardening tag, two of which (no bind now, no fortified
# functions) are only shown as information.
if command -v lintian >/dev/null; then
    if output=$(lintian --display-info --fail-on error,warning "$deb" 2>&1); then
        echo "lintian: clean of errors and warnings"
    else
        fail "lintian: $output"
    fi
    hardening=$(grep -E '^[EWIPX]: .*hardening' <<<"$output" || true)
    [ -z "$hardening" ] || fail "lintian says the programs lack hardening: $hardening"
else
    fail "lintian is not installed (scripts/install-deps.sh test installs it)"
fi
for tool in pelmarot-demo-db pelmarot-screenshots pelmarot_tests; do
    grep -q "$tool" <<<"$contents" && fail "the package holds the development tool $tool"
done

depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
for package in libqt6widgets6 libqt6gui6 libqt6core6 libsqlite3-0 libstdc++6 qt6-qpa-plugins fonts-liberation2 fonts-dejavu-core; do
    grep -q "\b$package\b" <<<"$depends" || fail "Depends does not name $package"
done

dpkg-deb -x "$deb" "$work/root"

# Debian's hardening flags, as the packaged (stripped) programs show them: position-independent, relocations
# read-only (RELRO) and bound at start (BIND_NOW), a stack protector, and fortified C library calls (a __*_chk
# function besides the stack protector's __stack_chk_fail).
for program in pelmarot pelmarot-export pelmarot-copy pelmarot-check; do
    binary="$work/root/usr/bin/$program"
    before=$failures
    dynamic=$(readelf -dW "$binary")
    grep -Eq '\(FLAGS\) +(.* )?BIND_NOW( |$)' <<<"$dynamic" || fail "$program: no BIND_NOW (-Wl,-z,now)"
    grep -Eq '\(FLAGS_1\) +Flags:.* NOW( |$)' <<<"$dynamic" || fail "$program: FLAGS_1 lacks NOW"
    grep -Eq '\(FLAGS_1\) +Flags:.* PIE( |$)' <<<"$dynamic" || fail "$program: not a position-independent executable"
    segments=$(readelf -lW "$binary")
    grep -q GNU_RELRO <<<"$segments" || fail "$program: no RELRO segment (-Wl,-z,relro)"
    symbols=$(nm -D --undefined-only "$binary" | awk '{print $2}' | sed 's/@.*//')
    grep -qx '__stack_chk_fail' <<<"$symbols" || fail "$program: no stack protector (__stack_chk_fail)"
    fortified=$(grep -E '^__[a-z0-9_]+_chk$' <<<"$symbols" | grep -vx '__stack_chk_fail' | sort -u || true)
    [ -n "$fortified" ] || fail "$program: no fortified function (__*_chk; -D_FORTIFY_SOURCE=2)"
    if [ "$failures" -eq "$before" ]; then
        echo "$program: BIND_NOW, PIE, RELRO, stack protector; fortified:" $fortified
    fi
done

# The installed programs run: --help of the command needs no register.
"$work/root/usr/bin/pelmarot-export" --help | grep -q "Usage: pelmarot-export" || fail "pelmarot-export --help"
"$work/root/usr/bin/pelmarot-check" --help | grep -q "Usage: pelmarot-check" || fail "pelmarot-check --help"

output=$(desktop-file-validate "$source/packaging/pelmarot.desktop" 2>&1) || fail "desktop-file-validate: $output"
[ -z "$output" ] || fail "desktop-file-validate: $output"

for page in pelmarot.1 pelmarot-export.1 pelmarot-copy.1 pelmarot-check.1 pelmarot-aliases.5; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$source/packaging/$page" 2>&1 >/dev/null) || fail "man -l $page"
    [ -z "$warnings" ] || fail "man -l $page warns: $warnings"
done

[ "$failures" -eq 0 ] && echo "package checks passed"
exit "$failures"
