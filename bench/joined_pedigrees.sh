#!/usr/bin/env bash
# Makes two pedigrees of the largest pedsim design (examples/largest.parpop:
# 592,100 animals in discrete generations) with different seeds, and joins
# them into one file of 1,184,200 animals: the second population's
# identifiers (and its parents') are moved past the first's largest, so the
# two populations share no animal and keep the same generations. With
# --time, pedsim-stats is then timed on one and on the joined file, taken
# alternately, by GNU time and PEDSIM_STAGE_TIMES: CPU seconds (user +
# system) are the figures to compare on a shared machine.
#
# usage: bash bench/joined_pedigrees.sh OUTDIR [--pedsim PEDSIM]
#          [--time PEDSIM-STATS] [--runs N]
# writes OUTDIR/one (seed 12345, the example's), OUTDIR/other (seed 54321)
# and OUTDIR/joined (one, then other renumbered)
set -euo pipefail
# Paths given relative to where the script is called from; the script runs
# from the checkout's root.
called_from="$PWD"
from_caller() { case "$1" in /*) echo "$1" ;; *) echo "$called_from/$1" ;; esac; }
cd "$(dirname "$0")/.."

usage="usage: bash bench/joined_pedigrees.sh OUTDIR [--pedsim PEDSIM] [--time PEDSIM-STATS] [--runs N]"
[ $# -ge 1 ] || { echo "$usage" >&2; exit 2; }
out="$(from_caller "$1")"; shift
pedsim="$PWD/build/pedsim"
stats=""
runs=3
while [ $# -gt 0 ]; do
  case "$1" in
    --pedsim) pedsim="$(from_caller "$2")"; shift 2 ;;
    --time) stats="$(from_caller "$2")"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
mkdir -p "$out"
out="$(cd "$out" && pwd)"

# simulate SEED NAME: the example's design with the seed replaced (the seed
# is the first item of the second line, README "The parameter file")
simulate() {
  local dir
  dir="$(mktemp -d)"
  awk -v seed="$1" 'NR == 2 { sub(/^[ \t]*[0-9-]+/, seed) } { print }' \
    examples/largest.parpop >"$dir/parpop"
  (cd "$dir" && "$pedsim" >/dev/null)
  mv "$dir/pedig" "$out/$2"
  rm -rf "$dir"
}
simulate 12345 one
simulate 54321 other

# The second file's identifiers move past the first's largest; 0 (unknown)
# stays 0, and the generation column is kept.
offset=$(awk '$1 > m { m = $1 } END { print m }' "$out/one")
{
  cat "$out/one"
  awk -v k="$offset" '{
    printf "%7d %7d %7d %6d\n", $1 + k, $2 ? $2 + k : 0, $3 ? $3 + k : 0, $4
  }' "$out/other"
} >"$out/joined.tmp"
mv "$out/joined.tmp" "$out/joined"
printf 'one %d animals, other %d, joined %d (offset %d)\n' \
  "$(wc -l <"$out/one")" "$(wc -l <"$out/other")" "$(wc -l <"$out/joined")" "$offset"

[ -n "$stats" ] || exit 0
# Alternate the two files so that a change in the machine's load falls on
# both; each run's figures and stage times are kept in OUTDIR/time-*.
printf '%-7s %3s %8s %8s %8s %10s\n' file run wall_s user_s sys_s peak_KiB
for run in $(seq 1 "$runs"); do
  for name in one joined; do
    PEDSIM_STAGE_TIMES=1 /usr/bin/time -v -o "$out/time-$name-$run" \
      "$stats" "$out/$name" >"$out/stats-$name-$run" 2>"$out/stages-$name-$run"
    awk -v n="$name" -v r="$run" -F': ' '
      /Elapsed \(wall clock\)/ { w = $2; s = 0; k = split(w, p, ":"); for (i = 1; i <= k; i++) s = s * 60 + p[i] }
      /User time/ { u = $2 } /System time/ { y = $2 } /Maximum resident/ { m = $2 }
      END { printf "%-7s %3d %8.2f %8.2f %8.2f %10d\n", n, r, s, u, y, m }' "$out/time-$name-$run"
  done
done
