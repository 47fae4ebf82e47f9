#!/usr/bin/env bash
# Times pedsim-traits beside pedsim-stats the way a user runs them: a Release
# build, the whole process timed by hyperfine on the same pedigree file, with
# a model of two correlated traits and one record per animal. Two pedigrees:
# the largest pedsim pedigree (examples/largest.parpop, 592,100 animals in
# discrete generations) and a real-shaped herd book of 1,000,000 animals
# (25 birth years of 40,000, sires and dams born 1 to 4 years before, 2% of
# sires and 1% of dams unknown, rows shuffled, random identifiers).
# It reports and never fails on a missed target.
#
# usage: bash bench/traits_bench.sh [--runs N]
set -euo pipefail
cd "$(dirname "$0")/.."

runs=10
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    *) echo "usage: bash bench/traits_bench.sh [--runs N]" >&2; exit 2 ;;
  esac
done
for tool in cmake hyperfine python3; do
  command -v "$tool" >/dev/null || { echo "$tool is needed; on Debian: apt-get install $tool" >&2; exit 1; }
done

build="build-bench"
echo "== Release build in $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPEDSIM_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target pedsim pedsim-stats pedsim-traits >/dev/null
work="$PWD/$build/traits-runs"
rm -rf "$work" && mkdir -p "$work"

cat >"$work/model.toml" <<'MODEL'
seed = 2024
traits = ["weight", "fat"]
mean = [300.0, 5.0]
additive = [[400.0, 20.0], [20.0, 1.0]]
residual = [[500.0, 10.0], [10.0, 2.0]]
records = 1
MODEL

(cd "$work" && cp ../../examples/largest.parpop parpop && "../pedsim" >/dev/null && mv pedig largest.pedig)

python3 - "$work/herd.csv" <<'PYTHON'
import random, sys
random.seed(20240607)
years, births, sires, dams = 25, 40000, 300, 20000
sire, dam, year, male = [], [], [], []
for y in range(years):
    recent = [a for a in range(len(year)) if year[a] >= y - 4]
    males = [a for a in recent if male[a]]
    females = [a for a in recent if not male[a]]
    chosen_sires = random.sample(males, min(sires, len(males)))
    chosen_dams = random.sample(females, min(dams, len(females)))
    for _ in range(births):
        sire.append(-1 if y == 0 or random.random() < 0.02 else random.choice(chosen_sires))
        dam.append(-1 if y == 0 or random.random() < 0.01 else random.choice(chosen_dams))
        year.append(y)
        male.append(random.random() < 0.5)
ids = list(range(len(year)))
random.shuffle(ids)
rows = list(range(len(year)))
random.shuffle(rows)
name = lambda a: "0" if a < 0 else str(10000000 + ids[a])
with open(sys.argv[1], "w") as out:
    out.write("animal,sire,dam,year\n")
    for a in rows:
        out.write(f"{name(a)},{name(sire[a])},{name(dam[a])},{year[a]}\n")
PYTHON

for pedigree in largest.pedig herd.csv; do
  echo
  echo "== $pedigree: $(grep -c . "$work/$pedigree") lines, $runs runs each"
  (cd "$work" && hyperfine --style basic --warmup 1 --runs "$runs" \
    --export-json "$pedigree.json" \
    --command-name "pedsim-stats" "../pedsim-stats $pedigree -o stats.tsv" \
    --command-name "pedsim-traits" "../pedsim-traits --model model.toml $pedigree -o records.tsv --check check.tsv")
  python3 - "$work/$pedigree.json" <<'PYTHON'
import json, sys
results = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
stats, traits = results["pedsim-stats"], results["pedsim-traits"]
verdict = "met" if traits <= stats else "MISSED"
print(f"median: pedsim-stats {stats:.2f} s, pedsim-traits {traits:.2f} s; "
      f"pedsim-traits <= pedsim-stats: {verdict}")
PYTHON
done
echo
echo "Machine: $(nproc) cores, $(lscpu | awk -F: '/Model name/ {gsub(/^ +/, "", $2); print $2; exit}')"
