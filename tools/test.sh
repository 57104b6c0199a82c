#!/bin/sh
# Builds the program, its tools and every test with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-test/, then runs every test. Needs no
# display: GL tests draw offscreen, and the window tests start their own X
# server. The browser page is built from the same data meanwhile, at the
# lowest priority, so that it takes only what the native tests leave idle
# (tools/web.sh --build; its log in build-web.log), and the browser tests in
# tests/web/ then run in headless chromium; these need the web toolchain
# (tools/install-deps.sh --web). The Windows build is made the same way
# (tools/windows.sh; its log in build-win.log) and its tests in
# tests/windows/ run its .exe under Wine (tools/install-deps.sh --windows).
#
#   tools/test.sh            the whole suite
#   tools/test.sh --native   the native tests only: no web or Windows toolchain needed
#   tools/test.sh --windows  the Windows build's tests only (with the native
#                            build in build/ as their reference)
#
# Ends with every skipped test or part of one and its reason, then the counts.
set -eu
cd "$(dirname "$0")/.."
web=yes
windows=yes
for arg in "$@"; do
    case "$arg" in
    --native) web=no; windows=no ;;
    --windows) windows=only ;;
    -h|--help) sed -n '2,20s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "test: unknown argument $arg (try --help)" >&2; exit 2 ;;
    esac
done
build=build-test
jobs=$(nproc 2>/dev/null || echo 2)

# The Windows build's tests alone, against the program's own build.
if [ "$windows" = only ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEYESONLY_TESTS=OFF -DEYESONLY_BENCH=OFF >/dev/null
    cmake --build build -j"$jobs" --target eyesonly showframe data
    ./tools/windows.sh --native build
    mkdir -p build/Testing
    node_out=build/Testing/node-output.txt
    status=0
    { EYESONLY_NATIVE_BUILD=build node --test tests/windows/ || echo $? >"$node_out.status"; } | tee "$node_out"
    [ ! -f "$node_out.status" ] || { status=$(cat "$node_out.status"); rm -f "$node_out.status"; }
    : >build/Testing/ctest-output.txt
    ./tools/test-summary.sh build/Testing/ctest-output.txt /dev/null "$node_out"
    exit "$status"
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEYESONLY_SANITIZE=ON
cmake --build "$build" -j"$jobs"

web_pid=""
win_pid=""
trap '[ -n "$web_pid" ] && kill "$web_pid" 2>/dev/null; [ -n "$win_pid" ] && kill "$win_pid" 2>/dev/null' EXIT
if [ "$web" = yes ]; then
    nice -n 19 ./tools/web.sh --build --native "$build" >build-web.log 2>&1 &
    web_pid=$!
fi
if [ "$windows" = yes ]; then
    nice -n 19 ./tools/windows.sh --native "$build" >build-win.log 2>&1 &
    win_pid=$!
else
    EYESONLY_NOT_RUN="tests/windows: --native leaves out the Windows build (tools/test.sh --windows runs it)"
    export EYESONLY_NOT_RUN
fi

# ctest's output is kept for the closing summary, and so is its status.
ctest_out=$build/Testing/ctest-output.txt
mkdir -p "$build/Testing"
status=0
rm -f "$ctest_out.status" "$build/Testing/node-output.txt.status"
{ ctest --test-dir "$build" --output-on-failure -j"$jobs" || echo $? >"$ctest_out.status"; } | tee "$ctest_out"
[ ! -f "$ctest_out.status" ] || { status=$(cat "$ctest_out.status"); rm -f "$ctest_out.status"; }
ctest_log=$build/Testing/Temporary/LastTest.log

node_out=""
if [ "$web" = yes ] && [ "$status" -eq 0 ]; then
    if ! wait "$web_pid"; then
        web_pid=""
        cat build-web.log >&2
        echo "test: the browser page could not be built (above)" >&2
        exit 1
    fi
    web_pid=""
    node_tests=tests/web/
    if [ "$windows" = yes ]; then
        if ! wait "$win_pid"; then
            win_pid=""
            cat build-win.log >&2
            echo "test: the Windows build could not be made (above)" >&2
            exit 1
        fi
        win_pid=""
        node_tests="$node_tests tests/windows/"
    fi
    node_out=$build/Testing/node-output.txt
    { EYESONLY_NATIVE_BUILD="$build" GL_SCENES_DESKTOP="$build/tests/web/gl_scenes" node --test $node_tests ||
        echo $? >"$node_out.status"; } | tee "$node_out"
    [ ! -f "$node_out.status" ] || { status=$(cat "$node_out.status"); rm -f "$node_out.status"; }
fi

./tools/test-summary.sh "$ctest_out" "$ctest_log" $node_out
exit "$status"
