#!/usr/bin/env bash
# Usage: fuzz/run_fuzz.sh [SECONDS [TARGET]]   (default 60 parameter_file)
# Builds the libFuzzer target TARGET (fuzz/TARGET_fuzz.cpp) with clang in
# build-fuzz and runs it for SECONDS on a scratch copy of fuzz/corpus/TARGET,
# so the committed corpus is left as it is. A crash, sanitizer report, leak,
# memory blow-up or an input taking over 10 s fails the run; the input is kept
# in build-fuzz/artifacts.
set -euo pipefail
seconds="${1:-60}"
target="${2:-parameter_file}"
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS [TARGET]]" >&2; exit 2; }

repo="$(cd "$(dirname "$0")/.." && pwd)"
[ -d "$repo/fuzz/corpus/$target" ] || { echo "$0: no corpus fuzz/corpus/$target" >&2; exit 2; }
build="$repo/build-fuzz"
if [ ! -f "$build/CMakeCache.txt" ]; then
  # Line tables only: a crash's stack keeps its files and lines.
  cmake -S "$repo" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
    -DPEDSIM_FUZZ=ON -DPEDSIM_SANITIZE=ON -DPEDSIM_TESTS=OFF -DPEDSIM_BENCH=OFF
fi
cmake --build "$build" --target "${target}_fuzz" -j2

corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
cp "$repo/fuzz/corpus/$target"/* "$corpus"/
mkdir -p "$build/artifacts"

ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$build/artifacts/" "$corpus"
