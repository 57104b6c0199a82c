#!/bin/sh
# The fault matrix: the real program, headless, against every kind of broken
# data file, bad options, unreadable files, no display and signals. For
# each case: what it writes on standard error (a message box is its caption
# and text, a line each), its exit code, and that it ends within a bound.
# The captures' faults are tests/capture/capture_faults_test.sh's.
# Usage: sh tests/program/faults_test.sh BUILD-DIR
set -u
. "$(cd "$(dirname "$0")/../support" && pwd)/faults_preamble.sh"

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
--size +640x+48e1 --fps 10 --until 0 --headless|0|
--size 0x280x480|2|eyesonly: --size needs a size WxH, each from 16 to 16384, not '0x280x480'
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

# --- No display and no --headless: the window cannot be made; one line
# says so and what to do, a second what the video system said (its words
# vary with the system, so only that it said something is checked). With
# no runtime folder either, nothing else.
nodisplay='eyesonly: no display to show the show on: --headless plays it without one, --capture show.mp4 renders it to a video file\n'
check_nodisplay() {
    grep -q '^eyesonly: the video system said: .' "$work/err" || code="$code, without the video system's reason"
    sed -i '/^eyesonly: the video system said: /d' "$work/err"
    check "$1" 1 "$nodisplay"
}
mkdir -m 700 "$work/xdg"
for runtime in "$work/xdg" ""; do
    (cd "$work/run" && unset DISPLAY WAYLAND_DISPLAY XDG_RUNTIME_DIR && [ -z "$runtime" ] || export XDG_RUNTIME_DIR="$runtime"
     exec timeout 60 "$program") >/dev/null 2>"$work/err"
    code=$?
    check_nodisplay "no display, runtime folder '$runtime'"
done
# The same with a window or the desktop asked for.
for option in --windowed --desktop; do
    (cd "$work/run" && unset DISPLAY WAYLAND_DISPLAY && exec timeout 60 "$program" "$option") >/dev/null 2>"$work/err"
    code=$?
    check_nodisplay "no display, $option"
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

faults_end faults_test
