# The common part of the fault matrices (tests/program/faults_test.sh,
# tests/capture/capture_faults_test.sh); sourced, not run, with the build
# folder as $1. Gives a copy of the program with no data beside it ($program),
# a scratch folder $work removed at the end, fail and pass with their
# counts, fresh_data, break_file, run and check, and faults_end.
build=$(cd "${1:?usage: $0 BUILD-DIR}" && pwd)
[ -x "$build/eyesonly" ] || { echo "$0: $build/eyesonly not built" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/faults.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A copy of the program with no data beside it, so that a file missing from
# the run directory's data/ is missing everywhere; the user's own data
# folder is an empty one of the test's.
mkdir "$work/bin" "$work/xdg-data"
cp "$build/eyesonly" "$build/eyesonly-capture.so" "$work/bin/"
program="$work/bin/eyesonly"
XDG_DATA_HOME="$work/xdg-data"
export XDG_DATA_HOME
# The leak suppressions from the test's own folder, which the other user
# (uid 65534, in the rows that shut root's reading out) can read wherever
# the clone lives.
supp=$(echo "${LSAN_OPTIONS:-}" | tr : '\n' | sed -n 's/^suppressions=//p')
if [ -n "$supp" ]; then
    cp "$supp" "$work/lsan.supp"
    LSAN_OPTIONS=$(echo "$LSAN_OPTIONS" | tr : '\n' | sed "s|^suppressions=.*|suppressions=$work/lsan.supp|" | paste -sd:)
    export LSAN_OPTIONS
fi
failures=0
passes=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { passes=$((passes + 1)); }

# A fresh copy of the show's data in $work/run/data.
fresh_data() {
    rm -rf "$work/run"
    mkdir -p "$work/run"
    cp -r "$build/data" "$work/run/data"
}

# What the boxes say, in the show's words.
intro='hoho. fEIL!\ningen musikk:intro\n'
velto='hoho. fEIL!\ningen musikk:velto\n'
nostart='hoho. fEIL!\nfsck this. faakke starta musikken jo.\n'
textures='texturefeil\nd0d over textures!\n'
conversion='Error\nImage file conversion error.\n'
unknown='Error\nUnknown DIB file format.\n'

# Ways to break one data file; $1 is its path. The song and the photo of
# another kind stand for "a file of the wrong kind".
break_file() {
    case "$2" in
        missing) rm -f "$1" ;;
        empty) : >"$1" ;;
        cut) head -c 100 "$1" >"$1.cut" && mv "$1.cut" "$1" ;;
        random) head -c 70000 /dev/urandom >"$1" ;;
        song) cp "$build/data/VELTO63K.XM" "$1" ;;
        photo) cp "$build/data/skorv1.bitmap" "$1" ;;
        fifo) rm -f "$1" && mkfifo "$1" ;;
        zero) rm -f "$1" && ln -s /dev/zero "$1" ;;
        huge) truncate -s 65M "$1" ;;
    esac
}

# Runs the program in $work/run with the given options, bounded by $bound
# seconds; sets $code and leaves standard error in $work/err.
bound=60
run() {
    (cd "$work/run" && exec timeout -k 5 "$bound" "$program" "$@") >"$work/out" 2>"$work/err"
    code=$?
}

# check NAME CODE STDERR: the exit code and the whole of standard error.
check() {
    if [ "$code" = 124 ] || [ "$code" = 137 ]; then
        fail "$1: still running after $bound s"
    elif [ "$code" != "$2" ]; then
        fail "$1: exit code $code, expected $2; stderr: $(head -c 300 "$work/err")"
    elif ! printf "$3" | cmp -s - "$work/err"; then
        fail "$1: standard error was [$(cat "$work/err")], expected [$(printf "$3")]"
    else
        pass
    fi
}

# The script's end: its counts, and exit status 1 after any failed check.
faults_end() {
    echo "$1: $passes passed, $failures failed"
    [ "$failures" -eq 0 ]
}
