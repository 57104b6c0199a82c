#!/bin/sh
# Builds the show for the browser into build-web/ (a static folder any web
# server can host: index.html, the program as JS and WebAssembly, its data;
# and eyesonly.html, the same page in one file that plays opened from disk)
# and serves it on 127.0.0.1, printing the address.
#
#   tools/web.sh            build, then serve on port 8640
#   tools/web.sh --build    build only
#   tools/web.sh --port N   serve on port N (0: any free port)
#   tools/web.sh --native DIR  take the show's data and showframe from the
#                           native build in DIR (which has made its data and
#                           showframe targets) instead of building build/ for it
#
# Needs the web toolchain: ./tools/install-deps.sh --web. The first build
# also builds libopenmpt and GLU for the web from Debian's sources into
# build-webdeps/ (a few minutes); later builds reuse them.
set -eu
cd "$(dirname "$0")/.."
serve=yes
port=8640
native=""
while [ "$#" -gt 0 ]; do
    case "$1" in
    --build) serve=no ;;
    --port) [ "$#" -ge 2 ] || { echo "web: --port needs a number" >&2; exit 2; }; port=$2; shift ;;
    --native) [ "$#" -ge 2 ] || { echo "web: --native needs a build folder" >&2; exit 2; }; native=$2; shift ;;
    --help) sed -n '2,17s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "web: unknown argument $1 (try --help)" >&2; exit 2 ;;
    esac
    shift
done
for tool in emcmake emcc node; do
    command -v "$tool" >/dev/null || { echo "web: $tool not found: run ./tools/install-deps.sh --web" >&2; exit 1; }
done
. tools/native_data.sh

# 1. The show's data and its glyphs, made natively, and showframe, which
#    draws the position bar's stills.
native_data web "$native" data showframe
showframe=$(cd "$native" && pwd)/showframe
[ -x "$showframe" ] || { echo "web: $showframe not found: build the showframe target there first" >&2; exit 1; }

# 2. libopenmpt and GLU for the web, once.
./tools/web/deps.sh build-webdeps

# 3. The page.
NODE_OPTIONS=--no-experimental-fetch emcmake cmake -S . -B build-web-cmake -DCMAKE_BUILD_TYPE=Release \
    -DEYESONLY_WEB_DATA="$data" -DEYESONLY_WEB_SHOWFRAME="$showframe" -DEYESONLY_WEB_SITE="$(pwd)/build-web" >/dev/null
NODE_PATH=/usr/share/nodejs cmake --build build-web-cmake -j"$jobs"
echo "web: the page is in $(pwd)/build-web/"

[ "$serve" = yes ] || exit 0
exec node tools/web/serve.mjs build-web --port "$port"
