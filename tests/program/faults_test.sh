#!/bin/sh
# The fault matrix: the real program, headless, against every kind of broken
# data file, bad options, a full disk and signals. For each case: what it
# writes on standard error (a message box is its caption and text, a line
# each), its exit code, and that it ends within a bound. A capture's file is
# decoded whole by ffmpeg and must hold the frames the program says.
# Usage: sh tests/program/faults_test.sh BUILD-DIR
set -u
build=$(cd "${1:?usage: faults_test.sh BUILD-DIR}" && pwd)
[ -x "$build/eyesonly" ] || { echo "faults_test: $build/eyesonly not built" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/faults.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A copy of the program with no data beside it, so that a file missing from
# the run directory's data/ is missing everywhere; the user's own data
# folder is an empty one of the test's.
mkdir "$work/bin" "$work/xdg-data"
cp "$build/eyesonly" "$build/eyesonly-capture.so" "$work/bin/"
program="$work/bin/eyesonly"
XDG_DATA_HOME="$work/xdg-data"
export XDG_DATA_HOME
failures=0
passes=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { passes=$((passes + 1)); }

# A fresh copy of the show's data in $work/run/data.
fresh_data() {
    rm -rf "$work/run"
    mkdir -p "$work/run"
    cp -r "$build/data" "$work/run/data"
}

# What the boxes say, in the show's words.
intro='hoho. fEIL!\ningen musikk:intro\n'
velto='hoho. fEIL!\ningen musikk:velto\n'
nostart='hoho. fEIL!\nfsck this. faakke starta musikken jo.\n'
textures='texturefeil\nd0d over textures!\n'
conversion='Error\nImage file conversion error.\n'
unknown='Error\nUnknown DIB file format.\n'

# Ways to break one data file; $1 is its path. The song and the photo of
# another kind stand for "a file of the wrong kind".
break_file() {
    case "$2" in
        missing) rm -f "$1" ;;
        empty) : >"$1" ;;
        cut) head -c 100 "$1" >"$1.cut" && mv "$1.cut" "$1" ;;
        random) head -c 70000 /dev/urandom >"$1" ;;
        song) cp "$build/data/VELTO63K.XM" "$1" ;;
        photo) cp "$build/data/skorv1.bitmap" "$1" ;;
        fifo) rm -f "$1" && mkfifo "$1" ;;
        zero) rm -f "$1" && ln -s /dev/zero "$1" ;;
        huge) truncate -s 65M "$1" ;;
    esac
}

# Runs the program in $work/run with the given options, bounded by $bound
# seconds; sets $code and leaves standard error in $work/err.
bound=60
run() {
    (cd "$work/run" && exec timeout -k 5 "$bound" "$program" "$@") >"$work/out" 2>"$work/err"
    code=$?
}

# check NAME CODE STDERR: the exit code and the whole of standard error.
check() {
    if [ "$code" = 124 ] || [ "$code" = 137 ]; then
        fail "$1: still running after $bound s"
    elif [ "$code" != "$2" ]; then
        fail "$1: exit code $code, expected $2; stderr: $(head -c 300 "$work/err")"
    elif ! printf "$3" | cmp -s - "$work/err"; then
        fail "$1: standard error was [$(cat "$work/err")], expected [$(printf "$3")]"
    else
        pass
    fi
}

# --- Broken data files: file | way | exit code | standard error.
# A song that cannot be loaded is reported and its part runs silent; the
# main song then also fails to start at the switch. A photo that cannot be
# opened is skipped quietly; one that opens but is no picture is reported.
while IFS='|' read -r file way expected_code expected_err; do
    [ -n "$file" ] || continue
    fresh_data
    break_file "$work/run/data/$file" "$way"
    run --headless --fps 2
    check "data/$file $way" "$expected_code" "$expected_err"
