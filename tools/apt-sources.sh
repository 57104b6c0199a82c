#!/bin/sh
# Prints the machine's enabled apt sources one to a line, as
#   TYPE URI SUITE SIGNED-BY COMPONENT...
# (TYPE deb or deb-src; SIGNED-BY the source's keyring, or - for none), from /etc/apt/sources.list and the one-line (.list)
# and deb822 (.sources) files in /etc/apt/sources.list.d. The install script
# and the package test take Debian's package source from here, so that a
# machine behind its own mirror keeps using it.
# APT_SOURCES_DIR: another folder to read in place of /etc/apt (for tests).
set -eu
etc=${APT_SOURCES_DIR:-/etc/apt}
for file in "$etc/sources.list" "$etc"/sources.list.d/*.list "$etc"/sources.list.d/*.sources; do
  [ -f "$file" ] || continue
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
          else if (field == "signed-by" && value !~ /^-----BEGIN/) signedby = value
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
