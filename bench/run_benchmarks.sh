#!/usr/bin/env bash
# Times pedsim the way a user runs it: a Release build, each run in a fresh
# directory holding only "parpop", the whole process measured by hyperfine.
# Prints, for each case, the median wall time and the peak resident memory,
# then a three-size scaling table, then (unless --no-micro) the Google
# Benchmark targets of bench/. It reports and never fails on a missed target.
#
# usage: bash bench/run_benchmarks.sh [--runs N] [--no-micro]
set -euo pipefail
cd "$(dirname "$0")/.."

runs=20
micro=1
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --no-micro) micro=0; shift ;;
    *) echo "usage: bash bench/run_benchmarks.sh [--runs N] [--no-micro]" >&2; exit 2 ;;
  esac
done
if [ "$runs" -lt 10 ]; then
  echo "--runs: at least 10 runs are needed for a median worth reporting" >&2
  exit 2
fi

missing=0
for tool in cmake hyperfine python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is needed; on Debian: apt-get install $tool" >&2
    missing=1
  fi
done
if [ ! -x /usr/bin/time ]; then
  echo "GNU time (/usr/bin/time) is needed for the peak memory; on Debian: apt-get install time" >&2
  missing=1
fi
[ "$missing" -eq 0 ] || exit 1

build="build-bench"
echo "== Release build in $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPEDSIM_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target pedsim
program="$PWD/$build/pedsim"

# Runs happen under the build tree, on the same disk as the sources.
work="$PWD/$build/bench-runs"
rm -rf "$work"
mkdir -p "$work"

# median_ms <case name>: the median of hyperfine's runs, in milliseconds.
median_ms() {
  python3 -c 'import json, sys; print("%.1f" % (1000 * json.load(open(sys.argv[1]))["results"][0]["median"]))' \
    "$work/$1.json"
}

# time_case <name> <seven counts> <seed>: hyperfine over fresh directories.
time_case() {
  local name="$1" counts="$2" seed="$3"
  local dir="$work/$name"
  printf '%s\n%s\n' "$counts" "$seed" >"$work/$name.parpop"
  hyperfine --style basic --warmup 3 --runs "$runs" \
    --prepare "rm -rf '$dir' && mkdir '$dir' && cp '$work/$name.parpop' '$dir/parpop'" \
    --export-json "$work/$name.json" \
    --command-name "$name ($counts, seed $seed)" \
    "cd '$dir' && '$program'" >&2
}

# peak_rss_kib <name>: the largest resident set of five fresh runs, in KiB
# (GNU time's "Maximum resident set size").
peak_rss_kib() {
  local name="$1" dir="$work/$1-rss" peak=0 kb
  for _ in 1 2 3 4 5; do
    rm -rf "$dir" && mkdir "$dir" && cp "$work/$name.parpop" "$dir/parpop"
    kb=$(cd "$dir" && /usr/bin/time -v "$program" 2>&1 >/dev/null |
         awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}')
    [ "$kb" -gt "$peak" ] && peak="$kb"
  done
  echo "$peak"
}

# animals <seven counts>: the number of lines of the pedigree file.
animals() {
  awk '{ print $1 * $2 * ($3 + 1) + $5 * ($6 * ($7 + 1) + 1) }' <<<"$1"
}

echo
echo "== Whole program, $runs runs per case (after 3 warm-up runs), each in a fresh directory"
cases=(
  "large|97 3000 1 3 100 10 9|12345|200"
  "medium|50 1000 4 2 50 20 5|7|90"
  "small|3 2 3 4 2 2 3|12345|-"
)
report=()
for entry in "${cases[@]}"; do
  IFS='|' read -r name counts seed target <<<"$entry"
  time_case "$name" "$counts" "$seed"
  median=$(median_ms "$name")
  rss=$(peak_rss_kib "$name")
  verdict="$target"
  if [ "$target" != "-" ]; then
    verdict="$target $(awk -v m="$median" -v t="$target" 'BEGIN { print (m < t) ? "met" : "MISSED" }')"
  fi
  rss_mib=$(awk -v k="$rss" 'BEGIN { printf "%.1f", k / 1024 }')
  report+=("$(printf '%-7s %-22s %6s %9s %10s %9s %8s %s' "$name" "$counts" "$seed" \
    "$(animals "$counts")" "$median" "$rss" "$rss_mib" "$verdict")")
done
echo
printf '%-7s %-22s %6s %9s %10s %9s %8s %s\n' case parameters seed animals "median ms" "peak KiB" "peak MiB" \
  "target ms"
printf '%s\n' "${report[@]}"

echo
echo "== Scaling: the large case's counts with ngen = 25, 50, 97"
scaling=()
for ngen in 25 50 97; do
  counts="$ngen 3000 1 3 100 10 9"
  time_case "ngen$ngen" "$counts" 12345
  median=$(median_ms "ngen$ngen")
  n=$(animals "$counts")
  scaling+=("$(awk -v g="$ngen" -v n="$n" -v m="$median" 'BEGIN {
    printf "%5d %9d %10.1f %12.1f %18.2f", g, n, m, 1e6 * m / n, 1e6 * m / (n * log(n) / log(2)) }')")
done
echo
printf '%5s %9s %10s %12s %18s\n' ngen animals "median ms" "ns/animal" "ns/(N log2 N)"
printf '%s\n' "${scaling[@]}"

if [ "$micro" -eq 1 ]; then
  echo
  if cmake --build "$build" -j2 --target pedsim_bench >/dev/null 2>&1; then
    echo "== Google Benchmark targets (median of 5 repetitions)"
    "$build/bench/pedsim_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
      --benchmark_display_aggregates_only=true 2>/dev/null | grep -E '^(Benchmark|-|BM_.*_median)'
  else
    echo "== Google Benchmark not found (Debian: apt-get install libbenchmark-dev): microbenchmarks skipped"
  fi
fi

echo
echo "Machine: $(nproc) cores, $(lscpu | awk -F: '/Model name/ {gsub(/^ +/, "", $2); print $2; exit}')"
