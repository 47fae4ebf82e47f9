# Installs the build into a temporary prefix and checks what a user gets:
# the installed program runs every installed example to a complete pedigree,
# the notes in the examples do not change the result, the installed replicate
# runner finds the program beside it, every installed executable has a manual
# page that renders without warnings, and pedsim's documents every exit
# status.
set -euo pipefail

: "${PEDSIM_BUILD_DIR:?set PEDSIM_BUILD_DIR to the build tree}"
: "${PEDSIM_SOURCE_DIR:?set PEDSIM_SOURCE_DIR to the source tree}"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "install_test: FAIL: $*" >&2
  exit 1
}

prefix=$tmp/prefix
if ! cmake --install "$PEDSIM_BUILD_DIR" --prefix "$prefix" >"$tmp/install.log" 2>&1; then
  cat "$tmp/install.log" >&2
  fail "cmake --install failed"
fi
for f in bin/pedsim bin/pedsim-replicates; do
  [ -x "$prefix/$f" ] || fail "$f is not installed as an executable"
done
man_page=$prefix/share/man/man1/pedsim.1
[ -f "$man_page" ] || fail "share/man/man1/pedsim.1 is not installed"

# Runs the installed pedsim in directory $1, which holds a parpop.
run_pedsim() {
  local status=0
  (cd "$1" && "$prefix/bin/pedsim" >stdout 2>stderr) || status=$?
  [ "$status" -eq 0 ] || fail "$1: exit status $status: $(cat "$1/stderr")"
  [ ! -s "$1/stdout" ] || fail "$1: unexpected output: $(cat "$1/stdout")"
  [ ! -s "$1/stderr" ] || fail "$1: unexpected message: $(cat "$1/stderr")"
}

