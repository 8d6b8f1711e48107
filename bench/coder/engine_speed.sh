#!/usr/bin/env bash
# The coder engine's speed on the bit sequences of the sample images, per order and bit order:
# the best of REPS (default 7) repetitions of bench_arith's Samples benchmarks, in MB of input
# bit bytes per CPU second. On a virtual machine whose processor is shared, single repetitions
# vary by tens of percent; the best one shows what the code does when it has the processor.
#
#   bench/coder/engine_speed.sh [BUILD_DIR [OTHER_BUILD_DIR]]   (release builds with bin/bench_arith)
#
# With one build, the repetitions are interleaved at random, so that a slow spell does not take
# all of one. With two, the builds take turns, one whole run of the benchmarks each, and each
# row gives both and the ratio BUILD_DIR / OTHER_BUILD_DIR (above 1: the first is faster).
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
other=${2:+$(cd "$2" && pwd)}
reps=${REPS:-7}
rows=$(mktemp)
trap 'rm -f "$rows"' EXIT

# Appends one CSV run of the Samples benchmarks of build $1, each line tagged with $2.
run() {
    "$1/bin/bench_arith" --benchmark_filter=Samples --benchmark_format=csv "${@:3}" 2>/dev/null |
        tail -n +2 | sed "s/^/$2,/" >>"$rows"
}
if [[ -z $other ]]; then
    run "$build" 0 --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true
else
    for _ in $(seq "$reps"); do
        run "$build" 0
        run "$other" 1
    done
fi

awk -F, -v two="${other:+1}" '
    $2 !~ /_(mean|median|stddev|cv)"$/ {
        side = $1; name = $2; gsub(/"/, "", name)
        split(name, part, "/"); sub("order:", "", part[2]); bo = part[3] == "P:1" ? "P" : "B"
        key = part[2] " " bo; rate = $7 / 1e6
        if (part[1] == "BM_EncodeSamples" && rate > enc[side, key]) enc[side, key] = rate
        if (part[1] == "BM_DecodeSamples" && rate > dec[side, key]) dec[side, key] = rate
        keys[key] = 1
    }
    END {
        if (two) printf "%5s %2s %10s %10s %6s %10s %10s %6s\n", "order", "bo", "enc_MB/s", "other", "ratio",
                        "dec_MB/s", "other", "ratio"
        else printf "%5s %2s %10s %10s\n", "order", "bo", "enc_MB/s", "dec_MB/s"
        min_e = min_d = 1e9
        for (o = 1; o <= 9; o++) for (b = 0; b < 2; b++) {
            key = o " " (b ? "P" : "B"); if (!(key in keys)) continue
            e = enc[0, key]; d = dec[0, key]
            if (two) {
                printf "%5d %2s %10.1f %10.1f %6.3f %10.1f %10.1f %6.3f\n", o, b ? "P" : "B", e, enc[1, key],
                    e / enc[1, key], d, dec[1, key], d / dec[1, key]
                le += log(e / enc[1, key]); ld += log(d / dec[1, key]); n++
            } else printf "%5d %2s %10.1f %10.1f\n", o, b ? "P" : "B", e, d
            if (e < min_e) min_e = e
            if (d < min_d) min_d = d
        }
        printf "slowest: encode %.1f MB/s, decode %.1f MB/s\n", min_e, min_d
        if (two) printf "geometric mean of the ratios: encode %.3f, decode %.3f\n", exp(le / n), exp(ld / n)
    }' "$rows"
