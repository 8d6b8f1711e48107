#!/usr/bin/env bash
# Compares arith-n.exe / earith-n.exe with the stationary ideal (kt), xz -9e and zstd -19 on
# the bit sequences of sample images, in both bit orders, for orders 1 to 9.
#
#   bench/coder/coder_bench.sh [BUILD_DIR] [SAMPLES_DIR]
#
# BUILD_DIR (default build-arith-rel) must hold bin/arith-n.exe, bin/earith-n.exe and
# bin/pgm_to_bits (a release build). The kt column comes from the bitseq-ideal tool, built
# from $BITSEQ_IDEAL_SRC (default ../shared/tools/bitseq-ideal.c beside the repository); it is
# left empty when that source is not there. ORDERS (default "1 2 3 4 5 6 7 8 9") picks orders.
#
# Speeds are megabytes of input bit bytes per second, from the wall time of the fastest of
# RUNS (default 3) runs of each program, process start included; "xz" is one run of xz -9e
# compressing the same file in the same session. Starting a process costs several
# milliseconds on some machines (about 5 ms on the virtual machine this was written on), as
# much as coding a sample takes; the summary also gives the speeds without the start, taken
# as the fastest run of each program on an empty file. bench_arith measures the engine alone.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$repo/build-arith-rel}" && pwd)
samples=${2:-$repo/samples}
orders=${ORDERS:-"1 2 3 4 5 6 7 8 9"}
RUNS=${RUNS:-3}
arith="$build/bin/arith-n.exe"
earith="$build/bin/earith-n.exe"
to_bits="$build/bin/pgm_to_bits"
ideal_src=${BITSEQ_IDEAL_SRC:-$repo/../shared/tools/bitseq-ideal.c}
for tool in "$arith" "$earith" "$to_bits"; do
    [[ -x $tool ]] || { echo "missing $tool (build the release tree first)" >&2; exit 1; }
