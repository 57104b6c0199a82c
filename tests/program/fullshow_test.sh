#!/bin/sh
# The whole show, headless on a fixed-step clock at 30, 60, 100 and 144
# frames a second: it must play from the first slide to the last greeting
# by itself and quit with exit code 0, with its timeline on the trace:
#   four scene switches (0, 1, 2, 3, in order),
#   79 scroller letters, the first in the scroller's first frame (the ring
#   tunnel leaves growFlag clear at these rates), "letter 79" right before
#   "scene 3",
#   23 text rows (4 credits, 19 greetings), the switch printing "row 1 0",
#   one "quit", last,
#   and 146.5 s (2:26) of show time (the clock starts at 1000 ms).
# At 10 and 12.5 frames a second, drawn at 1280 x 960 and 1000 x 750, its
# trace is the one at 640 x 480.
# Usage: sh tests/program/fullshow_test.sh <build dir>
build=${1:?usage: fullshow_test.sh <build dir>}
cd "$build" || exit 1

failures=0
fail() {
    echo "FAIL at $fps fps: $*"
    failures=$((failures + 1))
}

for fps in 30 60 100 144; do
    out=$(mktemp)
    ./eyesonly --headless --fps "$fps" --trace >"$out"
    code=$?
    [ "$code" -eq 0 ] || fail "exit code $code, expected 0"

    scenes=$(awk '$3 == "scene" { printf "%s ", $4 }' "$out")
    [ "$scenes" = "0 1 2 3 " ] || fail "scene lines '$scenes', expected '0 1 2 3 '"

    letters=$(awk '$3 == "letter" { n++; if ($4 != n) bad = 1 } END { print (bad ? "unordered" : n + 0) }' "$out")
    [ "$letters" = 79 ] || fail "letter lines: $letters, expected 79 numbered 1 to 79"

    first_letter=$(awk '$3 == "scene" && $4 == 2 { start = $1 } $3 == "letter" && $4 == 1 { print $1 - start }' "$out")
    [ "$first_letter" = 1 ] || fail "first letter $first_letter frames after the ring tunnel ended, expected 1"

    after_last=$(awk 'last { print $3, $4; exit } $3 == "letter" && $4 == 79 { last = 1 }' "$out")
    [ "$after_last" = "scene 3" ] || fail "'$after_last' after letter 79, expected 'scene 3'"

    rows=$(awk '$3 == "row" { n++ } END { print n + 0 }' "$out")
    [ "$rows" = 23 ] || fail "row lines: $rows, expected 23"
    switch=$(awk '$3 == "row" { n++; if (n == 4) print $4, $5 }' "$out")
    [ "$switch" = "1 0" ] || fail "fourth row line '$switch', expected '1 0'"

    quits=$(awk '$3 == "quit" { n++ } END { print n + 0 }' "$out")
    last=$(tail -n 1 "$out" | awk '{ print $3 }')
    [ "$quits" = 1 ] && [ "$last" = quit ] || fail "$quits quit lines, last event '$last', expected one quit, last"

    show_ms=$(tail -n 1 "$out" | awk '{ print $2 - 1000 }')
    [ "$show_ms" -ge 140000 ] && [ "$show_ms" -le 150000 ] ||
        fail "show time $show_ms ms, expected 140000 to 150000"

    echo "$fps fps: exit $code, $(wc -l <"$out") trace lines, show time $show_ms ms, $(tail -n 1 "$out" | awk '{ print $1 }') frames"
    rm -f "$out"
done

# The timeline does not depend on the size it is drawn at (a scale of 2 and
# of 1.5625). LeakSanitizer's own tracer stops in a process whose Mesa
# context is multisampled; the showframe test checks sized drawing's leaks.
for row in "10 1280x960" "12.5 1000x750"; do
    set -- $row
    fps=$1 own=$(mktemp) sized=$(mktemp)
    ./eyesonly --headless --fps "$fps" --trace >"$own"
    ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 ./eyesonly --headless --fps "$fps" --trace --size "$2" >"$sized" ||
        fail "exit code $? at --size $2, expected 0"
    [ -s "$own" ] && cmp -s "$own" "$sized" || fail "the trace at --size $2 differs: $(diff "$own" "$sized" | head -n 3)"
    rm -f "$own" "$sized"
done

[ "$failures" -eq 0 ] || exit 1
