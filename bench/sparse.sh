#!/usr/bin/env bash
# Streams a sparse input of about 4.5 GiB through tvk_hex: records at the
# start, a hole of NUL bytes, and records again past the 4 GiB mark, where
# any 32-bit offset or size would show. Prints the time and peak memory and
# checks the listing against that of the records alone. Asserts nothing else.
#   bench/sparse.sh [path/to/tvk_hex or tvk_hex.exe]   (needs /usr/bin/time;
#   wine for an .exe)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tool=$(realpath "${1:-$root/build/default/tvk_hex}")
run=("$tool")
case "$tool" in *.exe) run=(wine "$tool"); export WINEDEBUG=-all ;; esac
work="$root/bench/work"
mkdir -p "$work"
cd "$work"

record=':10010000214601360121470136007EFE09D2190140'
{ for _ in $(seq 1000); do printf '%s\r\n' "$record"; done; } > head.part
{ printf '\n'; for _ in $(seq 1000); do printf '%s\r\n' "$record"; done; printf ':00000001FF\r\n'; } > tail.part

# The hole is one line of NUL bytes, which copies nothing.
cp head.part sparse.hex
truncate -s $((9 << 29)) sparse.hex
cat tail.part >> sparse.hex
cat head.part tail.part > compact.hex
ls -ls sparse.hex

/usr/bin/time -f '%e s elapsed (%U s user, %S s system: the kernel fills the hole), %M KiB peak memory' setsid -w "${run[@]}" sparse.hex < /dev/null > /dev/null
setsid -w "${run[@]}" compact.hex < /dev/null > /dev/null
if cmp -s sparse_83p.hex compact_83p.hex; then
    echo "listing of $(stat -c %s sparse.hex) bytes of input: $(stat -c %s sparse_83p.hex) bytes, same as the records alone"
else
    echo "listing differs from the records alone"
fi
rm -f sparse.hex sparse_83p.hex compact.hex compact_83p.hex head.part tail.part