done
command -v xz >/dev/null && command -v zstd >/dev/null || { echo "needs xz and zstd" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ideal=""
if [[ -f $ideal_src ]]; then
    cc -O2 -o "$work/bitseq-ideal" "$ideal_src" -lm && ideal="$work/bitseq-ideal"
fi

now() { echo "$EPOCHREALTIME"; }
mbps() { awk -v n="$1" -v t="$2" 'BEGIN { printf "%.1f", n / t / 1e6 }'; }

# The start of each program: the fastest of 10 runs on an empty file.
: >"$work/empty"
"$arith" "$work/empty" "$work/empty.c"
start_enc=1e9
start_dec=1e9
for _ in $(seq 10); do
    t0=$(now); "$arith" "$work/empty" "$work/empty.c"; t1=$(now)
    "$earith" "$work/empty.c" "$work/empty.d"; t2=$(now)
    start_enc=$(awk -v a="$t0" -v b="$t1" -v m="$start_enc" 'BEGIN { t = b - a; print t < m ? t : m }')
    start_dec=$(awk -v a="$t1" -v b="$t2" -v m="$start_dec" 'BEGIN { t = b - a; print t < m ? t : m }')
done

printf "%-10s %2s %5s %9s %9s %9s %7s %9s %9s %8s %8s %7s %6s\n" \
    sample bo order input ours kt ours/kt xz-9e zstd-19 enc_MB/s dec_MB/s xz_MB/s enc/xz
rows="$work/rows"
: >"$rows"
for pgm in "$samples"/*.pgm; do
    name=$(basename "$pgm" .pgm)
    "$to_bits" "$pgm" "$work/$name.B" "$work/$name.P"
    for bo in B P; do
        f="$work/$name.$bo"
        size=$(stat -c %s "$f")
        t0=$(now); xz -9e -c "$f" >"$work/x.xz"; t1=$(now)
        xz_size=$(stat -c %s "$work/x.xz")
        xz_time=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
        zstd_size=$(zstd -19 -q -c "$f" | wc -c)
        kt_line=""
        [[ -n $ideal ]] && kt_line=$("$ideal" "$f" | tail -n +2)
        for order in $orders; do
            enc_t=1e9
            dec_t=1e9
            for _ in $(seq "$RUNS"); do
                t0=$(now); "$arith" "$f" "$work/c" -o "$order"; t1=$(now)
                "$earith" "$work/c" "$work/d" -o "$order"; t2=$(now)
                cmp -s "$f" "$work/d" || { echo "ROUND TRIP FAILED: $name $bo $order" >&2; exit 1; }
                enc_t=$(awk -v a="$t0" -v b="$t1" -v m="$enc_t" 'BEGIN { t = b - a; print t < m ? t : m }')
                dec_t=$(awk -v a="$t1" -v b="$t2" -v m="$dec_t" 'BEGIN { t = b - a; print t < m ? t : m }')
            done
            ours=$(stat -c %s "$work/c")
            kt=$(awk -v o="$order" '$1 == o { print $2 }' <<<"$kt_line")
            ratio=$([[ -n $kt ]] && awk -v a="$ours" -v b="$kt" 'BEGIN { printf "%.4f", a / b }' || echo -)
            speedup=$(awk -v a="$xz_time" -v b="$enc_t" 'BEGIN { printf "%.0f", a / b }')
            printf "%-10s %2s %5s %9s %9s %9s %7s %9s %9s %8s %8s %7s %6s\n" "$name" "$bo" "$order" \
                "$size" "$ours" "${kt:--}" "$ratio" "$xz_size" "$zstd_size" "$(mbps "$size" "$enc_t")" \
                "$(mbps "$size" "$dec_t")" "$(mbps "$size" "$xz_time")" "$speedup"
            echo "$name $bo $order $size $ours ${kt:-0} $xz_size $zstd_size $enc_t $dec_t $xz_time" >>"$rows"
        done
    done
done

echo
echo "Summary"
awk '
BEGIN { worst = -1e18 }
{ key = $2 " " $3; ours[key] += $5; kt[key] += $6; xz[key] += $7; zs[key] += $8; n[key]++
  if ($6 > 0) { allow = $6 * 1.005 + 64; over = $5 - allow; if (over > worst) { worst = over; wname = $1 " " $2 " order " $3 }
                if ($5 > allow) bad++ }
  if (min_enc == "" || $4 / $9 / 1e6 < min_enc) min_enc = $4 / $9 / 1e6
  if (min_dec == "" || $4 / $10 / 1e6 < min_dec) min_dec = $4 / $10 / 1e6
  tot_in += $4; tot_enc += $9; tot_dec += $10; xz_t[$1 " " $2] = $11; xz_in[$1 " " $2] = $4 }
END {
  split("B P", bos, " ")
  for (i = 1; i <= 2; i++) for (o = 1; o <= 15; o++) { key = bos[i] " " o; if (!(key in n)) continue
      printf "  bit order %s, order %2d: ours %9d  kt %9d (%+.2f%%)  xz -9e %9d (%+.2f%%)  zstd -19 %9d\n",
          bos[i], o, ours[key], kt[key], kt[key] ? 100 * (ours[key] - kt[key]) / kt[key] : 0,
          xz[key], 100 * (ours[key] - xz[key]) / xz[key], zs[key] }
  printf "  files above kt + 0.5%% + 64 bytes: %d", bad + 0
  if (wname != "") printf " (closest: %s, %+d bytes against the allowance)", wname, worst
  printf "\n"
  for (k in xz_t) { xin += xz_in[k]; xtime += xz_t[k] }
  printf "  speed over all runs: encode %.1f MB/s, decode %.1f MB/s (slowest file: %.1f / %.1f); xz -9e %.2f MB/s\n",
      tot_in / tot_enc / 1e6, tot_in / tot_dec / 1e6, min_enc, min_dec, xin / xtime / 1e6
}' "$rows"
awk -v se="$start_enc" -v sd="$start_dec" '
{ tot_in += $4; tot_enc += $9 - se; tot_dec += $10 - sd }
END {
  printf "  without the start of the programs (%.1f ms to encode, %.1f ms to decode an empty file): encode %.1f MB/s, decode %.1f MB/s\n",
      1000 * se, 1000 * sd, tot_in / tot_enc / 1e6, tot_in / tot_dec / 1e6
}' "$rows"
