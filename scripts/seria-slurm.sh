#!/usr/bin/env bash
# One shard of an eksperymenty-seria series per task of a Slurm job array;
# seria-slurm-merge.sh then joins the shards' CSVs. Submit both from the
# folder the paths below are relative to, the merge waiting for the array:
#
#   jobid=$(sbatch --parsable scripts/seria-slurm.sh)
#   sbatch --dependency=afterok:"${jobid%%;*}" scripts/seria-slurm-merge.sh
#
# afterok merges only when every shard exited 0; with afterany the merge runs
# whatever the shards' statuses were, and refuses (exit 2) when a shard left
# no CSV, while jobs that failed appear in the merged CSV with their error.
#
# The tasks run on whatever nodes Slurm gives them, so the program, the images
# and OUTDIR must lie on storage that every node sees under the same paths.
# Each shard writes its containers into a folder of its own, OUTDIR/shard-K/:
# file locks are unreliable on many cluster file systems, so shards do not
# share one --out folder here.
#
# The settings below may also come from the environment (sbatch --export);
# SHARDS must equal the size of the array (sbatch --array=1-N overrides the
# line below) and be the same for the merge. The program is
# $EKSPERYMENTY_SERIA when set, else eksperymenty-seria from PATH, else
# build/bin/eksperymenty-seria of the repository sbatch was called in
# ($SLURM_SUBMIT_DIR: Slurm runs a spooled copy of this script, whose own
# folder says nothing). Without the program or without images nothing runs
# (exit 2).
#SBATCH --job-name=seria
#SBATCH --array=1-8
#SBATCH --cpus-per-task=4
#SBATCH --output=seria-%A_%a.log
set -euo pipefail

SHARDS=${SHARDS:-8}
IMAGES_LIST=${IMAGES_LIST:-obrazy.txt}  # one image path a line; # comments
OUTDIR=${OUTDIR:-seria-wyniki}
OPTIONS=(--orders 1-9 --bit-orders BP --check -j "${SLURM_CPUS_PER_TASK:-1}")

fail() { echo "seria-slurm: $*" >&2; exit 2; }
SERIA=${EKSPERYMENTY_SERIA:-$(command -v eksperymenty-seria || true)}
SERIA=${SERIA:-${SLURM_SUBMIT_DIR:-.}/build/bin/eksperymenty-seria}
[ -x "$SERIA" ] || fail "eksperymenty-seria not found (set EKSPERYMENTY_SERIA)"

k=${SLURM_ARRAY_TASK_ID:?run this as a Slurm job array (sbatch --array=1-$SHARDS)}
[ -r "$IMAGES_LIST" ] || fail "cannot read the list of images $IMAGES_LIST"
images=()
while IFS= read -r line || [ -n "$line" ]; do
    [[ -z $line || $line == '#'* ]] || images+=("$line")
done <"$IMAGES_LIST"
[ "${#images[@]}" -gt 0 ] || fail "no images in $IMAGES_LIST"

mkdir -p "$OUTDIR"
exec "$SERIA" "${OPTIONS[@]}" --sort --shard "$k/$SHARDS" \
    --csv "$OUTDIR/part-$k.csv" --out "$OUTDIR/shard-$k" -- "${images[@]}"
