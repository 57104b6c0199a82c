#!/bin/sh
# Builds the program, its tools and every test with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-test/, then runs every test. Needs no
# display: GL tests draw offscreen, and the window tests start their own X
# server. Beside the native tests, the browser page is built from the same
# data at the lowest priority (tools/web.sh --build; its log in
# build-web.log), and so is the Windows build (tools/windows.sh; its log in
# build-win.log); once both are built and the native tests are done, the
# page's tests in tests/web/ run in chromium and firefox beside the Windows
# tests in tests/windows/, which run its .exe under Wine. These need the
# web and Windows toolchains (tools/install-deps.sh --web).
#
#   tools/test.sh            the whole suite
#   tools/test.sh --native   the native tests only: no web or Windows toolchain needed
#   tools/test.sh --windows  the Windows build's tests only (with the native
#                            build in build/ as their reference)
#
# Ends with every skipped test or part of one and its reason, the counts, the
# suite's time and its five slowest tests (also kept in
# build-test/Testing/suite-times.txt, for bench/run).
set -eu
cd "$(dirname "$0")/.."
web=yes
windows=yes
# --half web|win BUILD (this script's own, run in a process group of its
# own): the page's or the Windows build at the lowest priority, then its
# tests, their output and status in $build/Testing/node-HALF.txt(.status).
if [ "${1:-}" = --half ]; then
    half=$2
    build=$3
    out=$build/Testing/node-$half.txt
    rm -f "$out" "$out.status"
    case "$half" in
    web) make_it="./tools/web.sh --build --native $build"; tests=tests/web/ ;;
    win) make_it="./tools/windows.sh --native $build"; tests=tests/windows/ ;;
    esac
    # shellcheck disable=SC2086
    if ! nice -n 19 $make_it >"build-$half.log" 2>&1; then
        echo build >"$out.status"
        exit 1
    fi
    # Its tests wait for the native ones: the page's sound and the Wine
    # runs answer within a second of being asked, which a machine full of
    # whole-show runs does not always give.
    # The browser's and the Windows tests then run side by side.
    until [ -f "$build/Testing/native-done" ]; do sleep 1; done
    code=0
    EYESONLY_NATIVE_BUILD="$build" GL_SCENES_DESKTOP="$build/tests/web/gl_scenes" node --test "$tests" >"$out" 2>&1 || code=$?
    echo "$code" >"$out.status"
    exit 0
fi
for arg in "$@"; do
    case "$arg" in
    --native) web=no; windows=no ;;
    --windows) windows=only ;;
    -h|--help) sed -n '2,20s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "test: unknown argument $arg (try --help)" >&2; exit 2 ;;
    esac
done
build=build-test
EYESONLY_SUITE_STARTED=$(date +%s)
export EYESONLY_SUITE_STARTED
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

EYESONLY_SUITE_TIMES=$build/Testing/suite-times.txt
# A first run builds everything: the program, the page's and the Windows
# build's libraries; a second one reuses them.
EYESONLY_SUITE_RUN=second
[ -d "$build" ] || EYESONLY_SUITE_RUN=first
[ "$web" = no ] || [ -d build-webdeps ] || EYESONLY_SUITE_RUN=first
[ "$windows" = no ] || [ -d build-windeps ] || EYESONLY_SUITE_RUN=first
export EYESONLY_SUITE_TIMES EYESONLY_SUITE_RUN
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEYESONLY_SANITIZE=ON
cmake --build "$build" -j"$jobs"
mkdir -p "$build/Testing"
rm -f "$build/Testing/native-done"

# The page's and the Windows build each run in a process group of its own,
# beside the native tests, their tests side by side once the native ones
# are done:
# the whole of them (emcc, make, node, MinGW, Wine) ends with this script,
# however this script ends. A half's build log is build-web.log or
# build-win.log; its tests' output goes to $build/Testing/node-HALF.txt,
# shown when the native tests are done, and its status to that file's
# .status, beside it (a build that failed: "build").
web_pid=""
win_pid=""
stop_halves() {
    [ -z "$web_pid" ] || kill -TERM "-$web_pid" 2>/dev/null || true
    [ -z "$win_pid" ] || kill -TERM "-$win_pid" 2>/dev/null || true
    web_pid=""
    win_pid=""
}
trap stop_halves EXIT
trap 'stop_halves; exit 130' INT
trap 'stop_halves; exit 143' TERM
if [ "$web" = yes ]; then
    setsid "$0" --half web "$build" &
    web_pid=$!
fi
if [ "$windows" = yes ]; then
    setsid "$0" --half win "$build" &
    win_pid=$!
else
    EYESONLY_NOT_RUN="tests/windows: --native leaves out the Windows build (tools/test.sh --windows runs it)"
    export EYESONLY_NOT_RUN
fi

# ctest's output is kept for the closing summary, and so is its status.
ctest_out=$build/Testing/ctest-output.txt
status=0
rm -f "$ctest_out.status"
# One test more than the cores: the real-clock run waits on the clock most
# of its 147 s.
{ ctest --test-dir "$build" --output-on-failure -j"$((jobs + 1))" || echo $? >"$ctest_out.status"; } | tee "$ctest_out"
[ ! -f "$ctest_out.status" ] || { status=$(cat "$ctest_out.status"); rm -f "$ctest_out.status"; }
ctest_log=$build/Testing/Temporary/LastTest.log
touch "$build/Testing/native-done"

# The browser and Windows tests' output once the native tests are done,
# whatever these said: a failure there does not hide what the page or the
# .exe does. A build that failed is named at the end, its tests counted as
# not run.
node_outs=""
not_built=""
for half in web win; do
    case "$half" in web) pid=$web_pid; what="the browser tests did not run: the page" ;;
                    win) pid=$win_pid; what="the Windows tests did not run: the .exe" ;; esac
    [ -n "$pid" ] || continue
    wait "$pid" || true
    out=$build/Testing/node-$half.txt
    if [ "$(cat "$out.status" 2>/dev/null)" = build ] || [ ! -f "$out" ]; then
        tail -n 30 "build-$half.log" >&2
        not_built="${not_built:+$not_built; }$what could not be built (the end of build-$half.log above)"
        status=1
        continue
    fi
    cat "$out"
    [ "$(cat "$out.status")" = 0 ] || status=1
    node_outs="$node_outs $out"
done
web_pid=""
win_pid=""

# shellcheck disable=SC2086
./tools/test-summary.sh "$ctest_out" "$ctest_log" $node_outs
[ -z "$not_built" ] || echo "test: and $not_built"
exit "$status"
