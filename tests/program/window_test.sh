#!/bin/sh
# The real program in real windows under Xvfb, answered and stopped by real
# key presses: the full-screen question, Escape, the close box, and a
# display that offers the requested mode.
# Usage: window_test.sh BUILD-DIR
set -u
build=$(cd "${1:?usage: window_test.sh BUILD-DIR}" && pwd)
program="$build/eyesonly"
# Run by hand as well as by ctest: the same leak suppressions either way.
LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(cd "$(dirname "$0")/.." && pwd)/lsan.supp}
export LSAN_OPTIONS
xclose="$build/tests/xclose"
failures=0
passes=0
show_title=".. for your eyes only .."
. "$(dirname "$0")/../support/xvfb.sh"

fail() {
    echo "FAIL: $*"
    [ -s "$codefile.err" ] && sed 's/^/    stderr: /' "$codefile.err" | grep -v ALSA | tail -n 20
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; passes=$((passes + 1)); }

trap 'stop_xvfb; rm -f "$codefile" "$codefile.tmp" "$codefile.err"' EXIT

# A real key press (XTEST) into the given window, held until the window
# goes (the box is answered, the show ends), as a finger holds a key until
# something happens: a press and release that both arrive while one frame
# is paced would be handled in one run of messages, and the show would
# never see the key down.
press() {
    focus_window "$1"
    xdotool keydown "$2"
    wait_gone "$1"
    xdotool keyup "$2"
}

# Starts the program in the background; its exit code lands in $codefile.
codefile=$(mktemp)
start() {
    rm -f "$codefile"
    ( "$program" "$@" >/dev/null 2>"$codefile.err"; echo $? >"$codefile.tmp"; mv "$codefile.tmp" "$codefile" ) &
    pid=$!
}

# Waits for the program started last and prints its exit code (124 on a hang).
wait_exit() {
    i=0
    while [ ! -s "$codefile" ] && [ $i -lt 1200 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    if [ ! -s "$codefile" ]; then
        pkill -9 -P "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        echo 124
        return
    fi
    wait "$pid" 2>/dev/null
    cat "$codefile"
}

# Ends a program that the test gave up on.
abandon() {
    pkill -9 -P "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

# Starts the program with the given options after a name and the window
# size expected: its window comes without the question, at that size, and
# Escape ends it with 27.
expect_full_screen() {
    what=$1
    size=$2
    shift 2
    start "$@"
    if window=$(wait_window "$show_title"); then
        [ -n "$(find_window ogl)" ] && fail "$what: the full-screen question came"
        geometry=$(xwininfo -id "$window" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
        [ "$geometry" = "$size" ] || fail "$what: the window is $geometry, expected $size"
        press "$window" Escape
        code=$(wait_exit)
        [ "$code" = 27 ] && pass "$what: full screen without a question, Escape ends with 27" ||
            fail "$what: exit code $code, expected 27"
    else
        fail "$what: no full-screen window"
        abandon
    fi
}

cd "$build" || exit 1
[ -x "$program" ] || { echo "no program at $program" >&2; exit 1; }

# --- No display at all: a clear message, not a show nobody can see.
( unset DISPLAY WAYLAND_DISPLAY; exec timeout 60 "$program" ) >/dev/null 2>"$codefile.err"
code=$?
if [ "$code" = 1 ] && grep -q "^eyesonly: no display to show the show on: --headless" "$codefile.err" &&
   grep -q "^eyesonly: the video system said: ." "$codefile.err"; then
    pass "no display: a line on stderr says so and why, exit code 1"
else
    fail "no display: exit code $code, expected 1 with \"eyesonly: no display to show the show on: ...\""
fi

# --- A display that does not offer 640 x 480: the question comes first.
start_xvfb 1024x768x24

start
if box=$(wait_window ogl); then
    press "$box" Return
    if window=$(wait_window "$show_title"); then
        press "$window" Escape
        code=$(wait_exit)
        [ "$code" = 27 ] && pass "question answered Yes, a window, Escape ends with 27" ||
            fail "Escape in the window: exit code $code, expected 27"
    else
        fail "no show window after answering Yes"
        abandon
    fi
else
    fail "no question box on a display without 640 x 480"
    abandon
fi

start
if box=$(wait_window ogl); then
    press "$box" Escape
    if closing=$(wait_window ERROR); then
        press "$closing" Return
        code=$(wait_exit)
        [ "$code" = 0 ] && pass "question answered No: the closing box, exit code 0" ||
            fail "answering No: exit code $code, expected 0"
        [ -n "$(find_window "$show_title")" ] && fail "a show window was made after No"
    else
        fail "no \"Program Will Now Close.\" box after answering No"
        abandon
    fi
else
    fail "no question box for the No answer"
    abandon
fi

# --desktop: no question and no mode change; the window covers the screen
# at its own size (here with no window manager to make it full screen).
# It draws the picture multisampled, where LeakSanitizer's tracer crashes
# at exit: leaks are checked on the single-sampled runs.
asan_options=${ASAN_OPTIONS-}
export ASAN_OPTIONS="${asan_options:+$asan_options:}detect_leaks=0"
expect_full_screen "--desktop" 1024x768 --desktop
export ASAN_OPTIONS="$asan_options"

# --desktop on a GL without framebuffer objects (GL 2.1, the extension
# taken away): no context for it, the show's own error box, exit code 1.
MESA_GL_VERSION_OVERRIDE=2.1 MESA_EXTENSION_OVERRIDE=-GL_ARB_framebuffer_object
export MESA_GL_VERSION_OVERRIDE MESA_EXTENSION_OVERRIDE
start --desktop
unset MESA_GL_VERSION_OVERRIDE MESA_EXTENSION_OVERRIDE
if box=$(wait_window ERROR); then
    press "$box" Return
    code=$(wait_exit)
    [ "$code" = 1 ] && pass "--desktop without framebuffer objects: an error box, exit code 1" ||
        fail "--desktop without framebuffer objects: exit code $code, expected 1"
else
    fail "--desktop without framebuffer objects: no error box"
    abandon
fi

# A signal while the question waits: the program ends at once with
# 128 + the signal's number, without an answer, and the box goes with it.
# (SIGINT takes the same path, but a shell starts background programs with
# it ignored.)
for signal in TERM:143 HUP:129; do
    expected=${signal#*:}
    signal=${signal%:*}
    start
    if box=$(wait_window ogl); then
        kill -s "$signal" "$(pgrep -P "$pid" -x eyesonly || echo "$pid")"
        code=$(wait_exit)
        wait_gone "$box"
        [ "$code" = "$expected" ] && [ -z "$(find_window ogl)" ] &&
            pass "SIG$signal at the question box ends with $expected, the box gone" ||
            fail "SIG$signal at the question box: exit code $code, expected $expected; box left: $(find_window ogl)"
    else
        fail "no question box for the SIG$signal case"
        abandon
    fi
done

start --windowed
if window=$(wait_window "$show_title"); then
    [ -n "$(find_window ogl)" ] && fail "--windowed asked the full-screen question"
    "$xclose" "$window"
    code=$(wait_exit)
    [ "$code" = 0 ] && pass "the close box ends with exit code 0" || fail "close box: exit code $code, expected 0"
else
    fail "no window with --windowed"
    abandon
fi

# --- A display that offers 640 x 480 at 16 bits: full screen, no question.
start_xvfb 640x480x16

expect_full_screen "a 640 x 480 display" 640x480

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
