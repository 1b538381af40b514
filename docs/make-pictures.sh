#!/usr/bin/env bash
# Remakes the README's pictures from a built tree: the before/after pair (the batch tool with its
# default settings) and the window's screenshots under Xvfb. Usage: docs/make-pictures.sh
# Needs the Release build (./build.sh run or test) and: xvfb xdotool imagemagick fonts-ipafont-gothic
set -euo pipefail
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
docs=$root/docs
cli=$root/build/release/cli/zelqorhdr-cli
app=$root/build/release/app/zelqorhdr
photo=${PHOTO:-$root/../shared/testdata/jpeg/exif/gps_DSCN0010.jpg}

for tool in Xvfb xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install xvfb xdotool imagemagick)" >&2; exit 1; }
done
[ -x "$cli" ] && [ -x "$app" ] || { echo "build first: ./build.sh test" >&2; exit 1; }

# Before and after at the same small size. The batch tool scales the neighbourhood with the long
# side, so its 480-pixel result looks as the full-size one does, shrunk.
convert "$photo" -filter Box -resize 480x480 -strip -quality 73 "$docs/before.jpg"
"$cli" --quiet --size 480 --exif none -o "$docs/after.jpg" "$photo"

# One display of our own, free of whatever else runs here.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x700x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
export DISPLAY=$display
sleep 1

# shot LANG NAME... : starts the window on the photo and saves the pages named in order, each as
# "page:file" (page 0 source, 1 processed, 2 options); a processed page runs the preview first.
shot() {
    local lang=$1
    shift
    LANG=$lang LC_ALL=$lang QT_QPA_PLATFORMTHEME= "$app" "$photo" 2>/dev/null &
    local pid=$!
    local window
    window=$(xdotool search --sync --onlyvisible --pid "$pid" | head -1)
    sleep 1
    xdotool windowfocus --sync "$window" 2>/dev/null
    for item in "$@"; do
        local page=${item%%:*} file=${item#*:}
        if [ "$page" != 0 ]; then
            # The preview run (Ctrl+P) ends on the processed page.
            xdotool key ctrl+p 2>/dev/null
            sleep 3
        fi
        if [ "$page" = 2 ]; then
            # The options tab, third on the tab bar below the menu.
            xdotool mousemove --window "$window" 200 32 click 1 2>/dev/null
            sleep 1
        fi
        import -window "$window" -quality 85 "$docs/$file"
    done
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}
shot ja_JP.UTF-8 0:ja-source.jpg 1:ja-processed.jpg 2:ja-options.png
shot en_US.UTF-8 1:en-processed.jpg

# The processed page at 100 % after a full-size run (Ctrl+F), on a photo with fine detail; the
# middle click zooms to 100 % about the pointer.
zoom_photo=${ZOOM_PHOTO:-$root/../shared/testdata/jpeg/exif/hdr_iphone_hdr_YES.jpg}
LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 QT_QPA_PLATFORMTHEME= "$app" "$zoom_photo" 2>/dev/null &
pid=$!
window=$(xdotool search --sync --onlyvisible --pid "$pid" | head -1)
sleep 1
xdotool windowsize "$window" 760 620 windowmove "$window" 0 0 2>/dev/null
xdotool windowfocus --sync "$window" 2>/dev/null
xdotool key ctrl+f 2>/dev/null
sleep 8
xdotool mousemove --window "$window" 330 250 click 2 2>/dev/null
sleep 1
import -window "$window" -strip -quality 78 "$docs/zoom-100.jpg"
kill "$pid"
wait "$pid" 2>/dev/null || true
ls -l "$docs"
