#!/usr/bin/env bash
# Builds tvk_hex if needed (installing its build tools) and runs it:
#   ./tvk_hex.sh examples/prog.hex
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/install-deps.sh" --build >&2
cmake --preset default -S "$root" > /dev/null
cmake --build "$root/build/default" --target tvk_hex -j "$(nproc)" > /dev/null
exec "$root/build/default/tvk_hex" "$@"
