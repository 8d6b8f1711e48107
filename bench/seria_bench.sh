#!/usr/bin/env bash
# Times eksperymenty-seria against the bare coder programs doing the same work, in one run:
# every sample image in both bit orders and orders 1 to 9 (108 jobs for the six samples),
# each container encoded by arith-n.exe and decoded again by earith-n.exe.
#
#   bench/seria_bench.sh [BUILD_DIR] [SAMPLES_DIR]
#
# BUILD_DIR (default build) must hold a release build of bin/eksperymenty-seria,
# bin/arith-n.exe and bin/earith-n.exe. RUNS (default 3) rounds are timed; each round times
#   bare    the programs started one after another from this shell on the bit sequences,
#           "arith-n.exe BITS C -o N" then "earith-n.exe C D -o N" for every job;
#   seria2  eksperymenty-seria --check -j 2 on the same images and orders (the goal: at
#           most 1.5 times "bare");
#   seria1  the same with -j 1, the cost of the job layer itself.
# The rounds alternate which of them goes first; the summary takes the fastest round of each,
# as this is meant to run on a shared machine. The bit sequences come from decoding the
# containers of an untimed first series.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
samples=$(cd "${2:-$repo/samples}" && pwd)
RUNS=${RUNS:-3}
seria="$build/bin/eksperymenty-seria"
arith="$build/bin/arith-n.exe"
earith="$build/bin/earith-n.exe"
for tool in "$seria" "$arith" "$earith"; do
    [[ -x $tool ]] || { echo "missing $tool (build the release tree first)" >&2; exit 1; }
done
images=("$samples"/*.pgm)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
now() { echo "$EPOCHREALTIME"; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

# The bit sequence of each image in each bit order, decoded from an order-1 container.
"$seria" --check --orders 1 --out "$work/prep" "${images[@]}" 2>/dev/null
mkdir -p "$work/bits" "$work/bare"
for pgm in "${images[@]}"; do
    name=$(basename "$pgm" .pgm)
    for bo in B P; do
        tail -c +6 "$work/prep/${name%%.*}_${bo}1.ybq" >"$work/payload"
        "$earith" "$work/payload" "$work/bits/$name.$bo" -o 1
    done
done

bare() {
    local name bo order
    cd "$work/bare"
    for pgm in "${images[@]}"; do
        name=$(basename "$pgm" .pgm)
        for bo in B P; do
            for order in 1 2 3 4 5 6 7 8 9; do
                "$arith" "$work/bits/$name.$bo" c -o "$order"
                "$earith" c d -o "$order"
            done
        done
    done
    cd - >/dev/null
}
series() {
    rm -rf "$work/out"
    "$seria" --check -j "$1" --out "$work/out" "${images[@]}" 2>"$work/seria.log" ||
        { cat "$work/seria.log" >&2; exit 1; }
}
time_of() {
    local t0 t1
    t0=$(now); "$@"; t1=$(now)
    elapsed "$t0" "$t1"
}

jobs=$(( ${#images[@]} * 18 ))
echo "$jobs jobs: ${#images[@]} images x orders 1-9 x bit orders B, P; encode and decode each"
printf "%5s %8s %8s %8s %13s %13s\n" round bare seria2 seria1 seria2/bare seria1/bare
best_bare=1e9 best_s2=1e9 best_s1=1e9
for round in $(seq "$RUNS"); do
    if (( round % 2 )); then
        t_bare=$(time_of bare); t_s2=$(time_of series 2); t_s1=$(time_of series 1)
    else
        t_s1=$(time_of series 1); t_s2=$(time_of series 2); t_bare=$(time_of bare)
    fi
    printf "%5s %8s %8s %8s %13s %13s\n" "$round" "$t_bare" "$t_s2" "$t_s1" \
        "$(awk -v a="$t_s2" -v b="$t_bare" 'BEGIN { printf "%.2f", a / b }')" \
        "$(awk -v a="$t_s1" -v b="$t_bare" 'BEGIN { printf "%.2f", a / b }')"
    best_bare=$(awk -v a="$t_bare" -v m="$best_bare" 'BEGIN { print a < m ? a : m }')
    best_s2=$(awk -v a="$t_s2" -v m="$best_s2" 'BEGIN { print a < m ? a : m }')
    best_s1=$(awk -v a="$t_s1" -v m="$best_s1" 'BEGIN { print a < m ? a : m }')
done
printf "%5s %8s %8s %8s %13s %13s\n" best "$best_bare" "$best_s2" "$best_s1" \
    "$(awk -v a="$best_s2" -v b="$best_bare" 'BEGIN { printf "%.2f", a / b }')" \
    "$(awk -v a="$best_s1" -v b="$best_bare" 'BEGIN { printf "%.2f", a / b }')"
# The containers of the last series against the bare programs' last output.
cmp -s "$work/bare/c" <(tail -c +6 "$work/out/$(basename "${images[-1]}" .pgm)_P9.ybq") ||
    { echo "the series' last container differs from the bare coder's output" >&2; exit 1; }
