#!/bin/sh
# Converts an image, writes its quick-look page and takes a screenshot of the page in headless
# Chromium (Debian's chromium package).
#
#   tools/quicklook_screenshot.sh [-n] IMAGE [OUT.png [SWITCHES...]]
#
#   -n        IMAGE is converted already: its _tdr.txt and so on lie beside it
#   OUT.png   defaults to doc/quicklook.png
#   SWITCHES  go to skelv-quicklook (the dive switches, such as -zoc auto)
# Environment: BUILD (folder with Skelv and skelv-quicklook, default build), WIDTH (default 1280)
# and HEIGHT (default 2800) of the browser window; the screenshot is the window.
set -eu

convert=yes
if [ "${1:-}" = "-n" ]; then
  convert=no
  shift
fi
if [ $# -lt 1 ]; then
  echo "usage: $0 [-n] IMAGE [OUT.png]" >&2
  exit 1
fi
image=$1
png=${2:-doc/quicklook.png}
shift $(($# < 2 ? $# : 2))
build=${BUILD:-build}

if [ "$convert" = yes ]; then
  "$build/Skelv" "$image" > /dev/null
fi
# skelv-quicklook tells the name of the page it wrote.
page=$("$build/skelv-quicklook" "$image" "$@" | sed -n 's/^Wrote \(.*\) ([0-9]* bytes)$/\1/p')
[ -n "$page" ] || { echo "$0: no page written" >&2; exit 1; }

profile=$(mktemp -d)
log=$(mktemp)
trap 'rm -rf "$profile" "$log"' EXIT
if ! chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync --hide-scrollbars \
    --user-data-dir="$profile" --window-size="${WIDTH:-1280},${HEIGHT:-2800}" \
    --screenshot="$(realpath -m "$png")" "file://$(realpath "$page")" > "$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
echo "$page -> $png"
