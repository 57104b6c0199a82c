#!/bin/sh
# Removes what `cmake --install` put into PREFIX, as the list it left there
# says (share/eyesonly/install-manifest.txt), and the folders it made once
# they are empty. Refuses a prefix without that list, and leaves every file
# that a package manager owns (an apt-installed copy of the show) alone.
#
#   tools/uninstall.sh PREFIX      e.g. tools/uninstall.sh ~/.local
#
# Exit codes: 0 removed (files already gone are fine), 1 refused or some
# file could not be removed, 2 bad arguments.
set -eu
case "${1:-}" in
  -h|--help) sed -n '2,10s/^# \{0,1\}//p' "$0"; exit 0 ;;
  "") echo "usage: uninstall.sh PREFIX" >&2; exit 2 ;;
esac
[ "$#" -eq 1 ] || { echo "usage: uninstall.sh PREFIX" >&2; exit 2; }
prefix=$(cd "$1" 2>/dev/null && pwd -P) || { echo "uninstall: $1 is not a folder" >&2; exit 1; }
manifest=share/eyesonly/install-manifest.txt
if [ ! -f "$prefix/$manifest" ]; then
  echo "uninstall: nothing was installed into $prefix by cmake --install (no $manifest there); nothing removed" >&2
  exit 1
fi

lists=$(mktemp -d "${TMPDIR:-/tmp}/uninstall.XXXXXX")
trap 'rm -rf "$lists"' EXIT
sed -n 's/^file //p' "$prefix/$manifest" >"$lists/files"
# Deepest first, so that a folder is empty when its turn comes.
sed -n 's/^dir //p' "$prefix/$manifest" | awk '{ print gsub("/", "/"), $0 }' | sort -k1,1nr -k2 | cut -d' ' -f2- >"$lists/dirs"

# Only plain relative paths inside the prefix: a list that was tampered
# with must not reach outside it.
if grep -E '^/|(^|/)\.\.(/|$)|^$' "$lists/files" "$lists/dirs" >"$lists/bad"; then
  echo "uninstall: $prefix/$manifest names paths outside the prefix; nothing removed:" >&2
  cat "$lists/bad" >&2
  exit 1
fi

# The package that owns PATH, if a package manager owns it.
owner() {
  command -v dpkg-query >/dev/null 2>&1 || return 1
  dpkg-query -S "$1" 2>/dev/null | sed -n '1s/: .*//p' | grep .
}

status=0
while IFS= read -r path; do
  target=$prefix/$path
  if [ ! -e "$target" ] && [ ! -L "$target" ]; then
    continue
  elif package=$(owner "$target"); then
    echo "uninstall: kept $target: it belongs to the package $package"
  elif [ -d "$target" ] && [ ! -L "$target" ]; then
    echo "uninstall: kept $target: it is a folder now" >&2
    status=1
  elif rm -f "$target"; then
    echo "uninstall: removed $target"
  else
    status=1
  fi
done <"$lists/files"

# The list goes once every file it names is gone or kept on purpose; then
# the folders the install made, each only while empty and no package's.
[ "$status" -ne 0 ] || rm -f "$prefix/$manifest"
while IFS= read -r path; do
  target=$prefix/$path
  if [ -d "$target" ] && [ ! -L "$target" ] && ! owner "$target" >/dev/null && rmdir "$target" 2>/dev/null; then
    echo "uninstall: removed $target/"
  fi
done <"$lists/dirs"
exit "$status"
