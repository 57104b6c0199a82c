#!/bin/sh
# The closing lines of tools/test.sh: every test or part of one that was
# skipped, each with its reason, then the counts, the suite's time and its
# five slowest tests.
#   test-summary.sh CTEST-OUTPUT CTEST-LOG [NODE-TAP-OUTPUT...]
# CTEST-OUTPUT: what ctest printed; CTEST-LOG: its Testing/Temporary/LastTest.log,
# which holds each test's own output; NODE-TAP-OUTPUT: what a node --test
# printed. EYESONLY_SUITE_STARTED: when the suite started (seconds since
# the epoch); the times also go to EYESONLY_SUITE_TIMES, a file, where set,
# with EYESONLY_SUITE_RUN: "first" where the run built everything.
# A test says why it skips in a line of its output: "did not run: WHY" for a
# whole test (ctest counts it skipped by that line or by its exit code),
# "...skipped: WHY" or ": skipped WHY" for a part; GoogleTest's skips and
# node's "# SKIP WHY" are read in their own forms. A part that tools/test.sh
# did not run is named, with why, in EYESONLY_NOT_RUN ("PART: WHY").
set -eu
ctest_out=$1
ctest_log=$2
shift 2
node_out=""
if [ "$#" -gt 0 ]; then
  node_out=$(mktemp)
  trap 'rm -f "$node_out"' EXIT
  cat "$@" >"$node_out"
fi

{
  # Whole tests that ctest did not run, from its own list.
  awk '/^The following tests did not run:/ { on = 1; next }
       on && /^[ \t]+[0-9]+ - / { sub(/^[ \t]+[0-9]+ - /, ""); sub(/ \(.*\)$/, ""); print "whole", $0; next }
       on { on = 0 }' "$ctest_out"
  # Each test's reasons, from its output in the log.
  awk '/^[0-9]+\/[0-9]+ Testing: / { name = $3; out = 0; next }
       /^Output:$/ { out = 1; next }
       /^<end of output>$/ { out = 0; next }
       !out { next }
       /: Skipped$/ { want = 1; next }
       want && NF { print "reason", name, $0; want = 0; next }
       /did not run: |skipped: |: skipped / { line = $0; sub(/^[ \t]+/, "", line); print "reason", name, line }' "$ctest_log"
  [ -z "${EYESONLY_NOT_RUN:-}" ] || echo "part $EYESONLY_NOT_RUN"
  if [ -n "$node_out" ]; then
    sed -n 's/^[ \t]*\(not \)\{0,1\}ok [0-9]* - \(.*\) # SKIP\(.*\)$/node \2:\3/p' "$node_out"
  fi
} | awk '!seen[$0]++' | awk -v ctest_out="$ctest_out" -v node_out="$node_out" '
  $1 == "whole" { whole[$2] = 1; next }
  $1 == "reason" { n++; test_of[n] = $2; line = $0; sub(/^reason [^ ]+ /, "", line); reason_of[n] = line; next }
  $1 == "part" { line = $0; sub(/^part /, "", line); parts[++k] = line; next }
  $1 == "node" { line = $0; sub(/^node /, "", line); nodes[++m] = line; next }
  END {
    count = 0
    for (t in whole) {
      said = 0
      for (i = 1; i <= n; i++) if (test_of[i] == t) { print "  " t " (not run): " reason_of[i]; said = 1; count++ }
      if (!said) { print "  " t " (not run): it gave no reason"; count++ }
    }
    for (i = 1; i <= n; i++) if (!(test_of[i] in whole)) { print "  " test_of[i] " (in part): " reason_of[i]; count++ }
    for (i = 1; i <= m; i++) { print "  browser test " nodes[i]; count++ }
    for (i = 1; i <= k; i++) { print "  " parts[i]; count++ }
    if (count == 0) print "  nothing"
  }' >"$ctest_out.skips"

echo "test: skipped, and why:"
cat "$ctest_out.skips"
rm -f "$ctest_out.skips"

# The counts: ctest counts a skipped test among its passed ones.
total=$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$ctest_out" | tail -n 1)
failed=$(sed -n 's/.*, \([0-9]*\) tests failed out of .*/\1/p' "$ctest_out" | tail -n 1)
skipped=$(awk '/^The following tests did not run:/ { on = 1; next } on && /^[ \t]+[0-9]+ - / { n++; next } on { on = 0 } END { print n + 0 }' "$ctest_out")
total=${total:-0}
failed=${failed:-0}
if [ -n "$node_out" ]; then
  node_count() { sed -n "s/^# $1 \([0-9]*\)$/\1/p" "$node_out" | awk '{ n += $1 } END { print n + 0 }'; }
  node_pass=$(node_count pass)
  node_fail=$(node_count fail)
  node_skip=$(node_count skipped)
  total=$((total + ${node_pass:-0} + ${node_fail:-0} + ${node_skip:-0}))
  failed=$((failed + ${node_fail:-0}))
  skipped=$((skipped + ${node_skip:-0}))
fi
echo "test: $((total - failed - skipped)) passed, $failed failed, $skipped skipped"

# The time: the whole suite's, and each test's (a ctest test, or a browser
# or Windows test file), the slowest five.
{
  sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: \([^ ]*\) .* \([0-9.]*\) sec$/\2 \1/p' "$ctest_out"
  [ -z "$node_out" ] || awk '/^(not )?ok [0-9]+ - / { name = $0; sub(/^(not )?ok [0-9]+ - /, "", name); sub(/.*\//, "", name); next }
    name != "" && /^  duration_ms: / { printf "%.2f %s\n", $2 / 1000, name; name = "" }' "$node_out"
} | awk '!seen[$2]++' | sort -rn >"$ctest_out.times"
took=""
[ -z "${EYESONLY_SUITE_STARTED:-}" ] || took=$(($(date +%s) - EYESONLY_SUITE_STARTED))
slowest=$(head -n 5 "$ctest_out.times" | awk '{ printf "%s%s %.0f s", (NR > 1 ? ", " : ""), $2, $1 }')
echo "test: the suite took ${took:-?} s; the slowest: ${slowest:-none}"
if [ -n "${EYESONLY_SUITE_TIMES:-}" ]; then
  { echo "suite ${took:-?} ${EYESONLY_SUITE_RUN:-second}"; cat "$ctest_out.times"; } >"$EYESONLY_SUITE_TIMES"
fi
rm -f "$ctest_out.times"