done <<EOF
Tq_outro.xm|missing|0|$intro
Tq_outro.xm|empty|0|$intro
Tq_outro.xm|cut|0|$intro
Tq_outro.xm|random|0|$intro
Tq_outro.xm|photo|0|$intro
Tq_outro.xm|fifo|0|$intro
Tq_outro.xm|zero|0|$intro
Tq_outro.xm|huge|0|$intro
VELTO63K.XM|missing|0|$velto$nostart
VELTO63K.XM|empty|0|$velto$nostart
VELTO63K.XM|cut|0|$velto$nostart
VELTO63K.XM|random|0|$velto$nostart
VELTO63K.XM|photo|0|$velto$nostart
VELTO63K.XM|fifo|0|$velto$nostart
VELTO63K.XM|zero|0|$velto$nostart
skorv1.bitmap|missing|0|
skorv1.bitmap|empty|0|Error\nFailed to open DIB file data/skorv1.bitmap.\n
skorv1.bitmap|cut|0|$conversion
skorv1.bitmap|random|0|$unknown
skorv1.bitmap|song|0|$unknown
skorv1.bitmap|fifo|0|
skorv1.bitmap|zero|0|
skorv2.bitmap|cut|0|$conversion
skorv2.bitmap|fifo|0|
skorv3.bitmap|random|0|$unknown
skorv3.bitmap|zero|0|
EOF

# --- Several files at once.
fresh_data
rm -f "$work/run/data/Tq_outro.xm" "$work/run/data/VELTO63K.XM"
run --headless --fps 2
check "both songs missing" 0 "$intro$velto$nostart"

fresh_data
rm -f "$work/run/data"/skorv*.bitmap
run --headless --fps 2
check "no photo at all" 1 "$textures"

# No face to set the text in: refused before anything is shown.
fresh_data
printf '<?xml version="1.0"?>\n<fontconfig></fontconfig>\n' >"$work/no-fonts.conf"
export FONTCONFIG_FILE="$work/no-fonts.conf"
run --headless --fps 2
unset FONTCONFIG_FILE
check "no typeface" 1 "eyesonly: no monospaced typeface could be found or opened (fontconfig): the text cannot be set\n"

fresh_data
rm -rf "$work/run/data"
run --headless --fps 2
check "no data folder" 1 "eyesonly: none of the show's files (photos and songs) found; looked in $work/run/data, $work/xdg-data/eyesonly/data, $work/bin/data, $work/share/eyesonly/data\n"

# --- Where each file comes from: the folders in their order, each file on
# its own. The program beside the build's data; a broken file shows which
# folder won. Lines: where a broken file lies (own: the --data folder, run:
# the run directory's data/, xdg: the user's data folder), the way it is
# broken, a later folder with a good copy (or none) | standard error.
program="$build/eyesonly"
while IFS='|' read -r broken way good expected_err; do
    [ -n "$broken" ] || continue
    rm -rf "$work/run" "$work/own" "$work/xdg-data/eyesonly"
    mkdir -p "$work/run/data" "$work/own" "$work/xdg-data/eyesonly/data"
    file=${broken#*/}
    case "${broken%%/*}" in
        own) folder="$work/own" ;;
        run) folder="$work/run/data" ;;
        xdg) folder="$work/xdg-data/eyesonly/data" ;;
    esac
    cp "$build/data/$file" "$folder/$file"
    break_file "$folder/$file" "$way"
    [ -z "$good" ] || cp "$build/data/$file" "$good/$file"
    run --headless --fps 2 --until 1 --data "$work/own"
    check "$broken $way, a good copy in ${good:-no other folder}" 0 "$expected_err"
done <<EOF
run/skorv1.bitmap|cut||$conversion
xdg/Tq_outro.xm|empty||$intro
xdg/skorv2.bitmap|empty||Error\nFailed to open DIB file $work/xdg-data/eyesonly/data/skorv2.bitmap.\n
run/VELTO63K.XM|random|$work/xdg-data/eyesonly/data|$velto
own/skorv3.bitmap|random|$work/run/data|$unknown
run/Tq_outro.xm|missing||
EOF
program="$work/bin/eyesonly"

