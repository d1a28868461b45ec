#!/usr/bin/env bash
# Installs what is missing, builds, creates the demo register with its alias file under demo/, and starts the
# window on it (under Xvfb when there is no display).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export PELMAROT_ALIASES=$("$root/scripts/demo-register.sh")
cd "$root/demo"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$root/build/app/pelmarot"
else
    echo "No display: starting under Xvfb (xvfb-run)."
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$root/build/app/pelmarot"
fi
