#!/usr/bin/env bash
# Times what the CSV's figures add to a series: eksperymenty-seria on every sample image in
# both bit orders and orders 1 to 9 (108 jobs for the six samples), each run with a CSV,
#
#   bench/seria_figures_bench.sh [BUILD_DIR] [SAMPLES_DIR]
#
# BUILD_DIR (default build) must hold a release build of bin/eksperymenty-seria and
# bin/arith-n.exe. RUNS (default 3) rounds are timed, JOBS (default 2) jobs at a time; each
# round times
#   plain   the series alone;
#   refs    with --references (each image's contexts counted once per bit order, read off
#           its raster, no run of the model; the goal: at most 1.10 times "plain");
#   planes  with --plane-costs (one more run of the coder's model per job);
#   both    with both.
# The rounds alternate their order; the summary takes the fastest round of each, as this is
# meant to run on a shared machine. The CSVs of the last round must agree with "plain" in
# their first twelve columns.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
samples=$(cd "${2:-$repo/samples}" && pwd)
RUNS=${RUNS:-3}
JOBS=${JOBS:-2}
seria="$build/bin/eksperymenty-seria"
for tool in "$seria" "$build/bin/arith-n.exe"; do
    [[ -x $tool ]] || { echo "missing $tool (build the release tree first)" >&2; exit 1; }
done
images=("$samples"/*.pgm)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
now() { echo "$EPOCHREALTIME"; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

kinds=(plain refs planes both)
declare -A flags=([plain]="" [refs]="--references" [planes]="--plane-costs"
                  [both]="--references --plane-costs")
series() {
    rm -rf "$work/out"
    # shellcheck disable=SC2086
    "$seria" -j "$JOBS" ${flags[$1]} --csv "$work/$1.csv" --out "$work/out" "${images[@]}" \
        2>"$work/seria.log" || { cat "$work/seria.log" >&2; exit 1; }
}
time_of() {
    local t0 t1
    t0=$(now); "$@"; t1=$(now)
    elapsed "$t0" "$t1"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "$(( ${#images[@]} * 18 )) jobs: ${#images[@]} images x orders 1-9 x bit orders B, P; -j $JOBS"
printf "%5s %8s %8s %8s %8s %11s %13s %11s\n" round plain refs planes both refs/plain \
    planes/plain both/plain
declare -A best=([plain]=1e9 [refs]=1e9 [planes]=1e9 [both]=1e9)
for round in $(seq "$RUNS"); do
    order=("${kinds[@]}")
    (( round % 2 )) || order=(both planes refs plain)
    declare -A t=()
    for kind in "${order[@]}"; do
        t[$kind]=$(time_of series "$kind")
        best[$kind]=$(awk -v a="${t[$kind]}" -v m="${best[$kind]}" 'BEGIN { print a < m ? a : m }')
    done
    printf "%5s %8s %8s %8s %8s %11s %13s %11s\n" "$round" "${t[plain]}" "${t[refs]}" \
        "${t[planes]}" "${t[both]}" "$(ratio "${t[refs]}" "${t[plain]}")" \
        "$(ratio "${t[planes]}" "${t[plain]}")" "$(ratio "${t[both]}" "${t[plain]}")"
done
printf "%5s %8s %8s %8s %8s %11s %13s %11s\n" best "${best[plain]}" "${best[refs]}" \
    "${best[planes]}" "${best[both]}" "$(ratio "${best[refs]}" "${best[plain]}")" \
    "$(ratio "${best[planes]}" "${best[plain]}")" "$(ratio "${best[both]}" "${best[plain]}")"
for kind in refs planes both; do
    cmp -s <(cut -d, -f1-12 "$work/plain.csv") <(cut -d, -f1-12 "$work/$kind.csv") ||
        { echo "the CSV with the $kind figures differs in its first columns" >&2; exit 1; }
done