# --- Options: arguments | exit code | first line of standard error.
fresh_data
while IFS='|' read -r args expected_code first_line; do
    [ -n "$args" ] || continue
    # shellcheck disable=SC2086
    run $args
    got=$(head -n 1 "$work/err")
    if [ "$code" != "$expected_code" ] || [ "$got" != "$first_line" ]; then
        fail "options '$args': exit $code, '$got'; expected $expected_code, '$first_line'"
    else
        pass
    fi
done <<'EOF'
--bogus|2|eyesonly: unknown option '--bogus'
--fps|2|eyesonly: --fps needs a number from 1 to 1000
--fps 0|2|eyesonly: --fps needs a number from 1 to 1000, not '0'
--fps 1e-15|2|eyesonly: --fps needs a number from 1 to 1000, not '1e-15'
--fps 1e9|2|eyesonly: --fps needs a number from 1 to 1000, not '1e9'
--help|0|
--version|0|
--until 5e6 --fps 10|2|eyesonly: --until needs a number of seconds from 0 to 4000000, not '5e6'
--from 200 --fps 10 --headless|2|eyesonly: --from 200 is past the show's end: at this rate it is 149.3 s long
--from 3000000 --fps 60 --headless|2|eyesonly: --from 3000000 is past the show's end: at this rate it is 146.466 s long
--from 2147483.648 --fps 2 --capture w.mkv|2|eyesonly: --from 2147483.648 is past the show's end: at this rate it is 209 s long
--from 1e-400 --fps 10 --until 0 --headless|0|
--capture x.MP4 --crf 30 --preset ultrafast --until 0|0|eyesonly: wrote 1 frame (0.0 s of show) to x.MP4
--fps 0x1e|2|eyesonly: --fps needs a number from 1 to 1000, not '0x1e'
--capture c.mp4 --crf 0x10|2|eyesonly: --crf needs a whole number from 0 to 51, not '0x10'
--windowed --desktop|2|eyesonly: --desktop does not go with --windowed or --headless
--headless --windowed|2|eyesonly: --headless does not go with --windowed
--until 5|2|eyesonly: --until needs the fixed-step clock: give --fps (or --capture)
--scale 2|2|eyesonly: --scale goes with --capture
--capture show.avi|2|eyesonly: unknown extension ".avi" in show.avi (use .mp4, .mkv, or a directory ending in / for PNG frames)
--capture out.mp4 --scale 9|2|eyesonly: --scale needs a whole number from 1 to 8, not '9'
--capture out.mp4 --fps 1001|2|eyesonly: --fps needs a number from 1 to 1000, not '1001'
--capture out.mp4 --desktop|2|eyesonly: --capture draws offscreen; it does not go with --windowed or --desktop
--capture no/such/folder/out.mp4|1|eyesonly: cannot write no/such/folder/out.mp4: No such file or directory
--capture data/skorv1.bitmap.mkv --until 0|0|eyesonly: wrote 1 frame (0.0 s of show) to data/skorv1.bitmap.mkv
--capture data/skorv1.bitmap.mkv|2|eyesonly: data/skorv1.bitmap.mkv already exists (give --force to overwrite it)
--fps 60 --max-fps 30|2|eyesonly: --max-fps paces the real clock; it does not go with --fps
--capture out.mp4 --max-fps 30|2|eyesonly: --max-fps paces the real clock; a capture runs on the fixed-step clock (give --fps)
--data no/such/folder|2|eyesonly: --data needs a folder, and 'no/such/folder' is none
--size 1920|2|eyesonly: --size needs a size WxH, each from 16 to 16384, not '1920'
--size 1920x-8|2|eyesonly: --size needs a size WxH, each from 16 to 16384, not '1920x-8'
--size 8x8|2|eyesonly: --size needs a size WxH, each from 16 to 16384, not '8x8'
--capture out.mkv --size 1001x750|2|eyesonly: --size needs an even width and height of at most 4096 with --capture
--capture out.mkv --size 1280x960 --scale 2|2|eyesonly: --scale enlarges the 640 x 480 picture; it does not go with --size
--capture data/sized.mkv --size 1000x750 --until 0|0|eyesonly: wrote 1 frame (0.0 s of show) to data/sized.mkv
EOF
run --version
grep -Eq '^eyesonly [0-9]+\.[0-9]+' "$work/out" && grep -Eq '^face: .+ \(/.+\)$' "$work/out" && pass ||
    fail "--version printed [$(cat "$work/out")]"

