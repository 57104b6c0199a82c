#!/bin/sh
# The whole show headless on the real clock, paced as a display would pace
# it. Judged on the clock readings the program used, which a busy machine
# does not move: the show must end at its 146.5 s (2:26) of show time at 60
# frames a second (within two seconds), spell all 79 scroller letters in 79
# frames, never draw more frames than the 60 a second the pace allows, and
# its clock must not run ahead of the wall clock. How many frames a busy
# machine manages to draw is the benchmarks' matter, not this test's.
# The same run keeps its memory flat: the peak resident size (VmHWM) at the
# end may exceed the peak after its first 10 s of show (start-up done, every
# photo and font made) by at most 64 MB: under AddressSanitizer on a loaded
# machine a sound run grows by 15 to 35 MB. A driver that queues frame after
# frame grows by about 25 MB a second of show, and reaches 1.5 GB.
# $1: the build directory.
set -u
build=$(cd "${1:?usage: realclock_test.sh BUILD-DIR}" && pwd)
LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(cd "$(dirname "$0")/.." && pwd)/lsan.supp}
# A small quarantine, so that memory freed under AddressSanitizer is used
# again instead of piling up to the default 256 MB.
ASAN_OPTIONS="${ASAN_OPTIONS:-}:quarantine_size_mb=8"
export LSAN_OPTIONS ASAN_OPTIONS
cd "$build" || exit 1
trace=$(mktemp)
trap 'rm -f "$trace"' EXIT
allowedGrowthKb=65536
startMs=11000   # the clock's reading 10 s into the show

start=$(date +%s.%N)
./eyesonly --headless --trace >"$trace" &
show=$!
hwm() { awk '/^VmHWM:/ { print $2 }' "/proc/$show/status" 2>/dev/null; }
afterStart=""
peak=""
while kill -0 "$show" 2>/dev/null; do
    now=$(hwm)
    [ -n "$now" ] && peak=$now
    if [ -z "$afterStart" ] && [ -n "$now" ] &&
       [ "$(tail -n 1 "$trace" | awk '{ n = $2 } END { print n + 0 }')" -ge "$startMs" ]; then
        afterStart=$now
    fi
    sleep 0.2
done
wait "$show"
code=$?
end=$(date +%s.%N)
wall=$(echo "$end $start" | awk '{ printf "%.1f", $1 - $2 }')
letters=$(awk '$3 == "letter" { n++ } END { print n + 0 }' "$trace")
shown=$(awk '$3 == "letter" { print $1 }' "$trace" | uniq | wc -l)
# The last line: the frame count and the clock's reading (ms; the show
# starts at 1000) when the show ended.
frames=$(tail -n 1 "$trace" | awk '{ print $1 }')
seconds=$(tail -n 1 "$trace" | awk '{ printf "%.3f", ($2 - 1000) / 1000 }')
failures=0
[ "$code" -eq 0 ] || { echo "FAIL: exit code $code"; failures=1; }
[ "$letters" -eq 79 ] || { echo "FAIL: $letters letters, expected 79"; failures=1; }
[ "$shown" -eq 79 ] || { echo "FAIL: letters finished in $shown distinct frames, expected 79 (none skipped)"; failures=1; }
echo "$seconds" | awk '{ exit !($1 >= 144.5 && $1 <= 148.5) }' ||
    { echo "FAIL: the show ended at $seconds s of its clock, expected 146.5 s within 2"; failures=1; }
echo "$frames $seconds" | awk '{ exit !($1 >= 1 && $1 <= $2 * 60 + 2) }' ||
    { echo "FAIL: $frames frames in $seconds s of the clock, expected at most 60 a second"; failures=1; }
echo "$seconds $wall" | awk '{ exit !($1 <= $2) }' ||
    { echo "FAIL: the clock read $seconds s in $wall s of the wall clock: it ran ahead"; failures=1; }
if [ -z "$afterStart" ] || [ -z "$peak" ]; then
    echo "FAIL: no resident size read (10 s in: '$afterStart', at the end: '$peak')"
    failures=1
else
    growth=$((peak - afterStart))
    [ "$growth" -le "$allowedGrowthKb" ] ||
        { echo "FAIL: grew by $growth kB after the first 10 s, expected at most $allowedGrowthKb kB"; failures=1; }
fi
echo "realclock_test: $seconds s of the clock in $wall s, $frames frames, $letters letters;" \
    "peak resident size $afterStart kB 10 s in, $peak kB at the end"
[ "$failures" -eq 0 ]
