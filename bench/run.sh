#!/usr/bin/env bash
# Times tvk_hex on a ~90 MB Intel HEX file beside `cat in > out` and a
# coreutils pipeline doing the same job, and compares peak memory for a
# 1 KB and the 90 MB input. Prints figures; asserts nothing.
#   bench/run.sh [path/to/tvk_hex]     (needs hyperfine, srec_cat, /usr/bin/time)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tool=$(realpath "${1:-$root/build/default/tvk_hex}")
work="$root/bench/work"
mkdir -p "$work"
cd "$work"

if [ ! -s big.hex ]; then
    # 2 Mi records of 16 bytes (32 MiB of data), CR LF line ends: about 90 MB.
    srec_cat -generate 0 0x2000000 -repeat-string 'TVK-HEX benchmark data.' \
        -o - -intel -output_block_size=16 | sed 's/$/\r/' > big.hex
fi
head -c 1024 big.hex > small.hex
ls -l big.hex small.hex

pipeline='{ printf "AsmPrgm\r\n"; tr -d "\r" < big.hex | cut -c10- | tr -d "\n" | fold -w12 | sed "\$!s/\$/\r/"; } > pipe.out'
hyperfine --warmup 2 --runs 10 --export-csv times.csv \
    -n cat 'cat big.hex > cat.out' \
    -n tvk_hex "setsid -w '$tool' big.hex < /dev/null > /dev/null" \
    -n coreutils "$pipeline"

awk -F, 'NR == 2 { cat = $2 } NR > 1 { printf "%-10s %8.1f ms  %5.2f x cat\n", $1, $2 * 1000, $2 / cat }' times.csv
cmp -s big_83p.hex pipe.out && echo "tvk_hex and the coreutils pipeline give the same listing"

peak() { /usr/bin/time -v setsid -w "$tool" "$1" < /dev/null 2>&1 > /dev/null |
         awk -F': ' '/Maximum resident/ { print $2 }'; }
small=$(peak small.hex)
big=$(peak big.hex)
echo "peak memory: ${small} KiB for 1 KB, ${big} KiB for 90 MB (difference $((big - small)) KiB)"
