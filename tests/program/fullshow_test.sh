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
# At 100 frames a second, its opening up to the switch to the ring tunnel:
#   14 slides of 401 frames (the slide clock runs at 3 units a second and a
#   slide ends on the first frame whose clock exceeds 12; the first frame
#   measures 0 s), each of the first 13 with one caption change 167 frames
#   in (clock past 5); slide 13 shows no caption;
#   the 14th slide change and "scene 0" in frame 5616, 56.15 s in;
#   the title lines ending 183, 367, 551, 735, 919 and 1170 frames after
#   that (1.83 s a line, 2.51 s for the title with its light sweep), the
#   last one together with "scene 1";
#   every line's clock reading 1000 + 10 ms per frame before it.
# At 60 frames a second, --from a chapter's name or its start moment, and at
# 144 --from title, give the trace from its scene's first frame on (its
# first 13 s).
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

# opening TRACE: the opening's timeline at 100 frames a second.
opening() {
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
    }' >"$out.expected"
    awk '{ last = $3 == "scene" && $4 == 1; $2 = ""; sub("  ", " "); print } last { exit }' "$1" >"$out.got"
    cmp -s "$out.expected" "$out.got" ||
        fail "the opening's timeline differs from the expected one (< expected, > got): $(diff "$out.expected" "$out.got" | head -n 20)"
    counts=$(awk '$3 == "scene" && $4 == 1 { print c, s, z, t; exit }
                  $3 == "caption" { c++ } $3 == "slide" { s++ } $3 == "title" { t++ }
                  $3 == "scene" && $4 == 0 { z++ }' "$1")
    [ "$counts" = "13 14 1 6" ] || fail "caption, slide, scene 0 and title lines: '$counts', expected '13 14 1 6'"
    clock=$(awk '$2 != 1000 + 10 * ($1 - 1) { print "frame " $1 " at " $2 " ms"; exit }
                 $3 == "scene" && $4 == 1 { exit }' "$1")
    [ -z "$clock" ] || fail "clock reading off the 10 ms grid: $clock"
    rm -f "$out.expected" "$out.got"
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

    [ "$fps" != 100 ] || opening "$out"

    # A chapter's start, by its name and (at 60) by the moment --help gives
    # it: the whole run's trace from the scene's first frame on, which is
    # the frame of "scene 0" for the title and the frame after "scene N"
    # for the others.
    case $fps in
    60) chapters="title:0 ring-tunnel:1 scroller:2 credits-and-greetings:3" ;;
    144) chapters="title:0" ;;
    *) chapters="" ;;
    esac
    for chapter in $chapters; do
        name=${chapter%:*} scene=${chapter#*:}
        awk -v s="$scene" 'NR == FNR { if ($3 == "scene" && $4 == s) first = $1 + (s > 0); next }
                           first && $1 >= first' "$out" "$out" >"$out.tail"
        moment=$(./eyesonly --help | awk -v n="$name" '$1 == n && $3 == "s" { print $2 }')
        for start in "$name" "$moment"; do
            [ "$start" != "$moment" ] || [ "$fps" = 60 ] || continue
            # The scene's first 13 s: the landing and what follows it, the ring
            # tunnel's end among it.
            ./eyesonly --headless --fps "$fps" --trace --from "$start" --until "$(echo "$moment" | awk '{ print $1 + 13 }')" >"$out.from"
            [ -s "$out.from" ] && head -n "$(wc -l <"$out.from")" "$out.tail" | cmp -s - "$out.from" ||
                fail "--from $start: not the trace from the $name's first frame on: $(diff "$out.tail" "$out.from" | head -n 3)"
        done
    done
    rm -f "$out.tail" "$out.from"

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
