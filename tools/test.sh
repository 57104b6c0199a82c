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

# The page's and the Windows build run each in a process group of its own,
# so that the whole of them (emcc, make, node, MinGW) ends with this script,
# however this script ends.
web_pid=""
win_pid=""
stop_builds() {
    [ -z "$web_pid" ] || kill -TERM "-$web_pid" 2>/dev/null || true
    [ -z "$win_pid" ] || kill -TERM "-$win_pid" 2>/dev/null || true
    web_pid=""
    win_pid=""
}
trap stop_builds EXIT
trap 'stop_builds; exit 130' INT
trap 'stop_builds; exit 143' TERM
if [ "$web" = yes ]; then
    setsid nice -n 19 ./tools/web.sh --build --native "$build" >build-web.log 2>&1 &
    web_pid=$!
fi
if [ "$windows" = yes ]; then
    setsid nice -n 19 ./tools/windows.sh --native "$build" >build-win.log 2>&1 &
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

# The browser and Windows tests run whatever the native ones said: a failure
# there does not hide what the page or the .exe does. A build that failed
# is named at the end, its tests counted as not run.
node_tests=""
not_built=""
if [ "$web" = yes ]; then
    if wait "$web_pid"; then
        node_tests=tests/web/
    else
        tail -n 30 build-web.log >&2
        not_built="the browser tests did not run: the page could not be built (the end of build-web.log above)"
        status=1
    fi
    web_pid=""
fi
if [ "$windows" = yes ]; then
    if wait "$win_pid"; then
        node_tests="$node_tests tests/windows/"
    else
        tail -n 30 build-win.log >&2
        not_built="${not_built:+$not_built; }the Windows tests did not run: the .exe could not be built (the end of build-win.log above)"
        status=1
    fi
    win_pid=""
fi
node_out=""
if [ -n "$node_tests" ]; then
    node_out=$build/Testing/node-output.txt
    # shellcheck disable=SC2086
    { EYESONLY_NATIVE_BUILD="$build" GL_SCENES_DESKTOP="$build/tests/web/gl_scenes" node --test $node_tests ||
        echo $? >"$node_out.status"; } | tee "$node_out"
    [ ! -f "$node_out.status" ] || { status=$(cat "$node_out.status"); rm -f "$node_out.status"; }
fi

./tools/test-summary.sh "$ctest_out" "$ctest_log" $node_out
[ -z "$not_built" ] || echo "test: and $not_built"
exit "$status"
