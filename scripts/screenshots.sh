#!/usr/bin/env bash
# Takes the README's screenshots of the real window under Xvfb, on the demo register, into docs/screenshots/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
PELMAROT_ALIASES=$("$root/scripts/demo-register.sh") LC_ALL=mk_MK.UTF-8 \
    xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/tools/pelmarot-screenshots" "$root/docs/screenshots"
echo "Screenshots written to docs/screenshots/."
