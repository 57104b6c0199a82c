#!/bin/sh
# showframe renders a moment of the show to a PPM, refuses bad arguments,
# says when the show ends before the moment asked for, and why it could not
# start. Drawn at a size it keeps the picture's look and its text's place,
# and with --smooth (as a capture draws) its edges are smoothed.
# Its icon reads at every size it is installed at: the picture is
# centred, mostly lit, with the red sphere in its middle.
# Usage: showframe_test.sh BUILD-DIR
set -u
build=$(cd "${1:?usage: showframe_test.sh BUILD-DIR}" && pwd)
# Run by hand as well as by ctest: the same leak suppressions either way.
LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(cd "$(dirname "$0")/.." && pwd)/lsan.supp}
export LSAN_OPTIONS
cd "$build" || exit 1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failures=0
passes=0
check() {
    if [ "$1" = "$2" ]; then passes=$((passes + 1)); else echo "FAIL: $3: got '$1', expected '$2'"; failures=$((failures + 1)); fi
}

# The flicker of the first slide at 60 frames a second: a PPM of 640 x 480
# whose photo area is lit.
./showframe 3.42 "$out/flicker.ppm" 2>/dev/null
check "$?" 0 "exit code for a moment inside the show"
check "$(head -c 15 "$out/flicker.ppm" | tr '\n' ' ')" "P6 640 480 255 " "PPM header"
check "$(wc -c <"$out/flicker.ppm" | tr -d ' ')" $((15 + 640 * 480 * 3)) "PPM size"
lit=$(tail -c $((640 * 480 * 3)) "$out/flicker.ppm" | od -An -v -tu1 -w3 |
      awk '$1 + $2 + $3 > 150 { n++ } END { print (n > 20000) ? "lit" : "dark " n }')
check "$lit" lit "many bright pixels while the photo flickers"

# The same moment at the same rate gives the same picture.
./showframe 3.42 "$out/again.ppm" 2>/dev/null
cmp -s "$out/flicker.ppm" "$out/again.ppm"
check "$?" 0 "the same frame twice"

./showframe 400 "$out/late.ppm" 2>"$out/late.err"
check "$?" 1 "exit code past the end of the show"
grep -q "ended before" "$out/late.err"
check "$?" 0 "message past the end of the show"

# Without the show's files anywhere (a copy with no data beside it, run
# where there is none): the show could not start, and why.
mkdir "$out/bin" "$out/empty"
cp showframe "$out/bin/"
(cd "$out/empty" && XDG_DATA_HOME="$out/empty" "$out/bin/showframe" 1 x.ppm) 2>"$out/nodata.err"
check "$?" 1 "exit code without data"
check "$(cat "$out/nodata.err")" "showframe: the show could not start: none of its files (photos and songs) found; looked in $out/empty/data, $out/empty/eyesonly/data, $out/bin/data, $out/share/eyesonly/data" "message without data"
[ ! -e "$out/empty/x.ppm" ]
check "$?" 0 "no picture without data"

