#!/bin/sh
# The real program in real windows under Xvfb, answered and stopped by real
# key presses: the full-screen question, Escape, the close box, and a
# display that offers the requested mode.
# Usage: window_test.sh BUILD-DIR
set -u
build=$(cd "${1:?usage: window_test.sh BUILD-DIR}" && pwd)
program="$build/eyesonly"
xclose="$build/tests/xclose"
failures=0
passes=0
xvfb_pid=""
show_title=".. for your eyes only .."

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; passes=$((passes + 1)); }

stop_xvfb() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=""
}
trap stop_xvfb EXIT

# Starts an X server of the given screen geometry on a free display number.
start_xvfb() {
    stop_xvfb
    n=90
    while [ $n -lt 160 ]; do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            Xvfb ":$n" -screen 0 "$1" -nolisten tcp >/dev/null 2>&1 &
            xvfb_pid=$!
            DISPLAY=":$n"
            export DISPLAY
            i=0
            while [ $i -lt 100 ]; do
                xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
                sleep 0.1
                i=$((i + 1))
            done
            stop_xvfb
        fi
        n=$((n + 1))
    done
    echo "cannot start Xvfb" >&2
    exit 1
}

# Prints the id of the first window with exactly this name, waiting up to 60 s.
wait_window() {
    i=0
    while [ $i -lt 600 ]; do
        id=$(xdotool search --name "^$1\$" 2>/dev/null | head -n 1)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}

# A real key press (XTEST) into the given window.
press() {
    xdotool windowfocus "$1" 2>/dev/null
    sleep 0.3
    xdotool key "$2"
}

# Waits for the program started last and prints its exit code (124 on a hang).
wait_exit() {
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 1200 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        echo 124
        return
    fi
    wait "$pid"
    echo $?
}

cd "$build" || exit 1
[ -x "$program" ] || { echo "no program at $program" >&2; exit 1; }

# --- A display that does not offer 640 x 480: the question comes first.
start_xvfb 1024x768x24

"$program" >/dev/null 2>&1 &
pid=$!
if box=$(wait_window ogl); then
    press "$box" Return
    if window=$(wait_window "$show_title"); then
        sleep 1
        press "$window" Escape
        code=$(wait_exit)
        [ "$code" = 27 ] && pass "question answered Yes, a window, Escape ends with 27" ||
            fail "Escape in the window: exit code $code, expected 27"
    else
        fail "no show window after answering Yes"
        kill "$pid" 2>/dev/null
    fi
else
    fail "no question box on a display without 640 x 480"
    kill "$pid" 2>/dev/null
fi

"$program" >/dev/null 2>&1 &
pid=$!
if box=$(wait_window ogl); then
    press "$box" Escape
    if closing=$(wait_window ERROR); then
        press "$closing" Return
        code=$(wait_exit)
        [ "$code" = 0 ] && pass "question answered No: the closing box, exit code 0" ||
            fail "answering No: exit code $code, expected 0"
        xdotool search --name "^$show_title\$" >/dev/null 2>&1 && fail "a show window was made after No"
    else
        fail "no \"Program Will Now Close.\" box after answering No"
        kill "$pid" 2>/dev/null
    fi
else
    fail "no question box for the No answer"
    kill "$pid" 2>/dev/null
fi

"$program" --windowed >/dev/null 2>&1 &
pid=$!
if window=$(wait_window "$show_title"); then
    xdotool search --name "^ogl\$" >/dev/null 2>&1 && fail "--windowed asked the full-screen question"
    sleep 1
    "$xclose" "$window"
    code=$(wait_exit)
    [ "$code" = 0 ] && pass "the close box ends with exit code 0" || fail "close box: exit code $code, expected 0"
else
    fail "no window with --windowed"
    kill "$pid" 2>/dev/null
fi

# --- A display that offers 640 x 480 at 16 bits: full screen, no question.
start_xvfb 640x480x16

"$program" >/dev/null 2>&1 &
pid=$!
if window=$(wait_window "$show_title"); then
    xdotool search --name "^ogl\$" >/dev/null 2>&1 && fail "the question came although the mode exists"
    geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
    [ "$geometry" = "640x480" ] || fail "full-screen window is $geometry, expected 640x480"
    sleep 1
    press "$window" Escape
    code=$(wait_exit)
    [ "$code" = 27 ] && pass "full screen without a question, Escape ends with 27" ||
        fail "full screen: exit code $code, expected 27"
else
    fail "no full-screen window on a 640 x 480 display"
    kill "$pid" 2>/dev/null
fi

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
