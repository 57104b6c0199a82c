#!/bin/sh
# The player's keys on the real program in a real window under Xvfb, pressed
# as real keys: an Escape tapped between two frames, M (what the sound
# device played recorded by SDL's disk audio driver), Space, Right, Left,
# Home, PageDown, PageUp and the media keys, each judged by the window's
# title and pixels, the trace and the recorded sound. Drawn at a size, the window's edges are smoothed, and a
# paused picture resized is drawn anew at the new size.
# Usage: controls_test.sh BUILD-DIR
set -u
build=$(cd "${1:?usage: controls_test.sh BUILD-DIR}" && pwd)
program="$build/eyesonly"
xgrab="$build/tests/xgrab"
framecheck="$build/tests/framecheck"
LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(cd "$(dirname "$0")/.." && pwd)/lsan.supp}
export LSAN_OPTIONS
title=".. for your eyes only .."
. "$(dirname "$0")/../support/xvfb.sh"
work=$(mktemp -d)
pid=""
failures=0
passes=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; passes=$((passes + 1)); }
check() {  # check CONDITION-STATUS WHAT: pass or fail by the last command's status
    if [ "$1" = 0 ]; then pass "$2"; else fail "$2"; fi
}

stop_program() { [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; pid=""; }
trap 'stop_program; stop_xvfb; rm -rf "$work"' EXIT

start_xvfb 640x480x24

# A key pressed and released at once, as a tap.
tap() {
    focus_window "$window"
    xdotool keydown "$1" keyup "$1"
}
# Waits up to $1 s for the program to end; its exit code in $code, 124 when
# it did not end. (A program that ended stays until it is waited for, so the
# wait runs in this shell, not in a subshell.)
wait_exit() {
    i=0
    while [ -z "$(ps -o stat= -p "$pid" | grep Z)" ] && kill -0 "$pid" 2>/dev/null && [ $i -lt $(($1 * 10)) ]; do
        sleep 0.1
        i=$((i + 1))
    done
    if [ -z "$(ps -o stat= -p "$pid" | grep Z)" ] && kill -0 "$pid" 2>/dev/null; then stop_program; code=124; return; fi
    wait "$pid"
    code=$?
    pid=""
}
# Show time of a trace line's reading, from the start-up reading.
show_ms() { echo $(($1 - start_ms)); }
lines() { wc -l <"$work/trace"; }
# Waits up to 30 s for the trace to hold more than $1 lines.
wait_lines() {
    i=0
    while [ "$(lines)" -le "$1" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
}
# Stereo frames the sound device has played so far. SDL's disk driver
# writes them at the device's pace, paused or not, so they are the test's
# clock on the real-clock run.
played() { echo $(($(stat -c %s "$work/sound.raw" 2>/dev/null || echo 0) / 4)); }
# Waits up to 30 s for the device to play $1 more stereo frames (44100 a
# second); false when it did not.
wait_played() {
    target=$(($(played) + $1))
    i=0
    while [ "$(played)" -lt "$target" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
    [ "$(played)" -ge "$target" ]
}
# The stereo frame where the sound first is not silent, in a raw 16-bit file.
first_sound() { od -An -v -t d2 -w4 "$1" | awk '$1 != 0 || $2 != 0 { print NR - 1; exit }'; }
# The largest difference between two stretches of $4 stereo frames: file $1
# from frame $2 and file $3 from frame $5.
largest_difference() {
    od -An -v -t d2 -w4 -j $(($2 * 4)) -N $(($4 * 4)) "$1" >"$work/a"
    od -An -v -t d2 -w4 -j $(($5 * 4)) -N $(($4 * 4)) "$3" >"$work/b"
    paste "$work/a" "$work/b" | awk '{ for (i = 1; i <= 2; i++) { d = $i - $(i + 2); if (d < 0) d = -d; if (d > m) m = d } }
        END { print NR == 0 ? 99999 : m + 0 }'
}

cd "$build" || exit 1

# --- An Escape tapped between two frames (two a second, so both of its
#     messages wait for the same turn) still ends the show, with 27. The
#     window has the focus first, and the show has seen it by its first
#     event: a focus message after the Escape's would be the last message,
#     and its code the exit code.
"$program" --windowed --max-fps 2 --trace >"$work/trace" 2>"$work/err" &
pid=$!
if window=$(wait_window "$title"); then
    focus_window "$window"
    wait_lines 0
    tap Escape
    wait_exit 10
    [ "$code" = 27 ]
    check $? "a quick Escape tap between two frames ends the show with 27 (got $code)"
else
    fail "no window for the Escape tap"
    stop_program
fi

# --- The references: the show's timeline and its soundtrack, on the
#     fixed-step clock.
"$program" --headless --fps 60 --trace --until 60 >"$work/reference" 2>/dev/null
"$program" --capture "$work/capture/" --until 12 >/dev/null 2>&1
ffmpeg -v error -i "$work/capture/audio.wav" -f s16le "$work/reference.raw"
# The show time of an event in the reference timeline.
reference_ms() { awk -v e="$1" '{ ev = $3; for (i = 4; i <= NF; i++) ev = ev " " $i } ev == e { print $2 - 1000; exit }' "$work/reference"; }

# --- One run, on the real clock with sound, driven by the keys.
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" "$program" --windowed --trace >"$work/trace" 2>"$work/err" &
pid=$!
window=$(wait_window "$title") || { fail "no window for the keys"; exit 1; }
wait_lines 0
start_ms=$(($(awk 'NR == 1 { print $2 }' "$work/trace") - $(reference_ms "caption 1")))

# M: the device plays silence, and the song goes on in its place. M is
# pressed once the song is heard; what the device still held when it was
# pressed plays out in the first half second.
i=0
while [ -z "$(first_sound "$work/sound.raw")" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
tap m
wait_window "$title (muted)" >/dev/null
check $? "M: the title says muted"
wait_played 22050
muted_from=$(played)
wait_played 66150
went_on=$?
muted_to=$(played)
tap m
wait_window "$title" >/dev/null
check $? "M again: the title is the show's own"
wait_played 66150
heard_to=$(played)
silent=$(od -An -v -t d2 -j $((muted_from * 4)) -N $(((muted_to - muted_from) * 4)) "$work/sound.raw" | tr -d ' 0\n' | wc -c)
[ "$went_on" = 0 ] && [ "$silent" = 0 ]
check $? "muted, the device went on and played silence ($((muted_to - muted_from)) frames)"
shift=$(($(first_sound "$work/sound.raw") - $(first_sound "$work/reference.raw")))
stretch=11025
from=$((heard_to - 2 * stretch))
difference=$(largest_difference "$work/sound.raw" "$from" "$work/reference.raw" "$stretch" $((from - shift)))
[ "$difference" -le 2 ]
check $? "unmuted, the song is where it would be without the mute (largest difference $difference)"

# Space: the picture and the clock stand still; again, they go on from the
# same reading.
tap space
wait_window "$title (paused)" >/dev/null
check $? "Space: the title says paused"
before=$(lines)
last_event=$(tail -n 1 "$work/trace" | cut -d ' ' -f 3-)
last_ms=$(show_ms "$(tail -n 1 "$work/trace" | cut -d ' ' -f 2)")
one=$("$xgrab" "$window")
wait_played 44100
two=$("$xgrab" "$window")
[ -n "$one" ] && [ "$one" = "$two" ]
check $? "paused, two pictures 1 s apart are the same"
wait_played 88200 && [ "$(lines)" = "$before" ]
check $? "paused for 3 s, the trace stands still"
tap space
wait_window "$title" >/dev/null
check $? "Space again: the title is the show's own"
wait_lines "$before"
next=$(sed -n "$((before + 1))p" "$work/trace")
gap=$(($(show_ms "$(echo "$next" | cut -d ' ' -f 2)") - last_ms))
expected=$(($(reference_ms "$(echo "$next" | cut -d ' ' -f 3-)") - $(reference_ms "$last_event")))
[ "$gap" -ge $((expected - 500)) ] && [ "$gap" -le $((expected + 500)) ]
check $? "resumed from the same reading: $gap ms of show time between '$last_event' and the next event, expected $expected"

# Right twice, then Left once past 30 s: back to about 20 s.
tap Right
tap Right
before=$(lines)
wait_lines "$before"
right_ms=$(show_ms "$(sed -n "$((before + 1))p" "$work/trace" | cut -d ' ' -f 2)")
[ "$right_ms" -ge 25000 ] && [ "$right_ms" -le 45000 ]
check $? "Right twice: the next event at $right_ms ms of show time"
i=0
while [ "$(show_ms "$(tail -n 1 "$work/trace" | cut -d ' ' -f 2)")" -lt 30000 ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
at_ms=$(($(show_ms "$(tail -n 1 "$work/trace" | cut -d ' ' -f 2)")))
before=$(lines)
tap Left
wait_lines "$before"
line=$(sed -n "$((before + 1))p" "$work/trace")
left_ms=$(show_ms "$(echo "$line" | cut -d ' ' -f 2)")
event_ms=$(reference_ms "$(echo "$line" | cut -d ' ' -f 3-)")
[ "$left_ms" -ge $((at_ms - 10000 - 500)) ] && [ "$left_ms" -le $((at_ms - 10000 + 4000)) ] &&
    [ -n "$event_ms" ] && [ $((left_ms - event_ms)) -ge -500 ] && [ $((left_ms - event_ms)) -le 500 ]
check $? "Left at $at_ms ms: the next event '$(echo "$line" | cut -d ' ' -f 3-)' at $left_ms ms, where the show has it (${event_ms:-?} ms)"

# Home: the show from its start.
before=$(lines)
tap Home
wait_lines "$before"
line=$(sed -n "$((before + 1))p" "$work/trace")
[ "$(echo "$line" | cut -d ' ' -f 3-)" = "caption 1" ]
check $? "Home: the next event is the first caption ('$line')"

# The chapter keys and the media keys. Waits up to 30 s for an event after
# line $before; the line in $line.
wait_event() {
    i=0
    while [ $i -lt 300 ]; do
        line=$(tail -n +$((before + 1)) "$work/trace" | awk -v e="$1" '{ ev = $3; for (i = 4; i <= NF; i++) ev = ev " " $i } ev == e { print; exit }')
        [ -n "$line" ] && return 0
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}
before=$(lines)
tap Next
wait_event "scene 0"
scene_line=$line
wait_event "slide 2 28" && [ "${line%% *}" = "${scene_line%% *}" ]
check $? "PageDown: the title's first frame, the slideshow's end and 'scene 0' in it ('$line')"
# Forward into the ring tunnel, then back to the title: from the start again,
# so its first frame is the one --from lands on, frame and reading.
tap Next
before=$(lines)
tap Prior
wait_event "slide 2 28"
[ "$line" = "$(grep " slide 2 28$" "$work/reference")" ]
check $? "PageDown, PageUp: the title's first frame as --from has it ('$line')"
before=$(lines)
tap XF86AudioPrev
wait_event "caption 1"
check $? "the media keys' previous: the slideshow's first caption again ('$line')"
tap XF86AudioPlay
wait_window "$title (paused)" >/dev/null
check $? "the media keys' play/pause: the title says paused"
tap XF86AudioPlay
wait_window "$title" >/dev/null
check $? "play/pause again: the title is the show's own"

tap Escape
wait_exit 30
[ "$code" = 27 ]
check $? "Escape ends the show with 27 (got $code)"

# --- At 1280 x 960 (the ring tunnel from 72 s): the lines' edges smoothed,
#     pixels between a line and the black around it. Paused and made 640 x
#     480, the moment is drawn again at that size at once (as a jump to it
#     draws it), not the old picture cropped or black, with the trace
#     standing still.
# Grabs the window into $work/$1.ppm until its picture is $2 pixels and
# shows smoothed lines, other than $work/$3.ppm where given (at most 30 s);
# the pixels between a line and the black in $soft.
grab_lines() {
    i=0
    while [ $i -lt 300 ]; do
        geometry=$("$xgrab" "$window" "$work/$1.ppm" 2>/dev/null | cut -d ' ' -f 2)
        soft=$("$framecheck" soft "$work/$1.ppm" 0 0 640 480 2>/dev/null)
        [ "$geometry" = "$2" ] && [ "${soft:-0}" -gt 0 ] && { [ -z "${3:-}" ] || ! cmp -s "$work/$1.ppm" "$work/$3.ppm"; } &&
            break
        sleep 0.1
        i=$((i + 1))
    done
}
start_xvfb 1600x1200x24
"$program" --windowed --mute --size 1280x960 --from 72 --trace >"$work/trace" 2>"$work/err" &
pid=$!
if window=$(wait_window "$title"); then
    grab_lines large 1280x960
    tap space
    wait_window "$title (paused)" >/dev/null
    grab_lines large 1280x960
    [ "${soft:-0}" -gt 0 ]
    check $? "a 1280 x 960 window smooths its edges: $soft pixels between a line and the black"
    before=$(lines)
    ffmpeg -v error -i "$work/large.ppm" -vf crop=640:480:0:0 "$work/cropped.ppm"
    xdotool windowsize "$window" 640 480
    grab_lines small 640x480 cropped
    [ "${soft:-0}" -gt 0 ] && ! cmp -s "$work/small.ppm" "$work/cropped.ppm"
    check $? "paused and resized to 640 x 480, the picture is drawn anew ($soft pixels between)"
    [ "$(lines)" = "$before" ]
    check $? "the redraw leaves the trace as it was ($before lines, now $(lines))"
    tap XF86AudioStop
    wait_exit 30
    [ "$code" = 0 ]
    check $? "the media keys' stop ends the show with 0 (got $code)"
else
    fail "no window at 1280 x 960"
fi
stop_program

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
