#!/usr/bin/env bash
# Runs the decoder fuzz target for a while, seeded with valid streams of both coding paths.
#
#   coder/arith/fuzz/run_fuzz.sh FUZZ_BUILD_DIR RELEASE_BUILD_DIR [SECONDS]
#
# FUZZ_BUILD_DIR is a clang build configured with -DEKS_FUZZ=ON (bin/arith_decode_fuzz);
# RELEASE_BUILD_DIR holds bin/arith-n.exe, which makes the seeds from the sample images.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../../.." && pwd)
fuzzer="$(cd "$1" && pwd)/bin/arith_decode_fuzz"
arith="$(cd "$2" && pwd)/bin/arith-n.exe"
seconds=${3:-300}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
pgm="$repo/samples/camera.pgm"
head -c 300 "$pgm" | tail -c 200 >"$work/bytes"                    # general path
head -c 3000 "$pgm" | tail -c 250 | od -An -v -tu1 | tr -s ' ' '\n' |
    awk 'NF { printf "%c", $1 % 2 }' >"$work/bits"  # bits path: the lowest bit plane
: >"$work/empty"
for order in 0 1 3 9 15; do
    for f in bytes bits empty; do "$arith" "$work/$f" "$work/corpus/$f.$order" -o "$order"; done
done
cd "$work"
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -print_final_stats=1 corpus
