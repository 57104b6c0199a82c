#!/bin/sh
# The show's opening, headless on a fixed-step clock of 100 frames a second,
# read from its trace up to the switch to the ring tunnel:
#   14 slides of 401 frames (the slide clock runs at 3 units a second and a
#   slide ends on the first frame whose clock exceeds 12; the first frame
#   measures 0 s), each of the first 13 with one caption change 167 frames
#   in (clock past 5); slide 13 shows no caption;
#   the 14th slide change and "scene 0" in frame 5616, 56.15 s in;
#   the title lines ending 183, 367, 551, 735, 919 and 1170 frames after
#   that (1.83 s a line, 2.51 s for the title with its light sweep), the
#   last one together with "scene 1".
# Every line's clock reading is 1000 + 10 ms per frame before it.
# Usage: sh tests/program/opening_trace_test.sh <build dir>
build=${1:?usage: opening_trace_test.sh <build dir>}
cd "$build" || exit 1

out=$(mktemp)
expected=$(mktemp)
got=$(mktemp)
trap 'rm -f "$out" "$expected" "$got"' EXIT

# The show goes on after the title zoom; stop it once "scene 1" is out.
./eyesonly --headless --fps 100 --trace >"$out" 2>/dev/null &
show=$!
waited=0
while kill -0 "$show" 2>/dev/null && ! grep -q ' scene 1$' "$out"; do
    sleep 1
    waited=$((waited + 1))
    [ "$waited" -lt 600 ] || break
done
kill "$show" 2>/dev/null
wait "$show" 2>/dev/null

awk 'BEGIN {
    for (k = 0; k < 14; k++) {
        if (k < 13) print 169 + 401 * k, "caption", 2 * k + 1
        print 403 + 401 * k, "slide", (k + 1) % 3, 2 * k + 2
    }
    start = 403 + 401 * 13
    print start, "scene 0"
    split("183 367 551 735 919 1170", ends, " ")
    for (line = 1; line <= 6; line++) print start + ends[line], "title", line
    print start + 1170, "scene 1"
}' >"$expected"

awk '{ last = $3 == "scene" && $4 == 1; $2 = ""; sub("  ", " "); print } last { exit }' "$out" >"$got"

failures=0
if ! cmp -s "$expected" "$got"; then
    echo "FAIL: the opening's timeline differs from the expected one (< expected, > got):"
    diff "$expected" "$got" | head -40
    failures=$((failures + 1))
fi

counts=$(awk '$3 == "scene" && $4 == 1 { print c, s, z, t; exit }
              $3 == "caption" { c++ } $3 == "slide" { s++ } $3 == "title" { t++ }
              $3 == "scene" && $4 == 0 { z++ }' "$out")
[ "$counts" = "13 14 1 6" ] || {
    echo "FAIL: caption, slide, scene 0 and title lines: '$counts', expected '13 14 1 6'"
    failures=$((failures + 1))
}

clock=$(awk '$2 != 1000 + 10 * ($1 - 1) { print "frame " $1 " at " $2 " ms"; exit }
             $3 == "scene" && $4 == 1 { exit }' "$out")
[ -z "$clock" ] || {
    echo "FAIL: clock reading off the 10 ms grid: $clock"
    failures=$((failures + 1))
}

echo "opening: $(wc -l <"$got") trace lines up to scene 1, last: $(tail -n 1 "$got")"
[ "$failures" -eq 0 ] || exit 1
