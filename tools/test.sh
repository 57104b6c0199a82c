#!/bin/sh
# Builds the program, its tools and every test with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-test/, then runs every test. Needs no
# display: GL tests draw offscreen, and the window tests start their own X
# server. The browser page is built from the same data meanwhile, at the
# lowest priority, so that it takes only what the native tests leave idle
# (tools/web.sh --build; its log in build-web.log), and the browser tests in
# tests/web/ then run in headless chromium; these need the web toolchain
# (tools/install-deps.sh --web).
#
#   tools/test.sh            the whole suite
#   tools/test.sh --native   the native tests only: no web toolchain needed
#
# Ends with every skipped test or part of one and its reason, then the counts.
set -eu
cd "$(dirname "$0")/.."
web=yes
for arg in "$@"; do
    case "$arg" in
    --native) web=no ;;
    -h|--help) sed -n '2,14s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "test: unknown argument $arg (try --help)" >&2; exit 2 ;;
    esac
done
build=build-test
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEYESONLY_SANITIZE=ON
cmake --build "$build" -j"$jobs"

# The page's build runs in a process group of its own, so that the whole of
# it (emcc, make, node) ends with this script, however this script ends.
web_pid=""
stop_web() { [ -z "$web_pid" ] || kill -TERM "-$web_pid" 2>/dev/null || true; web_pid=""; }
trap stop_web EXIT
trap 'stop_web; exit 130' INT
trap 'stop_web; exit 143' TERM
if [ "$web" = yes ]; then
    setsid nice -n 19 ./tools/web.sh --build --native "$build" >build-web.log 2>&1 &
    web_pid=$!
fi

# ctest's output is kept for the closing summary, and so is its status.
ctest_out=$build/Testing/ctest-output.txt
mkdir -p "$build/Testing"
status=0
rm -f "$ctest_out.status" "$build/Testing/node-output.txt.status"
{ ctest --test-dir "$build" --output-on-failure -j"$jobs" || echo $? >"$ctest_out.status"; } | tee "$ctest_out"
[ ! -f "$ctest_out.status" ] || { status=$(cat "$ctest_out.status"); rm -f "$ctest_out.status"; }
ctest_log=$build/Testing/Temporary/LastTest.log

# The browser tests run whatever the native ones said: a failure there does
# not hide what the page does.
node_out=""
if [ "$web" = yes ]; then
    if wait "$web_pid"; then
        web_pid=""
        node_out=$build/Testing/node-output.txt
        { EYESONLY_NATIVE_BUILD="$build" GL_SCENES_DESKTOP="$build/tests/web/gl_scenes" node --test tests/web/ ||
            echo $? >"$node_out.status"; } | tee "$node_out"
        [ ! -f "$node_out.status" ] || { status=$(cat "$node_out.status"); rm -f "$node_out.status"; }
    else
        web_pid=""
        tail -n 30 build-web.log >&2
        status=1
    fi
fi

./tools/test-summary.sh "$ctest_out" "$ctest_log" $node_out
[ "$web" = no ] || [ -n "$node_out" ] || echo "test: and the browser tests did not run: the page could not be built (the end of build-web.log above)"
exit "$status"