# The icon at each installed size, decoded by ffmpeg: the box around its
# lit pixels (any channel above 24) is centred to within a pixel or 1/32 of
# the size, at least half of it is lit, and in its middle quarter red leads
# green by 6 levels on the mean (the sphere; the photo is grey and green).
for size in 16 32 48 128 256; do
    ./showframe --icon "$size" "$out/icon.png" 2>/dev/null
    check "$?" 0 "exit code for the $size px icon"
    got=$(ffmpeg -loglevel error -i "$out/icon.png" -f rawvideo -pix_fmt rgb24 - | od -An -v -tu1 -w3 | awk -v n="$size" '
        { i = NR - 1; x = i % n; y = int(i / n); m = $1; if ($2 > m) m = $2; if ($3 > m) m = $3
          if (m > 24) { lit++; if (!seen || x < x0) x0 = x; if (!seen || x > x1) x1 = x; if (!seen || y < y0) y0 = y; if (!seen || y > y1) y1 = y; seen = 1 }
          if (x >= n / 4 && x < 3 * n / 4 && y >= n / 4 && y < 3 * n / 4) { r += $1; g += $2 } }
        END { slack = (n / 32 > 1) ? n / 32 : 1; dx = (x0 + x1 + 1) / 2 - n / 2; dy = (y0 + y1 + 1) / 2 - n / 2
              if (NR != n * n) print "size " NR " pixels"
              else if (dx < -slack || dx > slack || dy < -slack || dy > slack) print "box " x0 ".." x1 " x " y0 ".." y1
              else if (lit < NR / 2) print "lit " lit " of " NR
              else if (r - g < 6 * n * n / 4) print "middle red " r " green " g
              else print "fine" }')
    check "$got" fine "the $size px icon"
done
./showframe --icon 8 "$out/icon.png" 2>/dev/null
check "$?" 2 "exit code for an icon below 16 px"
./showframe --icon 48 1 "$out/icon.png" 2>/dev/null
check "$?" 2 "exit code for an icon with a time"

./showframe 2>/dev/null
check "$?" 2 "exit code without arguments"
./showframe --fps 0 1 "$out/x.ppm" 2>/dev/null
check "$?" 2 "exit code for --fps 0"
./showframe 1 /nonexistent/dir/x.ppm 2>/dev/null
check "$?" 1 "exit code for an unwritable file"

# Drawn at a size, five moments (one a scene: slide and caption, title,
# ring tunnel, scroller, sphere and credits) on one clock. At 3 times 640 x
# 480 the picture averaged 3 x 3 is within 8 levels of the 640 x 480 frame
# on most pixels; at every size the text (caption, credit line: every
# channel above 64) keeps its box, scaled, within 2 pixels on each side, and
# the bars around a picture of another shape are black.
framecheck="$build/tests/framecheck"
moments="5 60.5 75 100 130"
frames() {  # frames SIZE [--size SIZE]: the moments drawn at SIZE
    size=$1 && shift
    for t in $moments; do set -- "$@" "$t" "$out/$size-$t.ppm"; done
    ./showframe --fps 5 "$@" 2>/dev/null
}
frames 640x480
check "$?" 0 "exit code at 640 x 480"
# Run through from one moment to the next, a frame is the one run through
# from the show's start.
./showframe --fps 5 130 "$out/alone-130.ppm" 2>/dev/null
cmp -s "$out/640x480-130.ppm" "$out/alone-130.ppm"
check "$?" 0 "the frame at 130 s after four others, against it alone"
for row in "1920x1440 3 97 97 93 97 97" "1920x1080 2.25" "1000x750 1.5625"; do
    set -- $row
    scale=$2
    frames "$1" --size "$1"
    check "$?" 0 "exit code at $size"
    shift 2
    check "$("$framecheck" bars "$out/$size-100.ppm")" 0 "the brightest bar pixel at $size (the scroller clears grey)"
    for t in 5 130; do
        got=$("$framecheck" text "$out/$size-$t.ppm")
        expected=$("$framecheck" text "$out/640x480-$t.ppm")
        check "$(echo "$got $expected" | awk -v s="$scale" '
            function off(a, b) { d = a - b; return d < -2 || d > 2 }
            { if (off($1, $5 * s) || off($2, $6 * s) || off($3 + 1, ($7 + 1) * s) || off($4 + 1, ($8 + 1) * s)) print "box " $1 " " $2 " " $3 " " $4; else print "scaled" }')" scaled \
              "the text's box at $t s at $size, against $expected at 640 x 480 times $scale"
    done
    for t in $moments; do
        [ $# -gt 0 ] || break
        share=$("$framecheck" near "$out/640x480-$t.ppm" "$out/$size-$t.ppm" 8)
        check "$(awk -v s="$share" -v least="$1" 'BEGIN { print (s >= least) ? "close" : "only " s "%" }')" close \
              "pixels within 8 levels at $t s, $size averaged down"
        shift
    done
done

# Smoothed at a size: at 1280 x 960 the ring tunnel's lines (72 s) have
# pixels between a line and the black around it, in a frame drawn with
# --smooth and in a capture's frame; drawn without --smooth, none.
./showframe --fps 5 --size 1280x960 72 "$out/hard.ppm" 2>/dev/null
./showframe --fps 5 --size 1280x960 --smooth 72 "$out/smooth.ppm" 2>/dev/null
./eyesonly --capture "$out/capture/" --size 1280x960 --from 72 --until 72 >/dev/null 2>&1
ffmpeg -v error -i "$out/capture/frame-000001.png" "$out/captured.ppm"
check "$("$framecheck" soft "$out/hard.ppm" 0 0 640 480)" 0 "pixels between a line and the black without --smooth"
for frame in smooth captured; do
    soft=$("$framecheck" soft "$out/$frame.ppm" 0 0 640 480)
    check "$([ "${soft:-0}" -gt 0 ] && echo smoothed || echo "${soft:-no frame}")" smoothed \
          "pixels between a line and the black in the $frame frame"
done

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
