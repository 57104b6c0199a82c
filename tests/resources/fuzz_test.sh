#!/bin/sh
# Builds the bitmap reader's libFuzzer target with clang in <source>/build-fuzz,
# replays the saved findings in fuzz/regressions, then fuzzes for about 30 s
# starting from a copy of the BMP suite (../shared/bmpsuite or BMPSUITE_DIR),
# or from the show's own photos where the suite is absent. Fails on any crash
# or sanitizer report. $1: the build directory of the calling test run.
set -u

src=$(cd "$(dirname "$0")/../.." && pwd)
suite="${BMPSUITE_DIR:-$src/../shared/bmpsuite}"
build="$src/build-fuzz"
seconds="${DIB_FUZZ_SECONDS:-30}"

fail() {
    echo "fuzz_test: $*" >&2
    exit 1
}

command -v clang++ >/dev/null 2>&1 || fail "clang++ not found; the fuzz target needs clang with libFuzzer"

echo "fuzz_test: building dib_fuzz in $build (called from ${1:-?})"
mkdir -p "$build" || fail "cannot make $build"
cmake -S "$src" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEYESONLY_FUZZ=ON -DEYESONLY_SANITIZE=OFF \
    -DEYESONLY_TESTS=OFF -DEYESONLY_BENCH=OFF >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log"; fail "configuring the fuzz build failed"; }
cmake --build "$build" --target dib_fuzz -j2 || fail "building dib_fuzz failed"
fuzzer="$build/fuzz/dib_fuzz"

work=$(mktemp -d "${TMPDIR:-/tmp}/dib_fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/findings"
if [ -f "$suite/MANIFEST.tsv" ]; then
    cp "$suite"/g/*.bmp "$suite"/q/*.bmp "$suite"/b/*.bmp "$work/corpus/"
else
    # The show's photos from makedata: a 24-bit file, an 8-bit one with a
    # palette and a packed core-header one.
    echo "fuzz_test: the BMP suite is not at $suite (BMPSUITE_DIR=...): seeding from the show's own photos"
    cp "${1:?usage: fuzz_test.sh BUILD-DIR}"/made-data/*.bitmap "$work/corpus/" ||
        fail "no photos in $1/made-data to seed from"
fi

# Earlier findings first: each must now pass.
regressions=$(find "$src/fuzz/regressions" -type f ! -name '*.md' 2>/dev/null | sort)
if [ -n "$regressions" ]; then
    # shellcheck disable=SC2086
    "$fuzzer" $regressions || fail "a saved finding in fuzz/regressions fails again"
fi

"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/findings/" "$work/corpus" 2>"$work/log"
status=$?
grep -E '^#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb|stat::new_units_added' "$work/log"
if [ "$status" -ne 0 ]; then
    tail -n 60 "$work/log"
    mkdir -p "$build/findings"
    cp "$work"/findings/* "$build/findings/" 2>/dev/null
    fail "dib_fuzz found a crash (exit $status); the input is in $build/findings: add it to fuzz/regressions"
fi
echo "fuzz_test: no crash in $seconds s"
