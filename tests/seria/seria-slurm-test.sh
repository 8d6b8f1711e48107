#!/usr/bin/env bash
# scripts/seria-slurm.sh and seria-slurm-merge.sh as Slurm runs them, without
# Slurm: spooled copies of the scripts, a task per shard, the program found
# only through $SLURM_SUBMIT_DIR/build/bin. The merged CSV must equal, byte
# for byte, one plain run's; a list without images runs nothing (exit 2).
#   seria-slurm-test.sh SCRIPTS_DIR EKSPERYMENTY_SERIA SAMPLES_DIR
set -euo pipefail
scripts=$1 seria=$2 samples=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/repo/build/bin" "$tmp/spool" "$tmp/work"
ln -s "$seria" "$tmp/repo/build/bin/eksperymenty-seria"
for coder in arith-n.exe earith-n.exe; do ln -s "$(dirname "$seria")/$coder" "$tmp/repo/build/bin/$coder"; done
cp "$scripts/seria-slurm.sh" "$scripts/seria-slurm-merge.sh" "$tmp/spool/"
cp "$samples/text.pgm" "$samples/coins.pgm" "$tmp/work/"
cd "$tmp/work"
printf '# obrazy\ntext.pgm\n\ncoins.pgm\n' >obrazy.txt
export SHARDS=2 SLURM_SUBMIT_DIR=$tmp/repo PATH=/usr/bin:/bin
unset EKSPERYMENTY_SERIA
for k in 1 2; do
    SLURM_ARRAY_TASK_ID=$k bash "$tmp/spool/seria-slurm.sh" >/dev/null 2>&1
done
bash "$tmp/spool/seria-slurm-merge.sh" >/dev/null 2>&1
"$seria" --sort --orders 1-9 --bit-orders BP --check -j 1 --out one --csv one.csv text.pgm coins.pgm 2>/dev/null
cmp one.csv seria-wyniki/wyniki.csv
[ -s seria-wyniki/wyniki.txt ]
: >puste.txt
status=0
IMAGES_LIST=puste.txt SLURM_ARRAY_TASK_ID=1 bash "$tmp/spool/seria-slurm.sh" 2>err.txt || status=$?
[ "$status" -eq 2 ] && grep -q "no images in puste.txt" err.txt
