# Checks scripts/pedsim-replicates: one seed and one pedigree per replicate,
# exact reruns that skip finished replicates and redo unfinished ones, the
# seed written after the counts wherever they end, and failures reported with
# a non-zero exit status.
set -euo pipefail

: "${PEDSIM_BINARY:?set PEDSIM_BINARY to the built pedsim}"
: "${PEDSIM_SOURCE_DIR:?set PEDSIM_SOURCE_DIR to the source tree}"

script=$PEDSIM_SOURCE_DIR/scripts/pedsim-replicates
small=$PEDSIM_SOURCE_DIR/examples/small.parpop
export PEDSIM=$PEDSIM_BINARY

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "replicates_test: FAIL: $*" >&2
  exit 1
}

# Runs the script with the given arguments; sets $status, keeps stderr in $tmp/err.
replicates() {
  status=0
  sh "$script" "$@" 2>"$tmp/err" || status=$?
}

# Runs pedsim directly on the parameter text $2 in a new directory $1.
direct() {
  mkdir "$1"
  printf '%b' "$2" >"$1/parpop"
  (cd "$1" && "$PEDSIM_BINARY") || fail "pedsim refused: $2"
}

mtime() { stat -c %Y "$1"; }

# Three replicates, base seed taken from the file (12345).
out=$tmp/study
replicates "$small" 3 "$out"
[ "$status" -eq 0 ] || fail "3 replicates of small.parpop: status $status: $(cat "$tmp/err")"
counts_line=$(head -n 1 "$small")
for i in 1 2 3; do
  rep=$out/rep-000$i
  [ -f "$rep/complete" ] || fail "rep-000$i has no completion mark"
  [ "$(head -n 1 "$rep/parpop")" = "$counts_line" ] || fail "rep-000$i: the counts' line was changed"
  seed=$(sed -n 2p "$rep/parpop" | awk '{ print $1 }')
  [ "$seed" -eq $((12345 + 2 * i)) ] || fail "rep-000$i has seed $seed, expected $((12345 + 2 * i))"
  [ "$(wc -l <"$rep/pedig")" -eq 42 ] || fail "rep-000$i: pedig does not hold 42 lines"
  cp "$rep/pedig" "$tmp/pedig-$i"
done
[ "$(md5sum "$tmp"/pedig-* | cut -c1-32 | sort -u | wc -l)" -eq 3 ] ||
  fail "the 3 replicates do not give 3 different pedigrees"

# Replicate 1 is exactly what pedsim makes from the counts and seed 12347.
direct "$tmp/direct" '3 2 3 4 2 2 3\n12347\n'
cmp -s "$tmp/direct/pedig" "$tmp/pedig-1" || fail "rep-0001 differs from a direct run with seed 12347"

# Rerun: finished replicates are skipped, an unfinished one is redone.
for i in 1 2 3; do touch -d @946684800 "$out/rep-000$i/pedig"; done
rm "$out/rep-0002/complete"
echo "half a pedigree" >"$out/rep-0002/pedig"
touch -d @946684800 "$out/rep-0002/pedig"
replicates "$small" 3 "$out" 12345
[ "$status" -eq 0 ] || fail "rerun: status $status: $(cat "$tmp/err")"
for i in 1 3; do
  [ "$(mtime "$out/rep-000$i/pedig")" -eq 946684800 ] || fail "rerun rewrote the complete rep-000$i"
done
[ "$(mtime "$out/rep-0002/pedig")" -ne 946684800 ] || fail "rerun did not redo the unfinished rep-0002"
[ -f "$out/rep-0002/complete" ] || fail "rerun left rep-0002 without its completion mark"
for i in 1 2 3; do
  cmp -s "$out/rep-000$i/pedig" "$tmp/pedig-$i" || fail "rerun: rep-000$i is not reproduced byte for byte"
done

