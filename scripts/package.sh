#!/usr/bin/env bash
# Builds the .deb and the Windows .zip, checks the .deb with lintian, and
# runs the packaged tvk_hex on the bundled example. In CI, as root, the .deb
# is installed on the machine; elsewhere it is unpacked into a scratch
# directory. Needs the windows build configured (test.sh does it first).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

cmake --preset deb > /dev/null
cmake --build --preset deb -j "$(nproc)"
cpack --preset deb
cmake --build --preset windows -j "$(nproc)"
cpack --preset windows
deb=$(ls build/deb/tvk-hex_*.deb)
zip=$(ls build/windows/tvk_hex-*-win32.zip)

lintian --fail-on error,warning "$deb"
echo "lintian: $deb: no errors or warnings"
unzip -l "$zip"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ]; then
    dpkg -i "$deb"
    tool=/usr/bin/tvk_hex
    man_page=/usr/share/man/man1/tvk_hex.1.gz
else
    dpkg-deb -x "$deb" "$scratch/root"
    tool=$scratch/root/usr/bin/tvk_hex
    man_page=$scratch/root/usr/share/man/man1/tvk_hex.1.gz
fi
gzip -dc "$man_page" | grep -q '^\.Os tvk_hex [0-9]' || { echo "manual page without version" >&2; exit 1; }
cp examples/prog.hex "$scratch/"
(cd "$scratch" && setsid -w "$tool" prog.hex < /dev/null > transcript)
cmp "$scratch/prog_83p.hex" examples/expected/prog_83p.hex
echo "package: $tool converts examples/prog.hex to the expected listing"
