#!/usr/bin/env bash
# Installs the Debian 12 packages Pelmarot needs. Quiet and quick when everything is already there; needs root
# (run as root, or as a user with sudo) only when something is missing.
#   install-deps.sh run    building the programs and running the window (under Xvfb when there is no display)
#   install-deps.sh test   that, and everything the tests, the fuzzer and the package check need (default)
# The PostgreSQL server's binaries come without a cluster of their own: the tests start a throwaway server.
set -euo pipefail
purpose=${1:-test}

run_packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libgl-dev libsqlite3-dev libpq-dev libsystemd-dev
    fonts-liberation2 fonts-dejavu-core xvfb xauth
)
test_packages=(
    postgresql-15 libgtest-dev pxlib-dev sqlite3
    clang clang-format libclang-rt-14-dev
    dpkg-dev file desktop-file-utils man-db groff-base lintian locales
    dbus at-spi2-core python3-pyatspi
)
# Locales the tests switch to: an 8-bit Turkish one, where the C library folds "I" to a dotless i.
test_locales=("tr_TR.ISO-8859-9 ISO-8859-9")
case "$purpose" in
    run) packages=("${run_packages[@]}") ;;
    test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
    *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
# `locale -a` spells a locale's code set in lower case without punctuation: tr_TR.iso88599.
missing_locales=()
if [ "$purpose" = test ]; then
    for entry in "${test_locales[@]}"; do
        name=${entry%% *}
        listed=${name%%.*}.$(echo "${name#*.}" | tr -d -- '-_' | tr '[:upper:]' '[:lower:]')
        locale -a 2>/dev/null | grep -qx "$listed" || missing_locales+=("$entry")
    done
fi
[ ${#missing[@]} -eq 0 ] && [ ${#missing_locales[@]} -eq 0 ] && exit 0

# As root the commands run as they stand; as a user through sudo, which a fresh Debian 12 may lack.
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "Missing packages: ${missing[*]:-none}; missing locales: ${missing_locales[*]:-none}." >&2
        echo "Installing them needs root and there is no sudo: run this again as root (su -)." >&2
        exit 1
    fi
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if [[ " ${missing[*]} " == *" postgresql-15 "* ]] && [ ! -e /etc/postgresql-common/createcluster.conf ]; then
        # Debian's server package would otherwise create and start a permanent cluster on this machine.
        "${sudo_cmd[@]}" mkdir -p /etc/postgresql-common
        echo "create_main_cluster = false" | "${sudo_cmd[@]}" tee /etc/postgresql-common/createcluster.conf >/dev/null
    fi
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ ${#missing_locales[@]} -gt 0 ]; then
    echo "Generating the locales: ${missing_locales[*]}"
    for entry in "${missing_locales[@]}"; do
        grep -qxF "$entry" /etc/locale.gen 2>/dev/null || echo "$entry" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    done
    "${sudo_cmd[@]}" locale-gen >/dev/null
fi
