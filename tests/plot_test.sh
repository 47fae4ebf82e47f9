# Checks scripts/pedsim-plot: a figure from a real table of pedsim-stats, and
# one line and a non-zero status, with no figure, for each bad input; what the
# figures of a single table, of birth years, of a wild Ne and of a replicate
# study show.
# Skipped (SKIP, status 0) when /usr/bin/python3 has no matplotlib.
set -euo pipefail

: "${PEDSIM_BINARY:?set PEDSIM_BINARY to the built pedsim}"
: "${PEDSIM_STATS_BINARY:?set PEDSIM_STATS_BINARY to the built pedsim-stats}"
: "${PEDSIM_SOURCE_DIR:?set PEDSIM_SOURCE_DIR to the source tree}"
: "${PEDSIM_TRAITS_BINARY:?set PEDSIM_TRAITS_BINARY to the built pedsim-traits}"
: "${PEDSIM_BREED_BINARY:?set PEDSIM_BREED_BINARY to the built pedsim-breed}"

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
"$plot" --help | grep -q 'TABLE.tsv' || fail "--help does not show the usage"

# The check table of pedsim-traits, with its summary lines and empty cells.
(cd "$tmp" && "$PEDSIM_TRAITS_BINARY" --model "$PEDSIM_SOURCE_DIR/examples/flock.traits.toml" \
  -o records.tsv --check check.tsv) || fail "pedsim-traits failed"
"$plot" "$tmp/check.tsv" -o "$tmp/check.png" 2>"$tmp/err" ||
  fail "a check table of pedsim-traits was refused: $(cat "$tmp/err")"