# Another base seed rewrites every replicate's parameter file and redoes it.
replicates "$small" 3 "$out" 1000
[ "$status" -eq 0 ] || fail "base 1000: status $status: $(cat "$tmp/err")"
for i in 1 2 3; do
  seed=$(sed -n 2p "$out/rep-000$i/parpop" | awk '{ print $1 }')
  [ "$seed" -eq $((1000 + 2 * i)) ] || fail "base 1000: rep-000$i has seed $seed"
  ! cmp -s "$out/rep-000$i/pedig" "$tmp/pedig-$i" || fail "base 1000: rep-000$i kept its old pedigree"
done

# Counts over two lines, a repeat count (2*3 is two items), CR-LF line ends
# and a blank line: the new seed goes right after the line holding the
# seventh count, and the file's own seed (777) is the base.
printf '3 2 3\r\n4 2 2*3\r\n\r\n  777 the seed\r\n' >"$tmp/split.parpop"
replicates "$tmp/split.parpop" 1 "$tmp/split"
[ "$status" -eq 0 ] || fail "split counts: status $status: $(cat "$tmp/err")"
direct "$tmp/split-direct" '3 2 3 4 2 3 3\n779\n'
cmp -s "$tmp/split/rep-0001/pedig" "$tmp/split-direct/pedig" ||
  fail "split counts: rep-0001 differs from a direct run of 3 2 3 4 2 3 3 with seed 779"

# One replicate that cannot write its pedigree: it alone is reported.
mkdir -p "$tmp/one/rep-0002/pedig"
replicates "$small" 3 "$tmp/one"
[ "$status" -ne 0 ] || fail "a failed replicate left the exit status 0"
grep -q 'rep-0002 failed (exit status 4)' "$tmp/err" || fail "rep-0002's failure not reported: $(cat "$tmp/err")"
! grep -q 'rep-0001 failed\|rep-0003 failed' "$tmp/err" || fail "a good replicate reported as failed"
[ -f "$tmp/one/rep-0001/complete" ] && [ -f "$tmp/one/rep-0003/complete" ] ||
  fail "the good replicates did not complete beside a failed one"

# Refused parameters: every replicate fails and is named.
printf '3 2 3 1 1 1 3\n5\n' >"$tmp/refused.parpop"
replicates "$tmp/refused.parpop" 2 "$tmp/refused"
[ "$status" -ne 0 ] || fail "refused parameters left the exit status 0"
for rep in rep-0001 rep-0002; do
  grep -q "$rep failed (exit status 2): parpop: choosing" "$tmp/err" ||
    fail "refused parameters: $rep not reported: $(cat "$tmp/err")"
done

# The protocol message ends pedsim with status 0 but leaves no pedigree.
printf '3 2 3 4 7 2 3\n5\n' >"$tmp/protocol.parpop"
replicates "$tmp/protocol.parpop" 1 "$tmp/protocol"
[ "$status" -ne 0 ] || fail "the protocol message was taken for a success"
grep -q 'rep-0001 failed (exit status 0):  effectif historique trop faible pour le protocole' \
  "$tmp/err" || fail "the protocol message was not reported: $(cat "$tmp/err")"
[ ! -e "$tmp/protocol/rep-0001/complete" ] || fail "a replicate with no pedigree was marked complete"

# A PARPOP that the run would write, named through another path: refused,
# the file left as it was.
cp "$out/rep-0002/parpop" "$tmp/rep2.parpop"
replicates "$out/../study/rep-0002/parpop" 3 "$out" 7
[ "$status" -eq 2 ] || fail "PARPOP among the outputs: status $status, expected 2"
grep -q "is $out/rep-0002/parpop, which this run writes" "$tmp/err" ||
  fail "PARPOP among the outputs: $(cat "$tmp/err")"
cmp -s "$tmp/rep2.parpop" "$out/rep-0002/parpop" || fail "PARPOP among the outputs was changed"

# Usage errors.
replicates "$small" 0 "$tmp/none"
[ "$status" -eq 2 ] || fail "0 replicates: status $status, expected 2"
replicates "$small" 2 "$tmp/none" 2147483645
[ "$status" -eq 2 ] || fail "seeds beyond 32 bits: status $status, expected 2"

echo "replicates_test: all checks passed"
