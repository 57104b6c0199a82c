#!/bin/sh
# Removes what `cmake --install` put into PREFIX, as the list it left there
# says (share/eyesonly/install-manifest.txt), and the folders it made
# (PREFIX itself among them, if the install made it) once they are empty.
# Refuses a prefix without that list and a list it cannot read whole; only
# ever removes what lies inside PREFIX once every link on its path is
# followed; leaves every file that a package manager owns alone.
#
#   tools/uninstall.sh PREFIX      e.g. tools/uninstall.sh ~/.local
#
# Exit codes: 0 removed (files already gone are fine), 1 refused or some
# file was kept, 2 bad arguments.
set -eu
case "${1:-}" in
  -h|--help) sed -n '2,12s/^# \{0,1\}//p' "$0"; exit 0 ;;
  "") echo "usage: uninstall.sh PREFIX" >&2; exit 2 ;;
esac
[ "$#" -eq 1 ] || { echo "usage: uninstall.sh PREFIX" >&2; exit 2; }
# A folder named -P or - is a folder, not an option of cd.
case "$1" in -*) given=./$1 ;; *) given=$1 ;; esac
prefix=$(cd -P -- "$given" 2>/dev/null && pwd -P) || { echo "uninstall: $1 is not a folder" >&2; exit 1; }
manifest=share/eyesonly/install-manifest.txt

# resolve PATH: PATH's folder with every link on the way followed, then its
# last name; fails when the folder is gone.
resolve() {
  folder=$(cd -P -- "$prefix/$(dirname -- "$1")" 2>/dev/null && pwd -P) || return 1
  printf '%s/%s\n' "${folder%/}" "$(basename -- "$1")"
}
# inside RESOLVED: whether RESOLVED lies in the prefix.
inside() {
  case "$1" in "${prefix%/}"/*) return 0 ;; *) return 1 ;; esac
}

if [ ! -f "$prefix/$manifest" ]; then
  echo "uninstall: nothing was installed into $prefix by cmake --install (no $manifest there); nothing removed" >&2
  exit 1
fi
if ! listed=$(resolve "$manifest") || ! inside "$listed" || [ -L "$listed" ] || [ ! -r "$listed" ]; then
  echo "uninstall: $prefix/$manifest cannot be read or lies outside $prefix through a link; nothing removed" >&2
  exit 1
fi

lists=$(mktemp -d "${TMPDIR:-/tmp}/uninstall.XXXXXX")
trap 'rm -rf "$lists"' EXIT
# The list as the install writes it: its heading comment, then one
# "file PATH" or "dir PATH" a line, each PATH relative and plain (no empty,
# . or .. part, no leading or trailing space or slash, no control
# character), "dir ." for a prefix the install made, and one file at least.
# Anything else (a list cut short, edited, or with CRLF line ends) is
# refused whole and kept, so that the install can still be removed by hand.
LC_ALL=C awk '
  /^#/ { next }
  /^(file|dir) [^ \/]/ && !/[[:cntrl:]]/ && !/[ \/]$/ {
    path = substr($0, index($0, " ") + 1); n = split(path, part, "/"); ok = 1
    for (i = 1; i <= n; i++) if (part[i] == "" || part[i] == "." || part[i] == "..") ok = 0
    if (ok) { files += /^file /; next }
    if ($0 == "dir .") next
  }
  { printf "line %d: %s\n", NR, $0; bad = 1 }
  END { if (!bad && !files) print "no file is listed" }
' "$prefix/$manifest" >"$lists/bad" 2>&1 || echo "it cannot be read" >>"$lists/bad"
if [ -s "$lists/bad" ]; then
  echo "uninstall: $prefix/$manifest is not a list this install wrote; nothing removed, the list kept:" >&2
  sed 's/[[:cntrl:]]/?/g; 5q' "$lists/bad" >&2
  exit 1
fi
! grep -qx 'dir \.' "$prefix/$manifest" || touch "$lists/made-prefix"
sed -n 's/^file //p' "$prefix/$manifest" >"$lists/files"
# Deepest first, so that a folder is empty when its turn comes.
sed -n 's/^dir //p' "$prefix/$manifest" | grep -vx '\.' | awk '{ print gsub("/", "/"), $0 }' |
  sort -k1,1nr -k2 | cut -d' ' -f2- >"$lists/dirs" || true

# The package that owns PATH, if a package manager owns it.
owner() {
  command -v dpkg-query >/dev/null 2>&1 || return 1
  dpkg-query -S "$1" 2>/dev/null | sed -n '1s/: .*//p' | grep .
}

status=0
while IFS= read -r path; do
  if ! target=$(resolve "$path"); then
    continue
  elif ! inside "$target"; then
    echo "uninstall: kept $target: a link on $prefix/$path leads there, outside $prefix" >&2
    status=1
  elif [ ! -e "$target" ] && [ ! -L "$target" ]; then
    continue
  elif package=$(owner "$target"); then
    echo "uninstall: kept $target: it belongs to the package $package"
  elif [ -d "$target" ] && [ ! -L "$target" ]; then
    echo "uninstall: kept $target: it is a folder now" >&2
    status=1
  elif rm -f -- "$target"; then
    echo "uninstall: removed $target"
  else
    status=1
  fi
done <"$lists/files"

# The list goes once every file it names is gone or kept on purpose; then
# the folders the install made, each only while empty and no package's.
if [ "$status" -eq 0 ]; then
  rm -f -- "$listed"
else
  echo "uninstall: kept $prefix/$manifest, for what is left" >&2
fi
while IFS= read -r path; do
  if ! target=$(resolve "$path") || ! inside "$target"; then continue; fi
  if [ -d "$target" ] && [ ! -L "$target" ] && ! owner "$target" >/dev/null && rmdir -- "$target" 2>/dev/null; then
    echo "uninstall: removed $target/"
  fi
done <"$lists/dirs"
if [ "$status" -eq 0 ] && [ -f "$lists/made-prefix" ] && rmdir -- "$prefix" 2>/dev/null; then
  echo "uninstall: removed $prefix/"
fi
exit "$status"
