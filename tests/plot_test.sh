# Checks scripts/pedsim-plot: a figure from a real table of pedsim-stats, and
# one line and a non-zero status, with no figure, for each bad input.
# Skipped (SKIP, status 0) when /usr/bin/python3 has no matplotlib.
set -euo pipefail

: "${PEDSIM_BINARY:?set PEDSIM_BINARY to the built pedsim}"
: "${PEDSIM_STATS_BINARY:?set PEDSIM_STATS_BINARY to the built pedsim-stats}"
: "${PEDSIM_SOURCE_DIR:?set PEDSIM_SOURCE_DIR to the source tree}"

if ! /usr/bin/python3 -c 'import matplotlib' 2>/dev/null; then
  echo "plot_test: SKIP: /usr/bin/python3 has no matplotlib (apt-get install python3-matplotlib)"
  exit 0
fi
plot=$PEDSIM_SOURCE_DIR/scripts/pedsim-plot
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "plot_test: FAIL: $*" >&2
  exit 1
}

# A table with the design's columns and empty cells, from a real run.
cp "$PEDSIM_SOURCE_DIR/examples/small.parpop" "$tmp/parpop"
(cd "$tmp" && "$PEDSIM_BINARY" && "$PEDSIM_STATS_BINARY" --design parpop -o stats.tsv) ||
  fail "pedsim or pedsim-stats failed"
"$plot" "$tmp/stats.tsv" -o "$tmp/stats.png" --title small 2>"$tmp/err" ||
  fail "a table of pedsim-stats was refused: $(cat "$tmp/err")"
[ ! -s "$tmp/err" ] || fail "messages while drawing: $(cat "$tmp/err")"
[ "$(head -c 8 "$tmp/stats.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
  fail "stats.png is not a PNG file"
"$plot" --help | grep -q 'STATS.tsv' || fail "--help does not show the usage"

# Each bad input: status, then the start of the one line on standard error.
header=$(grep -v '^#' "$tmp/stats.tsv" | head -n 1)
printf '%s\n' "$header" "$(grep -v '^#' "$tmp/stats.tsv" | sed -n 2p | sed 's/\t[^\t]*/\tx/4')" \
  >"$tmp/not_a_number.tsv"
printf 'generation\tanimals\n0\t3\n' >"$tmp/other.tsv"
printf '# only a summary\n' >"$tmp/summary_only.tsv"
printf '%s\n1\t2\n' "$header" >"$tmp/short_row.tsv"
header_cells=$(printf '%s\n' "$header" | awk -F'\t' '{ print NF }')
check_refusal() { # status message args...
  local status=0 expected=$1 message=$2
  shift 2
  rm -f "$tmp/out.png"
  "$plot" "$@" 2>"$tmp/err" >/dev/null || status=$?
  [ "$status" -eq "$expected" ] || fail "$*: status $status, expected $expected: $(cat "$tmp/err")"
  grep -q -- "$message" "$tmp/err" || fail "$*: no \"$message\" in: $(cat "$tmp/err")"
  [ ! -e "$tmp/out.png" ] || fail "$*: a figure was written"
}
check_refusal 1 "pedsim-plot: $tmp/none.tsv: cannot read: No such file" "$tmp/none.tsv" -o "$tmp/out.png"
check_refusal 1 "line 2: mean_F \"x\" is not a number" "$tmp/not_a_number.tsv" -o "$tmp/out.png"
check_refusal 1 "line 1: no column mean_F, mean_coancestry" "$tmp/other.tsv" -o "$tmp/out.png"
check_refusal 1 "no table: expected the header line" "$tmp/summary_only.tsv" -o "$tmp/out.png"
check_refusal 1 "line 2: 2 cells where the header has $header_cells" "$tmp/short_row.tsv" -o "$tmp/out.png"
check_refusal 1 "no/dir/out.png: cannot write the figure" "$tmp/stats.tsv" -o "$tmp/no/dir/out.png"
check_refusal 2 "required: -o" "$tmp/stats.tsv"
echo "plot_test: a figure from a real table, and every bad input refused"