# --- A program with no capture module beside it or in ../lib/eyesonly/modules: a
# capture is one line of error with exit 1 (the program cannot do it, the
# options are fine), and the show itself runs as ever.
mkdir "$work/alone"
cp "$build/eyesonly" "$work/alone/eyesonly"
program="$work/alone/eyesonly"
real=$(cd "$work" && pwd -P)
run --capture alone.mkv --until 0
check "a capture without the capture module" 1 "eyesonly: cannot load the capture module eyesonly-capture.so: not found in $real/alone or $real/lib/eyesonly/modules\n"
run --headless --fps 2 --until 1
check "a show without the capture module" 0 ''
# A module cut short, a pipe or a folder in its place is never handed to
# the loader (which would fault, or wait for a writer for good).
for row in 'cut4096|cut short or not a shared library (4096 bytes)' 'cut70000|cut short or not a shared library (70000 bytes)' \
    'fifo|not a regular file' 'folder|not a regular file'; do
    way=${row%%|*} module="$work/alone/eyesonly-capture.so"
    rm -rf "$module" "$work/run/frames"
    case "$way" in cut*) head -c "${way#cut}" "$build/eyesonly-capture.so" >"$module" ;; fifo) mkfifo "$module" ;; folder) mkdir "$module" ;; esac
    for output in alone.mkv frames/; do
        run --capture "$output" --until 0
        check "a capture with the module $way, into $output" 1 "eyesonly: cannot load the capture module eyesonly-capture.so: $real/alone/eyesonly-capture.so is ${row#*|}\n"
    done
done
program="$work/bin/eyesonly"

# --- No display and no --headless: the window cannot be made.
# With no runtime folder either, nothing but the show's own words.
mkdir -m 700 "$work/xdg"
for runtime in "$work/xdg" ""; do
    (cd "$work/run" && unset DISPLAY WAYLAND_DISPLAY XDG_RUNTIME_DIR && [ -z "$runtime" ] || export XDG_RUNTIME_DIR="$runtime"
     exec timeout 60 "$program") >/dev/null 2>"$work/err"
    code=$?
    check "no display, runtime folder '$runtime'" 1 'ERROR\nFailed To Register The Window Class.\n'
done

# --- The trace on a full disk, and into a pipe closed early.
run --headless --fps 10 --trace
[ -s "$work/out" ] || fail "no trace written"
(cd "$work/run" && exec timeout 60 "$program" --headless --fps 10 --trace) >/dev/full 2>"$work/err"
code=$?
check "trace to a full disk" 1 'eyesonly: cannot write the trace: No space left on device\n'
for what in help version; do
    (cd "$work/run" && exec timeout 60 "$program" --$what) >/dev/full 2>"$work/err"
    code=$?
    check "--$what to a full disk" 1 "eyesonly: cannot write the $what: No space left on device\n"
done
for what in help version trace; do
    (cd "$work/run" && exec timeout 60 "$program" --headless --fps 10 --until 1 --$what) >&- 2>"$work/err"
    code=$?
    check "--$what to a closed standard output" 1 "eyesonly: cannot write the $what: standard output is closed\n"
done

