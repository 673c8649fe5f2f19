#!/usr/bin/env bash
# Draws Velmora's pictures with ImageMagick; the output is committed, so the
# build never needs ImageMagick. Run again after changing a picture:
#   apt-get install imagemagick fonts-dejavu-core && assets/draw.sh
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Icon: a grey disc with a blue eye in the middle, drawn large and scaled
# down so the small sizes stay smooth; 256-colour PNGs at 16 and 32.
convert -size 256x256 xc:none \
    -fill '#9a9ea4' -stroke '#5c6066' -strokewidth 10 -draw 'circle 128,128 128,8' \
    -fill '#e8f0ff' -stroke '#1d3f8f' -strokewidth 8 -draw 'path "M 34,128 Q 128,40 222,128 Q 128,216 34,128 Z"' \
    -fill '#2f6fe0' -stroke none -draw 'circle 128,128 128,80' \
    -fill '#0b1f4d' -draw 'circle 128,128 128,106' \
    -fill white -draw 'circle 112,112 112,100' \
    "$work/icon.png"
for size in 16 32 128; do
    convert "$work/icon.png" -filter Lanczos -resize ${size}x${size} -colors 256 "PNG8:velmora-$size.png"
done

# About picture, 223 x 241, progressive JPEG: a woven blue chequer (cells
# of horizontal and vertical threads), waved, the name glowing across the
# top and a small white emblem in the bottom-right corner.
convert -size 14x5 gradient:'#6fa6ff'-'#1b4fb8' "$work/thread.png"
convert -size 14x14 tile:"$work/thread.png" "$work/across.png"
convert -size 14x5 gradient:'#3f7be6'-'#0c2a70' "$work/thread.png"
convert -size 14x14 tile:"$work/thread.png" -rotate 90 "$work/down.png"
convert \( "$work/across.png" "$work/down.png" +append \) \
    \( "$work/down.png" "$work/across.png" +append \) -append "$work/tile.png"
convert -size 280x300 tile:"$work/tile.png" \
    -background '#0c2a70' -wave 4x110 -rotate 90 -wave 3x130 -rotate -90 \
    -gravity center -crop 223x241+0+0 +repage -modulate 78 \
    "$work/cloth.png"

name='Velmora'
font=DejaVu-Serif-Bold
convert "$work/cloth.png" \
    \( -size 223x241 xc:none -font "$font" -pointsize 40 -gravity north \
       -fill '#ff2fb0' -annotate +0+10 "$name" -blur 0x6 \) -composite \
    \( -size 223x241 xc:none -font "$font" -pointsize 40 -gravity north \
       -fill '#ff7fd4' -annotate +0+10 "$name" -blur 0x2 \) -composite \
    -gravity north -font "$font" -pointsize 40 \
    -fill white -stroke '#ff9ddf' -strokewidth 1 -annotate +0+10 "$name" \
    -gravity northwest -stroke none -fill white \
    -draw 'polygon 205,214 208,222 216,225 208,228 205,236 202,228 194,225 202,222' \
    -fill none -stroke white -strokewidth 1 -draw 'circle 205,225 205,215' \
    -strip -interlace JPEG -quality 90 about.jpg
