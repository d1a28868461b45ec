#!/usr/bin/env bash
# Installs what is missing, builds, and makes the demo register with its alias file under demo/ (once).
# Prints the alias file's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" run >&2
"$root/scripts/build.sh" app >&2
demo="$root/demo"
mkdir -p "$demo"
[ -f "$demo/kapitacija.sqlite" ] || "$root/build/tools/pelmarot-demo-db" "$demo/kapitacija.sqlite" >&2
cat > "$demo/aliases.ini" <<'INI'
; The demo register. Point PELMAROT_ALIASES at a file like this one to use your own database.
[kapitacija]
driver = sqlite
path = kapitacija.sqlite
INI
echo "$demo/aliases.ini"
