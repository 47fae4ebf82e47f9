#!/usr/bin/env bash
# Times pedsim-stats on the pedigree shapes that once took hours or outgrew
# memory, the whole process measured by GNU time: wall seconds and peak
# resident memory, beside the targets (wall seconds, peak MiB).
#   chain          1,000,000 deep: animal i's sire is animal i - 1, dam unknown
#   chain-founders 100,000 deep, each dam a founder of its own
#   family-limit   20 generations of 8,192 full-sib families of two, each
#                  family's son mated with a random other family's daughter
#   real-shaped    10,000,000 animals from bench/herd_book_pedigree.py
#   herd-book      10,000,000 animals from bench/herd_book_generator (built
#                  beside PEDSIM-STATS): 31 birth years, 300 sires a year
#   herd-book-deep the same with --deep: 60 birth years, 2,000 sires a year
# Each run also prints the time of each stage (PEDSIM_STAGE_TIMES): wall and
# CPU seconds of reading, inbreeding, mean coancestry, fa and the rest.
# It reports and never fails on a missed target.
#
# usage: bash bench/stats_scale.sh [PEDSIM-STATS] [--small]
#   --small: a tenth of each size, for a quick look
set -euo pipefail
cd "$(dirname "$0")/.."

program="${1:-$PWD/build/pedsim-stats}"
scale=1
[ "${2:-}" = "--small" ] && scale=10
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

awk -v n=$((1000000 / scale)) 'BEGIN { print "a0 0 0"; for (i = 1; i <= n; i++) print "a" i " a" i - 1 " 0" }' \
  >"$work/chain"
awk -v n=$((100000 / scale)) 'BEGIN {
  for (i = 1; i <= n; i++) print "d" i " 0 0"
  print "a0 0 0"
  for (i = 1; i <= n; i++) print "a" i " a" i - 1 " d" i
}' >"$work/chain-founders"
awk -v families=$((8192 / scale)) 'BEGIN {
  srand(8192)
  for (g = 0; g < 20; g++)
    for (f = 0; f < families; f++) {
      mate = (f + 1 + int(rand() * (families - 1))) % families
      for (s = 0; s < 2; s++)
        if (g == 0) print "g0f" f "s" s " 0 0 0"
        else print "g" g "f" f "s" s " g" g - 1 "f" f "s0 g" g - 1 "f" mate "s1 " g
    }
}' >"$work/family-limit"
python3 bench/herd_book_pedigree.py $((10000000 / scale)) -o "$work/real-shaped"
generator="$(dirname "$program")/bench/herd_book_generator"
"$generator" $((10000000 / scale)) -o "$work/herd-book"
"$generator" $((10000000 / scale)) --deep -o "$work/herd-book-deep"

printf '%-16s %10s %12s %9s %12s %9s\n' case animals wall_s target peak_MiB target
for case in chain:30:1024 chain-founders:60:1024 family-limit:-:1024 real-shaped:60:4096 \
  herd-book:15:2048 herd-book-deep:-:2048; do
  IFS=: read -r name seconds mebibytes <<<"$case"
  animals=$(wc -l <"$work/$name")
  PEDSIM_STAGE_TIMES=1 /usr/bin/time -f '%e %M' -o "$work/time" "$program" "$work/$name" \
    >"$work/out" 2>"$work/err" || true
  read -r wall kilobytes <"$work/time"
  budget=$(( animals * 300 / 1048576 > mebibytes ? animals * 300 / 1048576 : mebibytes ))
  printf '%-16s %10d %12s %9s %12d %9d\n' "$name" "$animals" "$wall" "$seconds" \
    $((kilobytes / 1024)) "$budget"
  sed -n 's/^pedsim-stats: time of /    /p' "$work/err"
done