[ ! -s "$tmp/err" ] || fail "messages while drawing the check table: $(cat "$tmp/err")"
[ "$(head -c 8 "$tmp/check.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
  fail "check.png is not a PNG file"

# The summary of pedsim-breed: mass selection with its prediction, and BLUP
# with estimated values and no prediction.
for criterion in phenotype blup; do
  printf 'seed = 3\ngenerations = 3\ntraits = ["y"]\nadditive = 0.3\nresidual = 0.7\n[base]\nmales = 50\nfemales = 50\n[selection]\ncriterion = "%s"\nsires = 5\ndams = 25\n[mating]\noffspring = 4\n' \
    "$criterion" >"$tmp/$criterion.toml"
  "$PEDSIM_BREED_BINARY" --program "$tmp/$criterion.toml" -o "$tmp/$criterion.ped" \
    --summary "$tmp/breed_$criterion.tsv" || fail "pedsim-breed failed"
  "$plot" "$tmp/breed_$criterion.tsv" -o "$tmp/breed_$criterion.png" 2>"$tmp/err" ||
    fail "a summary of pedsim-breed was refused: $(cat "$tmp/err")"
  [ "$(head -c 8 "$tmp/breed_$criterion.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "breed_$criterion.png is not a PNG file"
done

# What the figure shows, read back from the drawing with matplotlib's own
# objects: each case is a table, then what must hold of the figure.
mkdir "$tmp/a" "$tmp/b" "$tmp/c"
for rep in a:1 b:3 c:5; do
  seed=${rep#*:} rep=${rep%:*}
  printf '3 2 3 4 2 2 3\n%s\n' "$seed" >"$tmp/$rep/parpop"
  (cd "$tmp/$rep" && "$PEDSIM_BINARY") || fail "pedsim failed"
done
"$PEDSIM_STATS_BINARY" --design "$tmp/a/parpop" -o "$tmp/study.tsv" "$tmp"/[abc]/pedig ||
  fail "pedsim-stats refused three replicates"
awk '{ $4 = 2000 + 4 * $4; print }' "$tmp/a/pedig" >"$tmp/years.txt"
"$PEDSIM_STATS_BINARY" -o "$tmp/years.tsv" "$tmp/years.txt" || fail "pedsim-stats: years"
# The same cohorts with a regression Ne over 2000 to 2008, sound and not.
regression="Ne from the regression of ln(1 - mean F) on birth year over the reference cohorts"
for case in sound:"" weak:"; not informative: fewer than 5 cohorts"; do
  sed -e 's/^# reference population: .*/# reference population: 28 animals born 2000 to 2008/' \
    -e "s/^# $regression: .*/# $regression: 9.5 (se 2.1; 3 cohorts, a generation of 4 years${case#*:})/" \
    "$tmp/years.tsv" >"$tmp/regression_${case%%:*}.tsv"
done
grep -q "^# $regression: 9.5 (se 2.1; 3 cohorts, a generation of 4 years; not informative" \
  "$tmp/regression_weak.tsv" || fail "the regression line of years.tsv was not rewritten"
# Generations derived from the parents: rows 0 to 2, but no protocol.
awk '{ print $1, $2, $3 }' "$tmp/a/pedig" >"$tmp/derived.txt"
"$PEDSIM_STATS_BINARY" -o "$tmp/derived.tsv" "$tmp/derived.txt" || fail "pedsim-stats: derived"
# One Ne far beyond the others and one negative, in the Ne_delta_F column.
awk -F'\t' 'BEGIN { OFS = "\t" } /^#|^generation/ { print; next }
  { n++; if (n == 3) $10 = "1e12"; if (n == 4) $10 = "-500"; print }' \
  "$tmp/stats.tsv" >"$tmp/wild.tsv"
/usr/bin/python3 - "$plot" "$tmp" <<'PYTHON' || fail "the figures do not show what they should"
import sys, types
plot_path, tmp = sys.argv[1], sys.argv[2]
# The script has no .py ending: run its text as a module, writing no bytecode.
plot = types.ModuleType("pedsim_plot")
with open(plot_path) as source:
    exec(compile(source.read(), plot_path, "exec"), plot.__dict__)
from matplotlib import pyplot
shown = {}
pyplot.Figure.savefig = lambda figure, *a, **k: shown.update(figure=figure)

def figure_of(table):
    columns, summary = plot.read_table(f"{tmp}/{table}")
    plot.plot(columns, summary, "", f"{tmp}/unused.png")
    return shown["figure"].axes, columns

def check(condition, what):
    if not condition:
        sys.exit(f"plot_test: {what}")

def whole(ticks):
    return all(float(t).is_integer() for t in ticks)

def note(axes):
    return " ".join(text.get_text() for text in axes.texts)

def vertical_at(axes, x):
    return any(list(line.get_xdata()) == [x, x] for line in axes.lines)

def ne_line(axes, label):
    """The line of the Ne panel whose legend label starts with `label`."""
    found = [line for line in axes.lines if line.get_label().startswith(label)]
    return found[0] if found else None

# The summary of pedsim-breed: gain, variance and F panels; the prediction
# as a line only for phenotype selection, where it starts at the base mean
# and adds each round's expected response.
axes, columns = figure_of("breed_phenotype.tsv")
check(len(axes) == 3, "a summary of one trait has three panels")
predicted = [line for line in axes[0].lines if line.get_label().startswith("predicted")]
check(len(predicted) == 1, "the gain panel has the prediction")
ydata = list(predicted[0].get_ydata())
check(abs(ydata[1] - ydata[0] - columns["expected_response"][0]) < 1e-12,
      "the prediction adds the expected response")
check(any(line.get_label().startswith("predicted") for line in axes[1].lines),
      "the variance panel has the prediction")
axes, columns = figure_of("breed_blup.tsv")
check(not any(line.get_label().startswith("predicted") for line in axes[0].lines),
      "BLUP has no prediction")
check(any(line.get_label().startswith("mean estimated") for line in axes[0].lines),
      "BLUP's estimated values are drawn")

# A single table: four panels, whole generations, Ne on a log axis with
# Wright's Ne of the design, undefined first-row values counted; the
# completeness columns drawn; the protocol's start marked on every panel.
axes, columns = figure_of("stats.tsv")
check(len(axes) == 4, "a single table has four panels")
check("completeness" in axes[3].get_title(), "the last panel is the completeness")
completeness = {line.get_label(): list(line.get_ydata()) for line in axes[3].lines}
check(completeness.get("complete generations") == columns["mean_complete_generations"],
      f"the complete generations are drawn: {completeness}")
check(all(vertical_at(a, 0.5) for a in axes), "the protocol's start is marked on every panel")
check("protocol starts" in note(axes[0]), "the protocol's start is named")
check(axes[-1].get_xlabel() == "generation" and whole(axes[-1].get_xticks()),
      "generations are whole ticks")
check(axes[2].get_yscale() == "log", "Ne is on a logarithmic axis")
check(any("Wright's Ne of the design (6)" in t for t in axes[2].get_legend_handles_labels()[1]),
      "Wright's Ne of the design is drawn")
check("undefined" in note(axes[2]), "undefined values are counted")
# Birth years: named so, written in full.
axes, _ = figure_of("years.tsv")
check(axes[-1].get_xlabel() == "birth year (cohort)", "cohorts are birth years")
labels = [t.get_text() for t in axes[-1].get_xticklabels()]
check(any(label.startswith("199") or label.startswith("200") for label in labels),
      f"years are written in full: {labels}")
check(not any(vertical_at(a, 0.5) for a in axes), "birth years have no protocol mark")
check(ne_line(axes[2], "regression Ne") is None, "an undefined regression Ne is not drawn")
# Generations derived from the parents have no protocol to mark.
axes, _ = figure_of("derived.tsv")
check(not any(vertical_at(a, 0.5) for a in axes), "derived generations have no protocol mark")
# The regression Ne: a line at its value over the reference cohorts, dotted
# when pedsim-stats calls it not informative.
for table, style in (("regression_sound.tsv", "-"), ("regression_weak.tsv", ":")):
    axes, _ = figure_of(table)
    line = ne_line(axes[2], "regression Ne over the reference cohorts (9.5")
    check(line is not None, f"{table}: the regression Ne is drawn")
    check(list(line.get_xdata()) == [2000, 2008] and list(line.get_ydata()) == [9.5, 9.5],
          f"{table}: the regression Ne spans the reference at its value")
    check(line.get_linestyle() == style, f"{table}: line style {line.get_linestyle()}")
# A wild value does not flatten the others; the negative one is counted.
axes, columns = figure_of("wild.tsv")
low, high = axes[2].get_ylim()
others = [y for y in columns["Ne_delta_C"] if y == y and y > 0]
check(high < 1e4 and low <= min(others), f"the axis follows the sound values: {low}, {high}")
check("1 negative" in note(axes[2]) and "1 off the axis" in note(axes[2]),
      f"left-out values are counted: {note(axes[2])}")
# A replicate study: bands about the means, and the panel against expectation.
axes, _ = figure_of("study.tsv")
check(len(axes) == 5, "a study has a panel against the expectation, then the completeness")
check(axes[0].collections, "the mean F has its band of two standard errors")
check("expectation" in axes[3].get_title(), "the fourth panel compares with the expectation")
PYTHON
"$plot" "$tmp/study.tsv" -o "$tmp/study.png" 2>"$tmp/err" || fail "study refused: $(cat "$tmp/err")"

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
printf 'generation\tanimals\texpected_var_tbv_w\tmean_tbv_w\n0\t3\t1\t0\n' >"$tmp/half_check.tsv"
check_refusal 1 "line 1: no column mean_F" "$tmp/half_check.tsv" -o "$tmp/out.png"
check_refusal 1 "no table: expected the header line" "$tmp/summary_only.tsv" -o "$tmp/out.png"
check_refusal 1 "line 2: 2 cells where the header has $header_cells" "$tmp/short_row.tsv" -o "$tmp/out.png"
check_refusal 1 "no/dir/out.png: cannot write the figure" "$tmp/stats.tsv" -o "$tmp/no/dir/out.png"
check_refusal 2 "required: -o" "$tmp/stats.tsv"
cp "$tmp/stats.tsv" "$tmp/table.png"
check_refusal 1 "table.png and -o $tmp/./table.png are one file" "$tmp/table.png" -o "$tmp/./table.png"
cmp -s "$tmp/stats.tsv" "$tmp/table.png" || fail "the table named as the figure was overwritten"
echo "plot_test: figures from a real table and a check table, and every bad input refused"
