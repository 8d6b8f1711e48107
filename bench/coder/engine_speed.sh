#!/usr/bin/env bash
# The coder engine's speed on the bit sequences of the sample images, per order and bit order:
# the best of REPS (default 7) repetitions of bench_arith's Samples benchmarks, in MB of input
# bit bytes per second. On a virtual machine whose processor is shared, single repetitions
# vary by tens of percent; the best one shows what the code does when it has the processor.
# The repetitions are interleaved at random, so that a slow spell does not take all of one.
#
#   bench/coder/engine_speed.sh [BUILD_DIR]     (a release build with bin/bench_arith)
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
reps=${REPS:-7}
"$build/bin/bench_arith" --benchmark_filter=Samples --benchmark_repetitions="$reps" \
    --benchmark_enable_random_interleaving=true \
    --benchmark_format=csv 2>/dev/null |
    awk -F, '
    NR > 1 && $1 !~ /_(mean|median|stddev|cv)"$/ {
        name = $1; gsub(/"/, "", name)
        split(name, part, "/"); sub("order:", "", part[2]); bo = part[3] == "P:1" ? "P" : "B"
        key = part[2] " " bo; rate = $6 / 1e6
        if (part[1] == "BM_EncodeSamples" && rate > enc[key]) enc[key] = rate
        if (part[1] == "BM_DecodeSamples" && rate > dec[key]) dec[key] = rate
        keys[key] = 1
    }
    END {
        printf "%5s %2s %10s %10s\n", "order", "bo", "enc_MB/s", "dec_MB/s"
        min_e = min_d = 1e9
        for (o = 1; o <= 9; o++) for (b = 0; b < 2; b++) {
            key = o " " (b ? "P" : "B"); if (!(key in keys)) continue
            printf "%5d %2s %10.1f %10.1f\n", o, b ? "P" : "B", enc[key], dec[key]
            if (enc[key] < min_e) min_e = enc[key]
            if (dec[key] < min_d) min_d = dec[key]
        }
        printf "slowest: encode %.1f MB/s, decode %.1f MB/s\n", min_e, min_d
    }'
