#!/bin/sh
# Prints the machine's enabled apt sources one to a line, as
#   TYPE URI SUITE SIGNED-BY COMPONENT...
# (TYPE deb or deb-src; SIGNED-BY the source's keyring, or - for none), from
# /etc/apt/sources.list and the one-line (.list) and deb822 (.sources) files
# in /etc/apt/sources.list.d. The install script and the package test take
# Debian's package source from here, so that a machine behind its own mirror
# keeps using it.
#
#   apt-sources.sh                         the list
#   apt-sources.sh --add-deb-src SUITE FILE
#       makes sure apt knows the source packages of SUITE's main component,
#       from the source its deb line for SUITE names: nothing to do where an
#       enabled deb-src line other than FILE's has them; else FILE (deb822)
#       is written with the Signed-By apt already uses for that source, or
#       none where it uses none or refuses that one, and apt must still read
#       its sources with it (apt-get indextargets), or FILE is taken out. Prints "present",
#       "unchanged" or "added"; exit 1 with the reason on standard error
#       where it cannot (then FILE is not there, or as it was).
#
# APT_SOURCES_DIR: another folder to read in place of /etc/apt, which apt's
# check then reads too (for tests).
set -eu
etc=${APT_SOURCES_DIR:-/etc/apt}

list_sources() {
  for file in "$etc/sources.list" "$etc"/sources.list.d/*.list "$etc"/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    [ "$file" != "${skip:-}" ] || continue
    case "$file" in
      *.sources)
        # deb822: stanzas of "Field: value" lines between blank lines.
        awk '
          function flush(   t, u, s, nt, nu, ns, i, j, k) {
            if (types != "" && uris != "" && suites != "" && tolower(enabled) != "no") {
              nt = split(types, t, " "); nu = split(uris, u, " "); ns = split(suites, s, " ")
              for (i = 1; i <= nt; i++) for (j = 1; j <= nu; j++) for (k = 1; k <= ns; k++)
                print t[i], u[j], s[k], signedby, components
            }
            types = uris = suites = components = enabled = ""; signedby = "-"
          }
          BEGIN { signedby = "-" }
          /^[ \t]*#/ { next }
          /^[ \t]*$/ { flush(); next }
          /^[^ \t]/ {
            field = tolower($0); sub(/:.*/, "", field)
            value = $0; sub(/^[^:]*:[ \t]*/, "", value); gsub(/[ \t]+/, " ", value); sub(/ $/, "", value)
            if (field == "types") types = value
            else if (field == "uris") uris = value
            else if (field == "suites") suites = value
            else if (field == "components") components = value
            else if (field == "enabled") enabled = value
            else if (field == "signed-by" && value != "" && value !~ /^-----BEGIN/) signedby = value
          }
          END { flush() }' "$file"
        ;;
      *)
        # One-line form: TYPE [OPTIONS] URI SUITE COMPONENT...
        awk '
          { sub(/#.*/, "") }
          $1 == "deb" || $1 == "deb-src" {
            line = $0; signedby = "-"
            if (match(line, /\[[^]]*\]/)) {
              options = substr(line, RSTART + 1, RLENGTH - 2)
              line = substr(line, 1, RSTART - 1) substr(line, RSTART + RLENGTH)
              if (match(options, /signed-by=[^ ]*/)) signedby = substr(options, RSTART + 10, RLENGTH - 10)
            }
            n = split(line, w, " ")
            if (n < 3) next
            out = w[1] " " w[2] " " w[3] " " signedby
            for (i = 4; i <= n; i++) out = out " " w[i]
            print out
          }' "$file"
        ;;
    esac
  done
}

# apt_reads_sources: whether apt reads the sources (in $etc) without an
# error; its first error in $apt_error. The lists it has fetched are left
# out (an empty folder in their place): reading them is most of the time,
# and nothing of the sources' own.
apt_reads_sources() {
  no_lists=$(mktemp -d)
  apt_error=$(apt-get -o Dir::Etc="$etc" -o Dir::Etc::SourceList="$etc/sources.list" \
    -o Dir::Etc::SourceParts="$etc/sources.list.d" -o Dir::State::Lists="$no_lists" indextargets 2>&1 >/dev/null |
    grep -m1 '^E:') && { rm -rf "$no_lists"; return 1; }
  rm -rf "$no_lists"
  return 0
}

add_deb_src() {  # SUITE FILE
  suite=$1
  file=$2
  others=$(list_sources_except "$file")
  if echo "$others" | awk -v suite="$suite" '$1 == "deb-src" && $3 == suite { for (i = 5; i <= NF; i++) if ($i == "main") found = 1 }
                                              END { exit !found }'; then
    echo present
    return 0
  fi
  # The deb line's source, and the keyring any line of that source names:
  # apt takes a source's entries as one, and refuses two that disagree.
  from=$(echo "$others" | awk -v suite="$suite" '$1 == "deb" && $3 == suite { print $2; exit }')
  if [ -z "$from" ]; then
    echo "apt-sources: no deb line for $suite in the machine's apt sources to take the source packages from" >&2
    return 1
  fi
  key=$(echo "$others" | awk -v uri="${from%/}" -v suite="$suite" '
    { u = $2; sub(/\/+$/, "", u) }
    u == uri && $3 == suite && $4 != "-" { print $4; exit }')
  stanza="Types: deb-src
URIs: $from
Suites: $suite
Components: main"
  if [ -f "$file" ] && { [ "$(cat "$file")" = "$stanza
Signed-By: $key" ] || [ "$(cat "$file")" = "$stanza" ]; } && apt_reads_sources; then
    echo unchanged
    return 0
  fi
  saved=""
  if [ -f "$file" ]; then
    saved=$(mktemp) && mv "$file" "$saved"
  fi
  if ! apt_reads_sources; then
    [ -z "$saved" ] || mv "$saved" "$file"
    echo "apt-sources: apt cannot read its sources as they are, before any change ($apt_error); left them alone" >&2
    return 1
  fi
  # That key first; then none, which apt takes where an entry without one
  # comes after ours (apt refuses a source's keyless entry only after a
  # keyed one).
  for signed in ${key:+"$key"} ""; do
    { echo "$stanza"; [ -z "$signed" ] || echo "Signed-By: $signed"; } >"$file"
    if apt_reads_sources; then
      [ -z "$saved" ] || rm -f "$saved"
      echo added
      return 0
    fi
  done
  if [ -n "$saved" ]; then mv "$saved" "$file"; else rm -f "$file"; fi
  echo "apt-sources: apt cannot read its sources with $file added ($apt_error); took it out again" >&2
  return 1
}

# The list without one file's lines (the file --add-deb-src writes).
list_sources_except() {
  skip=$1 list_sources
}

case "${1:-}" in
  --add-deb-src)
    [ "$#" = 3 ] || { echo "usage: $0 [--add-deb-src SUITE FILE]" >&2; exit 2; }
    add_deb_src "$2" "$3" ;;
  "") skip="" list_sources ;;
  *) echo "usage: $0 [--add-deb-src SUITE FILE]" >&2; exit 2 ;;
esac
