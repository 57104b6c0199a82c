#!/bin/sh
# The whole show headless on the real clock, paced as a display would pace
# it: it must last its 2 min 25 s (146.5 s at 60 frames a second, within two
# seconds) and spell all 79 scroller letters, however fast the machine could
# draw. $1: the build directory.
set -u
cd "${1:?usage: realclock_test.sh BUILD-DIR}" || exit 1
trace=$(mktemp)
trap 'rm -f "$trace"' EXIT
start=$(date +%s.%N)
./eyesonly --headless --trace >"$trace"
code=$?
end=$(date +%s.%N)
seconds=$(echo "$end $start" | awk '{ printf "%.1f", $1 - $2 }')
letters=$(awk '$3 == "letter" { n++ } END { print n + 0 }' "$trace")
shown=$(awk '$3 == "letter" { print $1 }' "$trace" | uniq | wc -l)
failures=0
[ "$code" -eq 0 ] || { echo "FAIL: exit code $code"; failures=1; }
[ "$letters" -eq 79 ] || { echo "FAIL: $letters letters, expected 79"; failures=1; }
[ "$shown" -eq 79 ] || { echo "FAIL: letters finished in $shown distinct frames, expected 79 (none skipped)"; failures=1; }
echo "$seconds" | awk '{ exit !($1 >= 144.5 && $1 <= 148.5) }' ||
    { echo "FAIL: the show took $seconds s, expected 146.5 s within 2"; failures=1; }
echo "realclock_test: $seconds s, $letters letters"
[ "$failures" -eq 0 ]
