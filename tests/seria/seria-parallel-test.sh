#!/usr/bin/env bash
# scripts/seria-parallel.sh on this host alone: two images in a folder whose
# name has a space, two shards; the merged CSV must equal, byte for byte, the
# CSV of one plain run of the same series, and the report must be written.
# Exits 77 (skipped) without GNU Parallel.
#   seria-parallel-test.sh SCRIPT EKSPERYMENTY_SERIA SAMPLES_DIR
set -euo pipefail
command -v parallel >/dev/null || { echo "GNU Parallel is not installed"; exit 77; }
script=$1 seria=$2 samples=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/two images"
cp "$samples/text.pgm" "$samples/coins.pgm" "$tmp/two images/"
cd "$tmp"
images=("two images/text.pgm" "two images/coins.pgm")

EKSPERYMENTY_SERIA=$seria "$script" -n 2 -o "$tmp/out dir" -- --orders 1-2 -j 1 "${images[@]}"
"$seria" --sort --orders 1-2 -j 1 --out "$tmp/one run" --csv "$tmp/one.csv" "${images[@]}"
[ "$(wc -l <"$tmp/one.csv")" -eq 9 ] # header and 2 images x 2 bit orders x 2 orders
cmp "$tmp/one.csv" "$tmp/out dir/wyniki.csv"
[ -s "$tmp/out dir/wyniki.txt" ]
