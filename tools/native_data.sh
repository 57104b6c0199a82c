# The part both cross builds (web.sh, windows.sh) share, sourced by them
# from the source folder: the show's data and its glyphs, made natively
# (the same build as run.sh's) unless a native build folder was given.
#
#   native_data NAME FOLDER TARGET...   FOLDER: the native build given, or ""
#                                       to build build/ with the TARGETs
#
# Sets $native (the native build folder) and $data (its data folder, as an
# absolute path); says why as NAME and exits with 1 when there is none.
# $jobs is the build's number of jobs.
jobs=$(nproc 2>/dev/null || echo 2)
native_data() {
    name=$1 native=$2
    shift 2
    if [ -z "$native" ]; then
        native=build
        cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEYESONLY_TESTS=OFF -DEYESONLY_BENCH=OFF >/dev/null
        cmake --build build -j"$jobs" --target "$@" >/dev/null
    fi
    data=$(cd "$native/data" 2>/dev/null && pwd) || { echo "$name: $native/data not found" >&2; exit 1; }
    [ -f "$data/glyphs.pack" ] ||
        { echo "$name: $data/glyphs.pack not found: build the data target there first" >&2; exit 1; }
}
