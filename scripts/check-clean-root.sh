#!/usr/bin/env bash
# Installs the Debian package on a minimal Debian 12 root made with debootstrap, the way a clerk's machine gets
# it, and checks it there: apt-get installs it with its declared dependencies, every command answers --help
# and --version, the window starts under Xvfb on a demo register and stays up, and remove and purge leave
# nothing of the package behind. Needs root and the network; takes several minutes, so it is not part of
# .ci/run. Usage: scripts/check-clean-root.sh [FOLDER]   (the root is made in FOLDER, default a new /tmp one)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:-$(mktemp -d /tmp/pelmarot-root.XXXXXX)}
mirror=${PELMAROT_DEBIAN_MIRROR:-http://deb.debian.org/debian}
[ "$(id -u)" -eq 0 ] || { echo "check-clean-root.sh: needs root (debootstrap, chroot)" >&2; exit 2; }
command -v debootstrap >/dev/null || apt-get install -y -qq --no-install-recommends debootstrap >/dev/null

step() { echo "== $*"; }
cleanup() {
    for mount in dev/pts dev proc; do umount "$target/$mount" 2>/dev/null || true; done
}
trap cleanup EXIT
in_root() { chroot "$target" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"; }

step "The package and a demo register from this tree"
"$root/scripts/build.sh" release >/dev/null
packages=$(mktemp -d)
(cd "$packages" && cpack -G DEB --config "$root/build/CPackConfig.cmake" -B "$packages" >/dev/null)
deb=$(ls "$packages"/pelmarot_*.deb)
mkdir -p "$root/demo"
[ -f "$root/demo/kapitacija.sqlite" ] || "$root/build/tools/pelmarot-demo-db" "$root/demo/kapitacija.sqlite" >/dev/null

step "A minimal Debian 12 root in $target"
start=$(date +%s)
[ -x "$target/usr/bin/apt-get" ] || debootstrap --variant=minbase bookworm "$target" "$mirror" >/dev/null
echo "made in $(( $(date +%s) - start )) s, $(du -sh "$target" | cut -f1)"
mount -t proc proc "$target/proc"
mount --bind /dev "$target/dev"
mount --bind /dev/pts "$target/dev/pts"
cp /etc/resolv.conf "$target/etc/resolv.conf"

step "apt-get install ./$(basename "$deb")"
cp "$deb" "$target/tmp/"
in_root apt-get update -qq
before=$(in_root dpkg-query -W -f '${Package}\n' | sort)
in_root apt-get install -y -qq --no-install-recommends "/tmp/$(basename "$deb")" >/dev/null
echo "installed with $(comm -13 <(echo "$before") <(in_root dpkg-query -W -f '${Package}\n' | sort) | wc -l) packages"

step "Every command answers --help and --version"
for command in pelmarot-export pelmarot-copy pelmarot-check; do
    in_root "$command" --version
    in_root "$command" --help | head -1
done
in_root apt-get install -y -qq --no-install-recommends man-db >/dev/null
for page in pelmarot pelmarot-export pelmarot-copy pelmarot-check "5 pelmarot-aliases"; do
    # shellcheck disable=SC2086 # "5 pelmarot-aliases" is a section and a name
    in_root man -w $page >/dev/null
done
echo "every manual page is found"

step "The window starts under Xvfb on the demo register and stays up"
in_root apt-get install -y -qq --no-install-recommends xvfb xauth >/dev/null
mkdir -p "$target/srv/pelmarot"
cp "$root/demo/kapitacija.sqlite" "$target/srv/pelmarot/"
mkdir -p "$target/etc/pelmarot"
cp "$target/usr/share/doc/pelmarot/examples/aliases.ini" "$target/etc/pelmarot/aliases.ini"
in_root pelmarot-check --quiet kapitacija | tail -3 || true
status=0
in_root timeout 10 xvfb-run -a pelmarot >"$target/tmp/window.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || { cat "$target/tmp/window.log"; echo "FAIL: the window ended with $status" >&2; exit 1; }
echo "the window was still up after 10 s"
rm -r "$target/etc/pelmarot"

step "Remove, and purge after a new install, leave nothing of the package"
nothing_left() {
    # The package has no conffiles: once removed, dpkg does not know it any more.
    if in_root dpkg-query -W pelmarot >/dev/null 2>&1; then
        echo "FAIL: after $1 dpkg still knows pelmarot: $(in_root dpkg-query -W -f '${Status}' pelmarot)" >&2
        exit 1
    fi
    left=$(cd "$target" && find usr etc -name '*pelmarot*' 2>/dev/null || true)
    [ -z "$left" ] || { echo "FAIL: after $1 left behind: $left" >&2; exit 1; }
    echo "after $1: nothing left"
}
in_root apt-get remove -y -qq pelmarot >/dev/null
nothing_left "apt-get remove"
in_root apt-get install -y -qq --no-install-recommends "/tmp/$(basename "$deb")" >/dev/null
in_root apt-get purge -y -qq pelmarot >/dev/null
nothing_left "apt-get purge"
echo "clean-root check passed"
