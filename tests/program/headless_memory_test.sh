#!/bin/sh
# The whole show, headless at 60 frames a second, keeps its memory flat:
# the peak resident size (VmHWM) at the end may exceed the peak after its
# first 10 s of show time (start-up done, every photo and font made) by at
# most 64 MB: under AddressSanitizer on a loaded machine a sound run grows
# by 15 to 35 MB. A driver that queues frame after frame grows by about 25 MB a
# second of show, and reaches 1.5 GB.
# Usage: headless_memory_test.sh BUILD-DIR
set -u
build=$(cd "${1:?usage: headless_memory_test.sh BUILD-DIR}" && pwd)
LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(cd "$(dirname "$0")/.." && pwd)/lsan.supp}
# A small quarantine, so that memory freed under AddressSanitizer is used
# again instead of piling up to the default 256 MB.
ASAN_OPTIONS="${ASAN_OPTIONS:-}:quarantine_size_mb=8"
export LSAN_OPTIONS ASAN_OPTIONS
cd "$build" || exit 1
trace=$(mktemp)
trap 'rm -f "$trace"' EXIT
allowedGrowthKb=65536
startFrame=600   # 10 s of show at 60 frames a second

./eyesonly --headless --fps 60 --trace >"$trace" 2>/dev/null &
show=$!
hwm() { awk '/^VmHWM:/ { print $2 }' "/proc/$show/status" 2>/dev/null; }

afterStart=""
peak=""
while kill -0 "$show" 2>/dev/null; do
    now=$(hwm)
    [ -n "$now" ] && peak=$now
    if [ -z "$afterStart" ] && [ -n "$now" ] &&
       [ "$(tail -n 1 "$trace" | awk '{ n = $1 } END { print n + 0 }')" -ge "$startFrame" ]; then
        afterStart=$now
    fi
    sleep 0.2
done
wait "$show"
code=$?

failures=0
[ "$code" -eq 0 ] || { echo "FAIL: exit code $code, expected 0"; failures=1; }
if [ -z "$afterStart" ] || [ -z "$peak" ]; then
    echo "FAIL: no resident size read (after frame $startFrame: '$afterStart', at the end: '$peak')"
    failures=1
else
    growth=$((peak - afterStart))
    echo "peak resident size: $afterStart kB after frame $startFrame, $peak kB at the end, growth $growth kB"
    [ "$growth" -le "$allowedGrowthKb" ] ||
        { echo "FAIL: grew by $growth kB after the first 10 s, expected at most $allowedGrowthKb kB"; failures=1; }
fi
[ "$failures" -eq 0 ]
