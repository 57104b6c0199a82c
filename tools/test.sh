#!/bin/sh
# Builds the program, its tools and every test with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-test/, then runs every test. Needs no
# display: GL tests draw offscreen, and the window tests start their own X
# server. The browser page is built from the same data meanwhile, at the
# lowest priority, so that it takes only what the native tests leave idle
# (tools/web.sh --build; its log in build-web.log), and the browser tests in
# tests/web/ then run in headless chromium; these need the web toolchain
# (tools/install-deps.sh --web).
set -eu
cd "$(dirname "$0")/.."
build=build-test
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEYESONLY_SANITIZE=ON
cmake --build "$build" -j"$jobs"

web_pid=""
trap '[ -n "$web_pid" ] && kill "$web_pid" 2>/dev/null' EXIT
nice -n 19 ./tools/web.sh --build --native "$build" >build-web.log 2>&1 &
web_pid=$!

ctest --test-dir "$build" --output-on-failure -j"$jobs"

if ! wait "$web_pid"; then
    web_pid=""
    cat build-web.log >&2
    echo "test: the browser page could not be built (above)" >&2
    exit 1
fi
web_pid=""
EYESONLY_NATIVE_BUILD="$build" GL_SCENES_DESKTOP="$build/tests/web/gl_scenes" node --test tests/web/
