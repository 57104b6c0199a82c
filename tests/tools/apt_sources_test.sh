#!/bin/sh
# tools/apt-sources.sh --add-deb-src against machines' apt sources as they
# come: for each, the deb-src file it writes (or that it writes none), and
# that real apt still reads the sources afterwards (apt-get indextargets on
# a copy of /etc/apt's layout). $1: the build directory (unused).
set -u
src=$(cd "$(dirname "$0")/../.." && pwd)
name=apt_sources_test
tool="$src/tools/apt-sources.sh"
. "$src/tests/support/tool_preamble.sh"
command -v apt-get >/dev/null || { echo "$name: did not run: no apt-get here"; exit 0; }

key=/usr/share/keyrings/debian-archive-keyring.gpg
# The machine's own package source stands in every row (a machine behind a
# mirror of its own keeps it): the one apt reads its lists from, else the
# first one its sources name.
mirror=$(apt-get indextargets --format '$(REPO_URI)' 'Created-By: Packages' 2>/dev/null | head -n 1)
[ -n "$mirror" ] || mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
    awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /:\//) { print $i; exit } }
         $1 == "URIs:" { print $2; exit }')
mirror=${mirror%/}
[ -n "$mirror" ] || { echo "$name: did not run: apt names no package source here"; exit 0; }
plain="deb $mirror bookworm main"
stanza="Types: deb\nURIs: $mirror\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: $key\n"

# Rows: name | sources.list | sources.list.d/x.list | sources.list.d/x.sources
#       | what is printed | the Signed-By written (- for none; "" for no file)
rows="both files list one source|$plain\n||$stanza|added|$key
signed-by in the line's options|deb [arch=amd64 signed-by=$key] $mirror bookworm main\n|||added|$key
.list files only|$plain\n|deb $mirror bookworm-updates main\n||added|-
a disabled stanza with another key|$plain\n||Enabled: no\n${stanza%Signed-By*}Signed-By: /nowhere.gpg\n|added|-
a source with no key|||${stanza%Signed-By*}|added|-
a deb-src line already there|$plain\ndeb-src $mirror bookworm main contrib\n|||present|
no deb line for the suite|deb $mirror trixie main\n|||fail|
a key written into the stanza|||${stanza%Signed-By*}Signed-By:\n -----BEGIN PGP PUBLIC KEY BLOCK-----\n .\n AAAA\n -----END PGP PUBLIC KEY BLOCK-----\n|added|-
a keyless entry before the keyed one, after ours|||${stanza%Signed-By*}\n$stanza|added|-
apt already refusing its sources|||$stanza\n${stanza%Signed-By*}|fail|"

while IFS='|' read -r row list dotlist deb822 says signed; do
    etc="$work/$(echo "$row" | tr ' ' _)"
    mkdir -p "$etc/sources.list.d"
    # shellcheck disable=SC2059
    { [ -z "$list" ] || printf "$list" >"$etc/sources.list"
      [ -z "$dotlist" ] || printf "$dotlist" >"$etc/sources.list.d/x.list"
      [ -z "$deb822" ] || printf "$deb822" >"$etc/sources.list.d/x.sources"; }
    out="$etc/sources.list.d/eyesonly-src.sources"
    got=$(APT_SOURCES_DIR="$etc" "$tool" --add-deb-src bookworm "$out" 2>"$work/err") || got=fail
    [ "$got" = "$says" ] || { fail "$row: printed '$got', expected '$says' [$(cat "$work/err")]"; continue; }
    if [ -z "$signed" ]; then
        [ ! -e "$out" ] || fail "$row: wrote $out: $(cat "$out")"
        continue
    fi
    written=$(sed -n 's/^Signed-By: //p' "$out")
    [ "${written:--}" = "$signed" ] || fail "$row: Signed-By '${written:--}', expected '$signed'"
    grep -qx "Types: deb-src" "$out" && grep -qx "Suites: bookworm" "$out" && grep -qx "URIs: $mirror" "$out" ||
        fail "$row: not the deb line's source: $(cat "$out")"
    mkdir -p "$etc/lists"
    apt-get -o Dir::Etc="$etc" -o Dir::Etc::SourceList="$etc/sources.list" -o Dir::Etc::SourceParts="$etc/sources.list.d" \
        -o Dir::State::Lists="$etc/lists" indextargets >/dev/null 2>"$work/apt" && ! grep -q '^E:' "$work/apt" ||
        fail "$row: apt no longer reads the sources: $(grep -m1 '^E:' "$work/apt")"
    again=$(APT_SOURCES_DIR="$etc" "$tool" --add-deb-src bookworm "$out" 2>&1)
    [ "$again" = unchanged ] || fail "$row: a second run printed '$again', expected 'unchanged'"
done <<EOF
$rows
EOF
test_end
