#!/usr/bin/env bash
# Joins the CSVs of the shards that seria-slurm.sh wrote into OUTDIR/wyniki.csv
# and OUTDIR/wyniki.txt, exactly what one run of the whole series would have
# written. Submitted to wait for the array (see seria-slurm.sh):
#
#   sbatch --dependency=afterok:$JOBID scripts/seria-slurm-merge.sh
#
# eksperymenty-seria --merge refuses (exit 2) parts of different plans and a
# missing or doubled shard or job. SHARDS and OUTDIR must be those of the array.
#SBATCH --job-name=seria-merge
#SBATCH --ntasks=1
#SBATCH --output=seria-merge-%j.log
set -euo pipefail

SHARDS=${SHARDS:-8}
OUTDIR=${OUTDIR:-seria-wyniki}
# The program as seria-slurm.sh finds it.
SERIA=${EKSPERYMENTY_SERIA:-$(command -v eksperymenty-seria || true)}
SERIA=${SERIA:-${SLURM_SUBMIT_DIR:-.}/build/bin/eksperymenty-seria}
[ -x "$SERIA" ] || { echo "seria-slurm-merge: eksperymenty-seria not found" >&2; exit 2; }

parts=()
for ((k = 1; k <= SHARDS; k++)); do parts+=("$OUTDIR/part-$k.csv"); done
exec "$SERIA" --merge --csv "$OUTDIR/wyniki.csv" --report "$OUTDIR/wyniki.txt" "${parts[@]}"
