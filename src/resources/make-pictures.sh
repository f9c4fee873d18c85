#!/usr/bin/env bash
# Redraws the program's pictures with ImageMagick 6 (`convert`). The pictures are checked in;
# run this only to change them. Glyphs are drawn at four times their size and scaled down,
# which gives them smooth edges.
set -euo pipefail
cd "$(dirname "$0")"

strip=(-strip -define png:exclude-chunks=date,time)

glyph() { # glyph NAME DRAW-ARGS...: a 16x16 picture from a 64x64 drawing
    local name=$1
    shift
    convert -size 64x64 xc:none "$@" -filter Lanczos -resize 16x16 "${strip[@]}" "PNG32:$name"
}

# The program: a log table with a magnifier over it.
convert -size 128x128 xc:none \
    -fill '#00000030' -stroke none -draw 'roundrectangle 14,16 110,112 8,8' \
    -fill white -stroke '#44546a' -strokewidth 3 -draw 'roundrectangle 10,12 106,108 8,8' \
    -fill '#2f6fb0' -stroke none -draw 'roundrectangle 12,14 104,34 6,6' \
    -draw 'rectangle 12,26 104,34' \
    -stroke '#b8c4d2' -strokewidth 2 \
    -draw 'line 14,50 102,50' -draw 'line 14,66 102,66' -draw 'line 14,82 102,82' \
    -draw 'line 14,98 102,98' -draw 'line 38,36 38,104' \
    -stroke '#7a8899' -strokewidth 4 \
    -draw 'line 18,43 32,43' -draw 'line 44,43 90,43' \
    -draw 'line 18,59 32,59' -draw 'line 44,59 80,59' \
    -draw 'line 18,75 32,75' -draw 'line 44,75 94,75' \
    -draw 'line 18,91 32,91' -draw 'line 44,91 70,91' \
    -stroke '#3b3b3b' -strokewidth 12 -draw 'line 98,98 118,118' \
    -fill '#d9ecff80' -stroke '#3b3b3b' -strokewidth 7 -draw 'circle 82,82 82,58' \
    -fill none -stroke '#ffffffc0' -strokewidth 3 -draw 'arc 66,66 96,96 200,260' \
    "${strip[@]}" PNG32:program.png

# A small decorative picture: dusk over a calm sea, stored as JPEG.
convert -size 120x60 gradient:'#1d3557-#f4a261' \
    -fill '#ffe8a3' -stroke none -draw 'circle 84,38 84,28' \
    -fill '#264653' -draw 'rectangle 0,40 120,60' \
    -stroke '#e9c46a' -strokewidth 1 \
    -draw 'line 70,44 98,44' -draw 'line 74,48 94,48' -draw 'line 78,52 90,52' \
    -stroke '#8ab17d' -draw 'line 8,46 30,46' -draw 'line 40,54 60,54' \
    -fill '#0b132b' -stroke none -draw 'polygon 0,40 14,30 26,36 40,26 56,40' \
    -quality 88 -sampling-factor 2x2 "${strip[@]}" picture.jpg

glyph ok.png -fill none -stroke '#1e8a2e' -strokewidth 11 \
    -draw 'polyline 8,34 24,50 56,14'
glyph cancel.png -fill none -stroke '#c62828' -strokewidth 10 \
    -draw 'line 12,12 52,52' -draw 'line 52,12 12,52'
glyph exit.png -fill '#8d6e63' -stroke '#4e342e' -strokewidth 4 \
    -draw 'rectangle 6,4 36,60' -fill '#ffd54f' -stroke none -draw 'circle 29,34 29,30' \
    -fill none -stroke '#1e6fc8' -strokewidth 8 -draw 'line 30,32 52,32' \
    -fill '#1e6fc8' -stroke none -draw 'polygon 46,18 62,32 46,46'
glyph about.png -fill '#1e6fc8' -stroke '#0d47a1' -strokewidth 3 -draw 'circle 32,32 32,3' \
    -fill white -stroke none -draw 'circle 32,17 32,11' -draw 'roundrectangle 26,26 38,52 3,3'
glyph select.png -fill '#1e6fc8' -stroke '#0d47a1' -strokewidth 3 \
    -draw 'polygon 4,6 60,6 38,32 38,58 26,50 26,32'
glyph clear.png -fill '#90a4ae' -stroke '#546e7a' -strokewidth 3 \
    -draw 'polygon 2,4 46,4 30,24 30,46 18,40 18,24' \
    -fill none -stroke '#c62828' -strokewidth 8 -draw 'line 36,36 60,60' -draw 'line 60,36 36,60'
glyph refresh.png -fill none -stroke '#1e8a2e' -strokewidth 9 -draw 'arc 10,10 54,54 40,320' \
    -fill '#1e8a2e' -stroke none -draw 'polygon 40,4 62,22 38,30'
glyph delete.png -fill '#eceff1' -stroke '#546e7a' -strokewidth 4 \
    -draw 'rectangle 14,16 50,60' -draw 'line 8,12 56,12' -draw 'rectangle 24,4 40,12' \
    -stroke '#c62828' -strokewidth 4 -draw 'line 24,24 24,52' -draw 'line 32,24 32,52' \
    -draw 'line 40,24 40,52'
glyph export.png -fill white -stroke '#546e7a' -strokewidth 4 \
    -draw 'polygon 6,4 34,4 44,14 44,60 6,60' \
    -stroke '#90a4ae' -strokewidth 3 -draw 'line 14,22 34,22' -draw 'line 14,32 34,32' \
    -draw 'line 14,42 28,42' \
    -fill none -stroke '#1e8a2e' -strokewidth 8 -draw 'line 30,46 50,46' \
    -fill '#1e8a2e' -stroke none -draw 'polygon 46,34 62,46 46,58'
# A sum sign: the records counted. Lines, not a polyline, which ImageMagick 6 strokes closed.
glyph count.png -fill none -stroke '#1e6fc8' -strokewidth 7 -draw 'stroke-linecap round' \
    -draw 'line 12,7 50,7' -draw 'line 12,7 32,32' -draw 'line 32,32 12,57' \
    -draw 'line 12,57 50,57' -draw 'line 50,7 50,14' -draw 'line 50,57 50,50'
