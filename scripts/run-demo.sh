#!/usr/bin/env bash
# Installs what is missing, builds, creates the demo register with its alias file under demo/, and starts the
# window on it (under Xvfb when there is no display).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" release

demo="$root/demo"
mkdir -p "$demo"
if [ ! -f "$demo/kapitacija.sqlite" ]; then
    "$root/build/tools/pelmarot-demo-db" "$demo/kapitacija.sqlite"
fi
cat > "$demo/aliases.ini" <<'INI'
; The demo register. Point PELMAROT_ALIASES at a file like this one to use your own database.
[kapitacija]
driver = sqlite
path = kapitacija.sqlite
INI
export PELMAROT_ALIASES="$demo/aliases.ini"
cd "$demo"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$root/build/app/pelmarot"
else
    echo "No display: starting under Xvfb (xvfb-run)."
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$root/build/app/pelmarot"
fi