examples=("$prefix"/share/pedsim/examples/*.parpop)
for name in small flock largest; do
  [ -f "$prefix/share/pedsim/examples/$name.parpop" ] ||
    fail "share/pedsim/examples/$name.parpop is not installed"
done

for example in "${examples[@]}"; do
  name=$(basename "$example" .parpop)
  # The examples keep the counts on their first line and the seed on the
  # second, each followed by a note.
  read -r ngen nsire ndps noff nsirep ndpsp noffp note <"$example"
  seed=$(sed -n 2p "$example" | awk '{ print $1 }')
  [ -n "$note" ] || fail "$name: no note after the seventh count"
  [ "$(sed -n 2p "$example" | awk '{ print NF }')" -gt 1 ] || fail "$name: no note after the seed"
  animals=$((ngen * nsire * (ndps + 1) + nsirep * (ndpsp * (noffp + 1) + 1)))
  # The sizes the documentation quotes for the bundled examples.
  case $name in
    small) documented=42 ;;
    flock) documented=14120 ;;
    largest) documented=592100 ;;
    *) documented=$animals ;;
  esac
  [ "$animals" -eq "$documented" ] ||
    fail "$name: the counts give $animals animals, the documentation says $documented"

  mkdir "$tmp/$name"
  cp "$example" "$tmp/$name/parpop"
  run_pedsim "$tmp/$name"
  pedig=$tmp/$name/pedig
  lines=$(wc -l <"$pedig")
  [ "$lines" -eq "$animals" ] || fail "$name: pedig has $lines lines, expected $animals"

  bad=$("$PEDSIM_PEDIGREE_CHECK" "$pedig" "$ngen $nsire $ndps $noff $nsirep $ndpsp $noffp") ||
    fail "$name: malformed pedigree, $bad"

  # The same counts and seed without any note give the same file.
  mkdir "$tmp/$name-bare"
  printf '%s %s %s %s %s %s %s\n%s\n' "$ngen" "$nsire" "$ndps" "$noff" "$nsirep" "$ndpsp" \
    "$noffp" "$seed" >"$tmp/$name-bare/parpop"
  run_pedsim "$tmp/$name-bare"
  cmp -s "$pedig" "$tmp/$name-bare/pedig" ||
    fail "$name: the notes change the pedigree (compare with counts and seed alone)"
  echo "install_test: $name: $lines animals, same pedigree without the notes"
done

# The installed pedsim-traits runs the installed flock model on the flock.
[ -x "$prefix/bin/pedsim-traits" ] || fail "bin/pedsim-traits is not installed as an executable"
status=0
"$prefix/bin/pedsim-traits" --model "$prefix/share/pedsim/examples/flock.traits.toml" \
  -o "$tmp/flock/records.tsv" --check "$tmp/flock/check.tsv" "$tmp/flock/pedig" 2>"$tmp/traits.err" ||
  status=$?
[ "$status" -eq 0 ] || fail "installed pedsim-traits: status $status: $(cat "$tmp/traits.err")"
grep -q '^generation	animals	records	mean_tbv_weaning' "$tmp/flock/check.tsv" ||
  fail "installed pedsim-traits: no check table"
echo "install_test: pedsim-traits: $(($(wc -l <"$tmp/flock/records.tsv") - 1)) records of the flock"

# The installed pedsim-breed runs each installed breeding program, and
# pedsim-stats reads the pedigree it writes.
[ -x "$prefix/bin/pedsim-breed" ] || fail "bin/pedsim-breed is not installed as an executable"
for name in mass dairy; do
  program=$prefix/share/pedsim/examples/$name.breed.toml
  [ -f "$program" ] || fail "share/pedsim/examples/$name.breed.toml is not installed"
  status=0
  "$prefix/bin/pedsim-breed" --program "$program" -o "$tmp/$name.tsv" \
    --summary "$tmp/$name.summary.tsv" 2>"$tmp/breed.err" || status=$?
  [ "$status" -eq 0 ] || fail "installed pedsim-breed on $name: status $status: $(cat "$tmp/breed.err")"
  "$prefix/bin/pedsim-stats" -o "$tmp/$name.stats.tsv" "$tmp/$name.tsv" 2>"$tmp/breed.err" ||
    fail "installed pedsim-stats refused the pedigree of $name: $(cat "$tmp/breed.err")"
  echo "install_test: pedsim-breed: $name: $(($(wc -l <"$tmp/$name.tsv") - 1)) animals"
done

# The installed replicate runner finds the installed program beside it.
if PATH=/usr/bin:/bin command -v pedsim >/dev/null; then
  echo "install_test: a pedsim on /usr/bin:/bin; not checking that the runner finds its own"
else
  status=0
  env -u PEDSIM PATH=/usr/bin:/bin "$prefix/bin/pedsim-replicates" \
    "$PEDSIM_SOURCE_DIR/examples/small.parpop" 2 "$tmp/replicates" 2>"$tmp/replicates.err" ||
    status=$?
  [ "$status" -eq 0 ] || fail "installed pedsim-replicates: status $status: $(cat "$tmp/replicates.err")"
  for rep in rep-0001 rep-0002; do
    [ -f "$tmp/replicates/$rep/complete" ] || fail "installed pedsim-replicates: $rep not complete"
    [ "$(wc -l <"$tmp/replicates/$rep/pedig")" -eq 42 ] ||
      fail "installed pedsim-replicates: $rep/pedig is not a complete pedigree"
  done
fi

# Renders manual page $1 into $2; any warning fails.
render() {
  if command -v man >/dev/null; then
    MANWIDTH=80 man --warnings -l "$1" >"$2" 2>"$tmp/man.err" || fail "man failed on $1"
  elif command -v groff >/dev/null; then
    groff -ww -man -Tutf8 "$1" 2>"$tmp/man.err" | col -b >"$2"
  else
    fail "neither man nor groff is available to render the manual pages"
  fi
  [ ! -s "$tmp/man.err" ] || fail "$1 renders with warnings: $(cat "$tmp/man.err")"
  if command -v groff >/dev/null; then
    groff -ww -man -Tutf8 "$1" >/dev/null 2>"$tmp/groff.err"
    [ ! -s "$tmp/groff.err" ] || fail "groff warns about $1: $(cat "$tmp/groff.err")"
  fi
}

# Every installed executable has a manual page that renders cleanly.
for program in "$prefix"/bin/*; do
  page=$prefix/share/man/man1/$(basename "$program").1
  [ -f "$page" ] || fail "no manual page share/man/man1/$(basename "$page") for bin/$(basename "$program")"
  render "$page" "$tmp/page.txt"
done

# pedsim's manual page lists every exit status.
rendered=$tmp/pedsim.txt
render "$man_page" "$rendered"
for section in NAME SYNOPSIS DESCRIPTION FILES "PARAMETER FILE" "OUTPUT FORMAT" "EXIT STATUS" \
  DIAGNOSTICS LIMITS EXAMPLES; do
  grep -qx "$section" "$rendered" || fail "the manual page has no $section section"
done
exit_statuses=$(awk '/^EXIT STATUS$/ { on = 1; next } /^[A-Z]/ { on = 0 } on' "$rendered")
for status in 0 1 2 3 4; do
  grep -Eq "^ +$status +[A-Za-z]" <<<"$exit_statuses" ||
    fail "the manual page's EXIT STATUS section does not describe status $status"
done
echo "install_test: manual page renders cleanly and lists exit statuses 0 to 4"
