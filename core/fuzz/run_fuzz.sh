#!/usr/bin/env bash
# Builds the core fuzz targets with clang (installed with apt-get when missing)
# and runs each of them for a while, seeded with the sample images and small
# containers and decoded streams made here.
#
#   core/fuzz/run_fuzz.sh [SECONDS] [BUILD_DIR]
#
# SECONDS per target (default 120); BUILD_DIR a clang build with -DEKS_FUZZ=ON,
# configured here when needed (default build-fuzz/). Inputs that crash a target
# are kept in BUILD_DIR/fuzz-findings/; the script then ends with status 1.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-120}
build=${2:-$repo/build-fuzz}
targets=(pgm_fuzz container_fuzz reconstruct_fuzz)

source "$repo/scripts/deps.sh"
if command -v clang++ >/dev/null 2>&1; then eks_install_deps; else eks_install_deps clang; fi

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DEKS_FUZZ=ON -DEKS_BUILD_TESTS=OFF -DEKS_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/core_}"
build=$(cd "$build" && pwd)
findings="$build/fuzz-findings"
mkdir -p "$findings"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 0/1 bytes: the lowest bit of each byte read.
bits() { od -An -v -tu1 | tr -s ' ' '\n' | awk 'NF { printf "%c", $1 % 2 }'; }

# PGM files: the heads of the samples, and whole small images.
mkdir -p "$work/seeds_pgm"
for f in "$repo"/samples/*.pgm; do head -c 6000 "$f" >"$work/seeds_pgm/$(basename "$f")"; done
printf 'P5\n# small\n4 3\n255\n' >"$work/seeds_pgm/small.pgm"
head -c 12 /dev/urandom >>"$work/seeds_pgm/small.pgm"
printf 'P5\r\n2 2\r\n255\r\n\r\n\n\r' >"$work/seeds_pgm/crlf.pgm"

# Containers: a header and a payload.
mkdir -p "$work/seeds_container"
printf '\x04\x00\x03\x00\x13payload' >"$work/seeds_container/plane.ybq"
printf '\x25\x00\x17\x00\x03' >"$work/seeds_container/empty.ybq"

# Decoded streams behind a header: 6×5 pixels, both orders, whole and cut short.
mkdir -p "$work/seeds_reconstruct"
head -c 1000 "$repo/samples/camera.pgm" | tail -c 240 | bits >"$work/stream"
for mode in '\x03' '\x13'; do
    name=$([ "$mode" = '\x03' ] && echo pixel || echo plane)
    { printf '\x06\x00\x05\x00'"$mode"; cat "$work/stream"; } >"$work/seeds_reconstruct/$name"
    { printf '\x06\x00\x05\x00'"$mode"; head -c 100 "$work/stream"; } >"$work/seeds_reconstruct/$name.short"
done

status=0
for t in "${targets[@]}"; do
    name=${t%_fuzz}
    echo "== core_$t, $seconds s"
    mkdir -p "$work/corpus_$name"
    rc=0
    (cd "$work" && "$build/bin/core_$t" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$findings/$name-" "corpus_$name" "seeds_$name") >"$work/log" 2>&1 ||
        rc=$?
    grep -E '^(stat::|#[0-9]+ *DONE)|ERROR|broken promise|SUMMARY|artifact' "$work/log" || true
    if [ "$rc" -ne 0 ]; then
        tail -n 40 "$work/log"
        status=1
    fi
done
exit "$status"
