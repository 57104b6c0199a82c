# The common part of the tool test scripts; sourced, not run. Set `name`
# (the test's name, for its messages) and `tool` (the program under test)
# first. Gives fail, a scratch folder $work removed at the end, a small
# disk at $disk on request, and test_end.

failures=0

# One failed check: said on standard error, counted for test_end.
fail() {
    echo "$name: $*" >&2
    failures=$((failures + 1))
}

[ -x "$tool" ] || { echo "$name: $tool not built" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/$name.XXXXXX")
disk="$work/disk"
trap 'umount "$disk" 2>/dev/null; rm -rf "$work"' EXIT

# Mounts a tmpfs of $1 KiB at $disk, for the full-disk cases; false, with the
# reason the cases are skipped, where that needs root or cannot be done.
small_disk() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "$name: full-disk cases skipped: mounting a small tmpfs needs root"
        return 1
    fi
    if ! { mkdir "$disk" && mount -t tmpfs -o size="$1"k tmpfs "$disk" 2>/dev/null; }; then
        echo "$name: full-disk cases skipped: cannot mount a tmpfs here"
        return 1
    fi
}

# The script's exit status: 1 after any failed check.
test_end() {
    [ "$failures" -eq 0 ] || exit 1
    echo "$name: all passed"
}
