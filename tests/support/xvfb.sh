# X server helpers for the window test scripts; sourced, not run.
# Needs Xvfb and xwininfo (x11-utils).

xvfb_pid=""

stop_xvfb() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=""
}

# Starts an X server of the given screen geometry and exports its DISPLAY.
# The server picks a free display number itself and writes it to descriptor
# 3 once it accepts clients (-displayfd), so two test runs on one machine
# never meet. It never resets (-noreset): a server that resets each time its
# last client leaves drops a client that connects meanwhile, and a program
# started then finds no display. Ends the script with 1 when no server comes up within 30 s.
start_xvfb() {
    stop_xvfb
    numberfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp -noreset 3>"$numberfile" >/dev/null 2>&1 &
    xvfb_pid=$!
    i=0
    while [ $i -lt 300 ]; do
        number=$(sed -n '/^[0-9][0-9]*$/p' "$numberfile")
        if [ -n "$number" ]; then
            rm -f "$numberfile"
            DISPLAY=":$number"
            export DISPLAY
            return 0
        fi
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
        i=$((i + 1))
    done
    rm -f "$numberfile"
    echo "cannot start Xvfb" >&2
    exit 1
}

# The id of the top-level window with exactly this name, if there is one.
# (SDL names its windows in UTF-8, which xdotool's search does not read.)
find_window() {
    xwininfo -root -tree 2>/dev/null | awk -v name="$1" 'index($0, " \"" name "\": ") { print $1; exit }'
}

# Prints the id of the window with exactly this name, waiting up to 60 s.
wait_window() {
    i=0
    while [ $i -lt 600 ]; do
        id=$(find_window "$1")
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}

# Waits up to 30 s until the window is gone (answered, closed, or its
# program ended).
wait_gone() {
    i=0
    while xwininfo -id "$1" >/dev/null 2>&1 && [ $i -lt 300 ]; do
        sleep 0.1
        i=$((i + 1))
    done
}

# Gives the window the keyboard focus, waiting up to 30 s until it has it.
focus_window() {
    i=0
    while [ "$(xdotool getwindowfocus 2>/dev/null)" != "$(printf %d "$1")" ] && [ $i -lt 300 ]; do
        xdotool windowfocus "$1" 2>/dev/null
        sleep 0.1
        i=$((i + 1))
    done
}
