#!/usr/bin/env bash
# Runs one series of eksperymenty-seria split into shards over several hosts
# with GNU Parallel, then merges the shards' CSVs into what one run would have
# written.
#
#   scripts/seria-parallel.sh [-S HOSTS] [-n SHARDS] [-J SLOTS] [-s] -o OUTDIR \
#       -- [eksperymenty-seria options] IMAGE...
#
#   -S HOSTS   hosts for GNU Parallel's --sshlogin, comma-separated
#              (host1,user@host2,4/host3; ":" is this host); default ":",
#              this host alone
#   -n SHARDS  how many shards to cut the series into; default one per host
#   -J SLOTS   shards run at a time on each host; default 1 (each shard
#              already runs one coder job per core, see eksperymenty-seria -j)
#   -s         all shards write their containers into one shared folder,
#              OUTDIR/kontenery/, instead of one folder each, OUTDIR/shard-K/
#   -o OUTDIR  where everything goes: part-K.csv of each shard, the merged
#              wyniki.csv and wyniki.txt, the containers and parallel's joblog
#
# Every host must see the same files under the same paths (shared storage):
# the program, the images, OUTDIR and the current folder, where each shard
# runs. Shards of one plan may share one --out folder on one host, whose lock
# lets them in together, but locks are unreliable on many network file systems:
# leave -s off there, so that each shard has a folder of its own.
#
# The program is $EKSPERYMENTY_SERIA when set, else eksperymenty-seria from
# PATH, else build/bin/eksperymenty-seria of this repository. The options
# --csv, --report, --out, --shard, --sort and --merge are the script's own.
# Arguments must not hold GNU Parallel's replacement strings ({}, {.}, ...).
#
# Exit status: 0 when every job succeeded, 1 when a job or a host failed,
# 2 for a wrong command line or a merge that was refused.
set -euo pipefail

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; }
fail() { echo "seria-parallel: $*" >&2; exit 2; }

hosts=":" shards="" slots=1 shared=0 outdir=""
while getopts "S:n:J:so:h" opt; do
    case $opt in
        S) hosts=$OPTARG ;;
        n) shards=$OPTARG ;;
        J) slots=$OPTARG ;;
        s) shared=1 ;;
        o) outdir=$OPTARG ;;
        h) usage; exit 0 ;;
        *) usage >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[ -n "$outdir" ] || fail "no -o OUTDIR given"
[ $# -gt 0 ] || fail "no images given"
IFS=, read -r -a host_list <<<"$hosts"
shards=${shards:-${#host_list[@]}}
[[ $shards =~ ^[1-9][0-9]*$ ]] || fail "-n wants a whole number from 1 up, not '$shards'"
[[ $slots =~ ^[1-9][0-9]*$ ]] || fail "-J wants a whole number from 1 up, not '$slots'"
for arg in "$@"; do
    [ "$arg" = -- ] && break
    case $arg in
        --csv | --csv=* | --report | --report=* | --out | --out=* | \
            --shard | --shard=* | --sort | --merge)
            fail "${arg%%=*} is set by this script" ;;
    esac
done

seria=${EKSPERYMENTY_SERIA:-$(command -v eksperymenty-seria || true)}
seria=${seria:-$(dirname "$0")/../build/bin/eksperymenty-seria}
[ -x "$seria" ] || fail "eksperymenty-seria not found (set EKSPERYMENTY_SERIA)"
seria=$(realpath "$seria")
mkdir -p "$outdir"
outdir=$(realpath "$outdir")

parts=()
for ((k = 1; k <= shards; k++)); do parts+=("$outdir/part-$k.csv"); done
rm -f "${parts[@]}" # a part left by an earlier run must not pass for this one's
if [ "$shared" = 1 ]; then out="$outdir/kontenery"; else out="$outdir/shard-{}"; fi

status=0
parallel -q --sshlogin "$hosts" -j "$slots" --wd "$PWD" --tag --line-buffer \
    --joblog "$outdir/joblog" \
    "$seria" --sort --shard "{}/$shards" --csv "$outdir/part-{}.csv" --out "$out" "$@" \
    ::: $(seq 1 "$shards") || status=1

for ((k = 1; k <= shards; k++)); do
    if [ ! -f "$outdir/part-$k.csv" ]; then
        echo "seria-parallel: shard $k/$shards left no CSV (see $outdir/joblog)" >&2
        exit 1
    fi
done
"$seria" --merge --csv "$outdir/wyniki.csv" --report "$outdir/wyniki.txt" "${parts[@]}" ||
    exit $?
exit "$status"
