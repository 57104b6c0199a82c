#!/bin/sh
# The captures' fault matrix: the real program capturing into files and
# folders that fail it (links, a full disk, a file size limit, a FIFO, a
# folder removed), and stopped by signals and SIGKILL. For each case: its
# exit code and what standard error says; a capture's file is decoded
# whole by ffmpeg and must hold the frames the program says.
# Usage: sh tests/capture/capture_faults_test.sh BUILD-DIR
set -u
. "$(cd "$(dirname "$0")/../support" && pwd)/faults_preamble.sh"

# --- Captures: case | exit code | a line standard error holds (grep -E) |
# the file to decode (empty: the one the last line names; -: none) | its
# frames ("said": as many as the last line says, N: exactly, +: some) | the
# command, run by sh in $work/run with $P the program. Each case starts with
# the number of the fault it was found as. Each capture's name is its own:
# NAME.mp4 and NAME.mkv would share their subtitles, NAME.vtt.
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
1 standard output closed|0||d.mkv|151|$P --capture d.mkv --fps 10 --until 15 >&-
2 the trace into a pipe closed early|1|^eyesonly: cannot write the trace: Broken pipe$||said|{ $P --capture p.mp4 --fps 10 --trace; echo $? >status; } | head -n 1 >/dev/null; exit $(cat status)
2 SIGHUP|129|^eyesonly: wrote [0-9]+ frames||said|$P --capture h.mp4 --fps 10 & until [ "$(stat -c %s h.part.mp4 2>/dev/null || echo 0)" -gt 200000 ] || ! kill -0 $! 2>/dev/null; do sleep 0.1; done; kill -HUP $!; wait $!
3 a second SIGINT 15 ms after the first|130||s.part.mp4|+|$P --capture s.mp4 --fps 30 & until [ "$(stat -c %s s.part.mp4 2>/dev/null || echo 0)" -gt 200000 ]; do sleep 0.1; done; kill -INT $!; sleep 0.015; kill -INT $!; wait $!; s=$?; [ -e s.mp4 ] && mv s.mp4 s.part.mp4; exit $s
4 an mp4 into a FIFO|0|^eyesonly: wrote 21 frames|f.copy.mp4|21|mkfifo f.mp4; cat f.mp4 >f.copy.mp4 & $P --capture f.mp4 --fps 10 --until 2; s=$?; wait; exit $s
4 an mkv into a FIFO|0|^eyesonly: wrote 21 frames|g.copy.mkv|21|mkfifo g.mkv; cat g.mkv >g.copy.mkv & $P --capture g.mkv --fps 10 --until 2; s=$?; wait; exit $s
6 no photo readable: the old file stays|1|^eyesonly: kept no frames; nothing was written to|-|-|echo old >old.mp4; cd ../nophoto && $P --capture ../run/old.mp4 --force --fps 10; s=$?; [ "$(cat ../run/old.mp4)" = old ] && [ ! -e ../run/old.part.mp4 ] && exit $s
6 an mp4 over a file size limit|1|^eyesonly: disk full while writing .*full.mp4: File too large$||said|ulimit -f 1500; $P --capture full.mp4 --fps 10
6 an mkv over a file size limit|1|^eyesonly: disk full while writing .*fullk.mkv: File too large$||said|ulimit -f 1500; $P --capture fullk.mkv --fps 10
7 a folder capture that keeps no frames leaves none of its own, and the next one writes|0|^eyesonly: wrote 1 frame|-|-|$P --capture nf/ --fps 10 --from 200; [ ! -e nf/audio.wav ] && $P --capture nf/ --fps 10 --until 0
7 a folder with a later frame|2|frame-000050.png already exists \(give --force|-|-|$P --capture ../frames --fps 10 --until 1
11 a link in a folder capture's way|2|l1/frame-000001.png.part already exists \(give --force|-|-|echo v >victim; mkdir l1; ln -s ../victim l1/frame-000001.png.part; $P --capture l1/ --fps 10 --until 0.1; s=$?; [ "$(cat victim)" = v ] && exit $s
11 links in a folder removed as names with --force|0|^eyesonly: wrote 2 frames|-|-|echo v >victim; mkdir l2; for n in frame-000001.png.part frame-000002.png audio.wav; do ln -s ../victim l2/$n; done; $P --capture l2/ --fps 10 --until 0.1 --force; s=$?; [ "$(cat victim)" = v ] && [ ! -L l2/audio.wav ] && [ ! -L l2/frame-000002.png ] && exit $s
11 an mp4 whose target and part file are links, with --force|0|^eyesonly: wrote 2 frames|l.mp4|2|echo v >victim; ln -s victim l.mp4; ln -s victim l.part.mp4; $P --capture l.mp4 --fps 10 --until 0.1 --force; s=$?; [ "$(cat victim)" = v ] && exit $s
11 an mkv whose part file is a link|2|m.part.mkv already exists \(give --force|-|-|echo v >victim; ln -s victim m.part.mkv; $P --capture m.mkv --fps 10 --until 0.1; s=$?; [ "$(cat victim)" = v ] && exit $s
12 --force removes a cut frame a killed capture left|0||-|-|mkdir k; : >k/frame-000009.png.part; $P --capture k/ --fps 10 --until 0.1 --force; s=$?; [ ! -e k/frame-000009.png.part ] && exit $s
13 a read-only folder|1|^eyesonly: cannot write ro/x.mp4: Permission denied$|-|-|mkdir ro && chmod 555 ro && chmod 755 ..; [ "$(id -u)" = 0 ] && exec setpriv --reuid=65534 --regid=65534 --clear-groups $P --capture ro/x.mp4 --until 0; exec $P --capture ro/x.mp4 --until 0
14 a frame folder removed while the capture runs|1|^eyesonly: kept no frames|-|-|$P --capture gone/ --fps 10 --until 60 & until [ -e gone/frame-000020.png ]; do sleep 0.1; done; rm -rf gone; wait $!
14 an mkv whose folder is removed while it runs|1|^eyesonly: kept no frames|-|-|mkdir g; $P --capture g/x.mkv --fps 10 --until 60 & until [ -s g/x.part.mkv ]; do sleep 0.1; done; rm -rf g; wait $!
15 the live bar in a 40-column terminal|0||-|-|script -qfec "stty cols 40; exec $P --capture b.mkv --fps 10 --until 3" bar >/dev/null; tr '\r' '\n' <bar | grep -q '^\[.*frame' && tr '\r' '\n' <bar | awk '/^\[/ && length > 39 {exit 1}'
16 SIGTERM while the file is finished|143|^eyesonly: wrote 11 frames|fin.mkv|11|EYESONLY_TEST_HOLD_FINISH=1 $P --capture fin.mkv --fps 10 --until 1 & until [ -e fin.mkv ]; do sleep 0.05; done; kill -TERM $!; wait $!
17 subtitles beside the file already: the capture refused, nothing touched|2|v.vtt already exists \(give --force|-|-|echo v >v.vtt; $P --capture v.mkv --fps 10 --until 0.1; s=$?; [ ! -e v.mkv ] && [ "$(cat v.vtt)" = v ] && exit $s
17 a link where the subtitles go, removed as a name with --force|0|^eyesonly: wrote 2 frames|w.mkv|2|echo v >victim; ln -s victim w.vtt; $P --capture w.mkv --fps 10 --until 0.1 --force; s=$?; [ "$(cat victim)" = v ] && [ ! -L w.vtt ] && head -n 1 w.vtt | grep -qx WEBVTT && exit $s
8 two captures to one file at once|2|^eyesonly: another capture is writing .*t.mp4|t.mp4|301|$P --capture t.mp4 --fps 5 --until 60 --force 2>/dev/null & until [ -s t.part.mp4 ] || ! kill -0 $! 2>/dev/null; do sleep 0.1; done; $P --capture t.mp4 --fps 5 --until 1 --force; s=$?; wait; exit $s
CASES

# --- SIGKILL during an mp4 capture: NAME.part.mp4 plays and holds all but
# the last two seconds of what was drawn, which the live bar tells on the
# terminal `script` makes.
bar_frame() { [ -f "$work/bar" ] && tr '\r' '\n' <"$work/bar" | sed -n 's/.* frame \([0-9]*\) .*/\1/p' | tail -n 1; }
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
    echo "capture_faults_test: skipped the small-disk captures (needs root to mount a small tmpfs)"
fi

faults_end capture_faults_test
