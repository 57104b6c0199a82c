#!/bin/sh
# Builds the program, its tools and every test with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-test/, then runs every test. Needs no
# display: GL tests draw offscreen, and the window tests start their own X
# server. Then builds the browser page (tools/web.sh --build) and runs the
# browser tests in tests/web/ in headless chromium; these need the web
# toolchain (tools/install-deps.sh --web).
set -eu
cd "$(dirname "$0")/.."
build=build-test
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEYESONLY_SANITIZE=ON
cmake --build "$build" -j"$jobs"
ctest --test-dir "$build" --output-on-failure -j"$jobs"

# The browser page from the same data, held to the programs just built.
./tools/web.sh --build --native "$build"
EYESONLY_NATIVE_BUILD="$build" node --test tests/web/
