#!/usr/bin/env bash
# arith-n.exe and earith-n.exe of two release builds side by side on one bit-byte file (by
# default the pixel-order bits of bench_arith's 4096x4096 photograph): the builds take turns,
# and each program's best CPU time (user + system) of REPS (default 7) runs is given with the
# ratio OTHER / BUILD (above 1: BUILD_DIR is faster). Every decoded file is compared with the
# input.
#
#   bench/coder/programs_speed.sh BUILD_DIR OTHER_BUILD_DIR [BITS_FILE]
#
# ORDER (default 9) is the coder's order.
set -euo pipefail
new=$(cd "$1" && pwd)
old=$(cd "$2" && pwd)
reps=${REPS:-7}
order=${ORDER:-9}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bits=${3:-}
if [[ -z $bits ]]; then
    "$new/bin/bench_arith" --write-photograph "$work/photo.pgm"
    "$new/bin/pgm_to_bits" "$work/photo.pgm" "$work/photo.B" "$work/photo.P"
    bits=$work/photo.B
fi

TIMEFORMAT='%U %S'
cpu() { { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ print $1 + $2 }'; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print a < b ? a : b }'; }
best_enc=(1e9 1e9)
best_dec=(1e9 1e9)
for _ in $(seq "$reps"); do
    side=0
    for b in "$new" "$old"; do
        t=$(cpu "$b/bin/arith-n.exe" "$bits" "$work/c$side" -o "$order")
        best_enc[$side]=$(min "${best_enc[$side]}" "$t")
        t=$(cpu "$b/bin/earith-n.exe" "$work/c$side" "$work/d")
        best_dec[$side]=$(min "${best_dec[$side]}" "$t")
        cmp -s "$bits" "$work/d" || { echo "ROUND TRIP FAILED: $b" >&2; exit 1; }
        side=1
    done
done
cmp -s "$work/c0" "$work/c1" && same="the same bytes" || same="DIFFERENT bytes"
size=$(stat -c %s "$bits")
echo "order $order, $(basename "$bits") ($size bit bytes); both builds write $same ($(stat -c %s "$work/c0") bytes)"
awk -v n="$size" -v e0="${best_enc[0]}" -v e1="${best_enc[1]}" -v d0="${best_dec[0]}" -v d1="${best_dec[1]}" 'BEGIN {
    printf "%-12s %10s %10s %8s %8s %6s\n", "program", "cpu_s", "other_s", "MB/s", "other", "ratio"
    printf "%-12s %10.3f %10.3f %8.1f %8.1f %6.3f\n", "arith-n.exe", e0, e1, n / e0 / 1e6, n / e1 / 1e6, e1 / e0
    printf "%-12s %10.3f %10.3f %8.1f %8.1f %6.3f\n", "earith-n.exe", d0, d1, n / d0 / 1e6, n / d1 / 1e6, d1 / d0
}'