# --- Signals during the show: 128 + the signal's number, at once.
for signal in INT:2 TERM:15 HUP:1; do
    number=${signal#*:}
    signal=${signal%:*}
    (cd "$work/run" && exec "$program" --headless --trace) >"$work/trace" 2>"$work/err" &
    pid=$!
    # Once the show draws: its first trace line.
    until [ -s "$work/trace" ] || ! kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
    kill -s "$signal" "$pid"
    start=$(date +%s)
    wait "$pid"
    code=$?
    took=$(($(date +%s) - start))
    expected=$((128 + number))
    [ "$took" -le 5 ] || fail "SIG$signal during the show: took $took s to end"
    check "SIG$signal during the show" "$expected" ""
done

# --- Captures: case | exit code | a line standard error holds (grep -E) |
# the file to decode (empty: the one the last line names; -: none) | its
# frames ("said": as many as the last line says, N: exactly, +: some) | the
# command, run by sh in $work/run with $P the program. Each case starts with
# the number of the fault it was found as.
# frames_in FILE: the pictures ffmpeg decodes from the whole of FILE.
frames_in() {
    ffmpeg -nostdin -v error -i "$1" -map 0:v:0 -fps_mode passthrough -f framemd5 - 2>"$work/ffmpeg" |
        grep -vc '^#'
}
# check_file NAME FILE FRAMES: FILE plays without a decoding error (a file
# cut at a full disk may end early) and holds FRAMES pictures.
check_file() {
    said=$(sed -n 's/^eyesonly: [a-z]* \([0-9]*\) frames* (.*) to \(.*\)$/\1 \2/p' "$work/err" | tail -n 1)
    file=$2
    [ -n "$file" ] || file=${said#* }
    case "$file" in /*) ;; *) file="$work/run/$file" ;; esac
    got=$(frames_in "$file")
    want=$3
    [ "$want" = said ] && want=${said%% *}
    if [ ! -s "$file" ] || [ -z "$got" ] || [ "$got" = 0 ] || grep -v 'File ended prematurely' "$work/ffmpeg" | grep -q .; then
        fail "$1: $file does not play cleanly ($(head -c 200 "$work/ffmpeg"))"
    elif [ "$want" = + ] || [ "$got" = "$want" ]; then
        pass
    else
        fail "$1: $file holds $got frames, expected ${want:-a count on standard error}"
    fi
}
fresh_data
mkdir -p "$work/nophoto/data" "$work/frames"
cp "$build/data"/*.[xX][mM] "$work/nophoto/data/"
: >"$work/frames/frame-000050.png"
while IFS='|' read -r name expected_code pattern file frames command; do
    [ -n "$name" ] || continue
    (cd "$work/run" && P="$program" exec timeout -k 5 "$bound" sh -c "$command") >"$work/out" 2>"$work/err"
    code=$?
    if [ "$code" != "$expected_code" ]; then
        fail "capture $name: exit code $code, expected $expected_code; stderr: $(tail -n 3 "$work/err")"
    elif [ -n "$pattern" ] && ! grep -Eq "$pattern" "$work/err"; then
        fail "capture $name: standard error [$(cat "$work/err")] has no '$pattern'"
    elif [ "$file" = - ]; then
        pass
    else
        check_file "capture $name" "$file" "$frames"
    fi
done <<'CASES'
1 standard error closed|0||c.mp4|151|$P --capture c.mp4 --fps 10 --until 15 2>&-
1 standard output closed|0||c.mkv|151|$P --capture c.mkv --fps 10 --until 15 >&-
2 the trace into a pipe closed early|1|^eyesonly: cannot write the trace: Broken pipe$||said|{ $P --capture p.mp4 --fps 10 --trace; echo $? >status; } | head -n 1 >/dev/null; exit $(cat status)
2 SIGHUP|129|^eyesonly: wrote [0-9]+ frames||said|$P --capture h.mp4 --fps 10 & until [ "$(stat -c %s h.part.mp4 2>/dev/null || echo 0)" -gt 200000 ] || ! kill -0 $! 2>/dev/null; do sleep 0.1; done; kill -HUP $!; wait $!
3 a second SIGINT 15 ms after the first|130||s.part.mp4|+|$P --capture s.mp4 --fps 30 & until [ "$(stat -c %s s.part.mp4 2>/dev/null || echo 0)" -gt 200000 ]; do sleep 0.1; done; kill -INT $!; sleep 0.015; kill -INT $!; wait $!; s=$?; [ -e s.mp4 ] && mv s.mp4 s.part.mp4; exit $s
4 an mp4 into a FIFO|0|^eyesonly: wrote 21 frames|f.copy.mp4|21|mkfifo f.mp4; cat f.mp4 >f.copy.mp4 & $P --capture f.mp4 --fps 10 --until 2; s=$?; wait; exit $s
4 an mkv into a FIFO|0|^eyesonly: wrote 21 frames|f.copy.mkv|21|mkfifo f.mkv; cat f.mkv >f.copy.mkv & $P --capture f.mkv --fps 10 --until 2; s=$?; wait; exit $s
6 no photo readable: the old file stays|1|^eyesonly: kept no frames; nothing was written to|-|-|echo old >old.mp4; cd ../nophoto && $P --capture ../run/old.mp4 --force --fps 10; s=$?; [ "$(cat ../run/old.mp4)" = old ] && [ ! -e ../run/old.part.mp4 ] && exit $s
6 an mp4 over a file size limit|1|^eyesonly: disk full while writing .*full.mp4: File too large$||said|ulimit -f 1500; $P --capture full.mp4 --fps 10
6 an mkv over a file size limit|1|^eyesonly: disk full while writing .*full.mkv: File too large$||said|ulimit -f 1500; $P --capture full.mkv --fps 10
7 a folder capture that keeps no frames leaves none of its own, and the next one writes|0|^eyesonly: wrote 1 frame|-|-|$P --capture nf/ --fps 10 --from 200; [ ! -e nf/audio.wav ] && $P --capture nf/ --fps 10 --until 0
7 a folder with a later frame|2|frame-000050.png already exists \(give --force|-|-|$P --capture ../frames --fps 10 --until 1
11 a link in a folder capture's way|2|l1/frame-000001.png.part already exists \(give --force|-|-|echo v >victim; mkdir l1; ln -s ../victim l1/frame-000001.png.part; $P --capture l1/ --fps 10 --until 0.1; s=$?; [ "$(cat victim)" = v ] && exit $s
11 links in a folder removed as names with --force|0|^eyesonly: wrote 2 frames|-|-|echo v >victim; mkdir l2; for n in frame-000001.png.part frame-000002.png audio.wav; do ln -s ../victim l2/$n; done; $P --capture l2/ --fps 10 --until 0.1 --force; s=$?; [ "$(cat victim)" = v ] && [ ! -L l2/audio.wav ] && [ ! -L l2/frame-000002.png ] && exit $s
11 an mp4 whose target and part file are links, with --force|0|^eyesonly: wrote 2 frames|l.mp4|2|echo v >victim; ln -s victim l.mp4; ln -s victim l.part.mp4; $P --capture l.mp4 --fps 10 --until 0.1 --force; s=$?; [ "$(cat victim)" = v ] && exit $s
11 an mkv whose part file is a link|2|l.part.mkv already exists \(give --force|-|-|echo v >victim; ln -s victim l.part.mkv; $P --capture l.mkv --fps 10 --until 0.1; s=$?; [ "$(cat victim)" = v ] && exit $s
12 --force removes a cut frame a killed capture left|0||-|-|mkdir k; : >k/frame-000009.png.part; $P --capture k/ --fps 10 --until 0.1 --force; s=$?; [ ! -e k/frame-000009.png.part ] && exit $s
13 a read-only folder|1|^eyesonly: cannot write ro/x.mp4: Permission denied$|-|-|mkdir ro && chmod 555 ro && chmod 755 ..; [ "$(id -u)" = 0 ] && exec setpriv --reuid=65534 --regid=65534 --clear-groups $P --capture ro/x.mp4 --until 0; exec $P --capture ro/x.mp4 --until 0
14 a frame folder removed while the capture runs|1|^eyesonly: kept no frames|-|-|$P --capture gone/ --fps 10 --until 60 & until [ -e gone/frame-000020.png ]; do sleep 0.1; done; rm -rf gone; wait $!
14 an mkv whose folder is removed while it runs|1|^eyesonly: kept no frames|-|-|mkdir g; $P --capture g/x.mkv --fps 10 --until 60 & until [ -s g/x.part.mkv ]; do sleep 0.1; done; rm -rf g; wait $!
15 the live bar in a 40-column terminal|0||-|-|script -qfec "stty cols 40; exec $P --capture b.mkv --fps 10 --until 3" bar >/dev/null; tr '\r' '\n' <bar | grep -q '^\[.*frame' && tr '\r' '\n' <bar | awk '/^\[/ && length > 39 {exit 1}'
16 SIGTERM while the file is finished|143|^eyesonly: wrote 11 frames|fin.mkv|11|EYESONLY_TEST_HOLD_FINISH=1 $P --capture fin.mkv --fps 10 --until 1 & until [ -e fin.mkv ]; do sleep 0.05; done; kill -TERM $!; wait $!
8 two captures to one file at once|2|^eyesonly: another capture is writing .*t.mp4|t.mp4|301|$P --capture t.mp4 --fps 5 --until 60 --force 2>/dev/null & until [ -s t.part.mp4 ] || ! kill -0 $! 2>/dev/null; do sleep 0.1; done; $P --capture t.mp4 --fps 5 --until 1 --force; s=$?; wait; exit $s
CASES

# --- SIGKILL during an mp4 capture: NAME.part.mp4 plays and holds all but
# the last two seconds of what was drawn, which the live bar tells on the
# terminal `script` makes.
bar_frame() { tr '\r' '\n' <"$work/bar" 2>/dev/null | sed -n 's/.* frame \([0-9]*\) .*/\1/p' | tail -n 1; }
for at in 90 300; do
    rm -f "$work/run/killed.part.mp4" "$work/bar"
    (cd "$work/run" && exec script -qfec "exec '$program' --capture killed.mp4 --fps 30" "$work/bar") >/dev/null 2>&1 &
    terminal=$!
    # Once the bar says that many frames are drawn (3 and 10 s of show).
    until [ "$(bar_frame)" -ge "$at" ] 2>/dev/null || ! kill -0 "$terminal" 2>/dev/null; do sleep 0.1; done
    kill -s KILL "$(pgrep -P "$terminal" -x eyesonly)"
    wait "$terminal"
    drawn=$(bar_frame)
    got=$(frames_in "$work/run/killed.part.mp4")
    if [ -z "$drawn" ] || [ -z "$got" ] || [ "$got" -lt $((drawn - 60)) ] || [ "$got" -gt "$drawn" ]; then
        fail "SIGKILL after frame $at: ${drawn:-no} frames drawn, killed.part.mp4 plays ${got:-no} frames"
    else
        pass
    fi
done

# --- 10 A photo that cannot be read, or lies in a folder that cannot be
# searched, is named and passed over for the next place; with none left the
# show reports it (run as a user that mode 000 shuts out: root reads
# anything). Where: own (the --data folder's copy is mode 000), folder (the
# --data folder is), only (the run directory's, with no other copy).
chmod 755 "$work"
as_user=""
[ "$(id -u)" = 0 ] && as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
denied="Permission denied"
for where in own folder only; do
    fresh_data
    rm -rf "$work/own"
    mkdir -p "$work/own"
    cp "$build/data"/* "$work/own/"
    case "$where" in
        own) chmod 000 "$work/own/skorv1.bitmap"
             expected="eyesonly: cannot read $work/own/skorv1.bitmap: $denied\n" ;;
        folder) chmod 000 "$work/own"
             expected="" ;;
        only) chmod 000 "$work/run/data/skorv1.bitmap"
             rm -rf "$work/own"/*
             expected="eyesonly: cannot read data/skorv1.bitmap: $denied\nError\nFailed to open DIB file data/skorv1.bitmap.\n" ;;
    esac
    # shellcheck disable=SC2086
    (cd "$work/run" && exec timeout 60 $as_user "$program" --headless --fps 2 --until 1 --data "$work/own") >/dev/null 2>"$work/err"
    code=$?
    chmod 755 "$work/own"
    if [ "$where" = folder ]; then
        # Each of the five files named once, in the order the show asks.
        for file in skorv1.bitmap skorv2.bitmap skorv3.bitmap Tq_outro.xm VELTO63K.XM; do
            echo "eyesonly: cannot read $work/own/$file: $denied"
        done | sort >"$work/expected"
        sort "$work/err" | cmp -s - "$work/expected" && [ "$code" = 0 ] && pass ||
            fail "an unreadable --data folder: exit $code, stderr [$(cat "$work/err")]"
    else
        check "skorv1.bitmap unreadable ($where)" 0 "$expected"
    fi
done

# --- Ctrl-C during a capture: 130, and what was rendered plays.
fresh_data
(cd "$work/run" && exec "$program" --capture stopped.mp4 --fps 30) >/dev/null 2>"$work/err" &
pid=$!
until [ "$(stat -c %s "$work/run/stopped.part.mp4" 2>/dev/null || echo 0)" -gt 200000 ] || ! kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
kill -s INT "$pid"
wait "$pid"
code=$?
[ "$code" = 130 ] && check_file "Ctrl-C in a capture" "" said || fail "Ctrl-C in a capture: exit $code"

# --- 5, 6 A small disk: a capture runs; one that fills it ends with 1, a
# clear message and a finished file of what fitted, whose sound ends with
# its last frame (within one sound frame, 1024 samples at 44100 Hz).
# stream_end FILE v|a: where the first video or sound stream of FILE ends
# (its packets' latest time and duration), in seconds.
stream_end() {
    ffprobe -v error -select_streams "$2:0" -show_entries packet=pts_time,duration_time -of csv=p=0 "$1" |
        awk -F, '$1 != "N/A" && (end == "" || $1 + $2 > end) { end = $1 + $2 } END { print end }'
}
if [ "$(id -u)" = 0 ] && mkdir "$work/small" && mount -t tmpfs -o size=9m tmpfs "$work/small" 2>/dev/null; then
    (cd "$work/run" && exec timeout 120 "$program" --capture "$work/small/one.mp4" --scale 8 --until 0) >/dev/null 2>"$work/err"
    code=$?
    [ "$code" = 0 ] && check_file "one frame at scale 8 on a 9 MB disk" "" 1 ||
        fail "one frame at scale 8 on a 9 MB disk: exit $code, $(tail -n 1 "$work/err")"
    for name in full.mp4 full.mkv; do
        rm -f "$work/small"/*
        (cd "$work/run" && exec timeout 120 "$program" --capture "$work/small/$name" --fps 30) >/dev/null 2>"$work/err"
        code=$?
        if [ "$code" = 1 ] && grep -q "disk full while writing $work/small/$name" "$work/err" &&
            grep -q "kept [0-9]* frames .* to $work/small/$name\$" "$work/err"; then
            check_file "$name on a full disk" "" said
            video=$(stream_end "$work/small/$name" v)
            sound=$(stream_end "$work/small/$name" a)
            awk -v v="$video" -v a="$sound" 'BEGIN { exit !(v != "" && a != "" && (a - v) ^ 2 <= (1024 / 44100) ^ 2) }' &&
                pass || fail "$name on a full disk: the video ends at ${video:-?} s, the sound at ${sound:-?} s"
        else
            fail "$name on a full disk: exit $code, stderr [$(tail -n 3 "$work/err")]"
        fi
    done
    umount "$work/small"
else
    echo "faults_test: skipped the small-disk captures (needs root to mount a small tmpfs)"
fi

echo "faults_test: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
