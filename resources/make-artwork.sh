#!/usr/bin/env bash
# Draws Velmora's artwork with ImageMagick 6. The results are committed and listed in
# velmora.qrc (so a missing picture stops the build); run this again only when the artwork
# changes:  bash resources/make-artwork.sh
set -euo pipefail
cd "$(dirname "$0")"
IM=/usr/bin/convert
BOLD=DejaVu-Sans-Bold
BOOK=DejaVu-Sans
GOLD='#ffc61a'
CYAN='#35d0ff'
NAVY='#06223f'
# Same input, same bytes: no time stamps in the PNG files.
PNG_OUT=(-depth 8 -define png:exclude-chunks=date,time)
mkdir -p images icons

# A sine wave from x0 to x1 around baseline y, amplitude a, wavelength w, as a draw primitive:
# the carrier of a modem line. (Round joins: with mitred ones ImageMagick 6 strokes a stray
# chord from the last point back to the first.)
wave() { # x0 x1 y a w
    awk -v x0="$1" -v x1="$2" -v y="$3" -v a="$4" -v w="$5" 'BEGIN {
        printf "stroke-linejoin round stroke-linecap round polyline"
        for (x = x0; x <= x1; x += 2) printf " %d,%.1f", x, y + a * sin(6.2832 * (x - x0) / w) }'
}

# A nine-pin serial connector (the shell and two rows of pins) with its top-left corner at
# x,y, scaled by s (1 = 60 x 24 pixels).
connector() { # x y s colour
    awk -v x="$1" -v y="$2" -v s="$3" -v c="$4" 'BEGIN {
        printf "stroke %s stroke-width %.1f fill none ", c, 2 * s
        printf "path '\''M %.1f,%.1f L %.1f,%.1f L %.1f,%.1f L %.1f,%.1f Z'\'' ",
            x, y, x + 60 * s, y, x + 52 * s, y + 24 * s, x + 8 * s, y + 24 * s
        printf "stroke none fill %s ", c
        for (i = 0; i < 5; i++) printf "circle %.1f,%.1f %.1f,%.1f ", x + (12 + 9 * i) * s, y + 7 * s, x + (12 + 9 * i) * s + 2.2 * s, y + 7 * s
        for (i = 0; i < 4; i++) printf "circle %.1f,%.1f %.1f,%.1f ", x + (16.5 + 9 * i) * s, y + 16 * s, x + (16.5 + 9 * i) * s + 2.2 * s, y + 16 * s
    }'
}

# The splash picture, 302 x 393: the name over a carrier wave and a serial connector, with a
# darker strip along the bottom where the window puts its four icons.
$IM -size 302x393 radial-gradient:'#0d3b66'-'#000000' \
    -fill '#00000099' -draw 'rectangle 0,330 302,393' \
    -stroke '#35d0ff55' -strokewidth 1 -fill none \
    -draw "$(wave 0 302 248 10 75)" -draw "$(wave 0 302 252 16 110)" \
    -stroke "$GOLD" -strokewidth 2 -draw "$(wave 0 302 250 22 150)" \
    -draw "$(connector 106 40 1.5 "$CYAN")" \
    -stroke none -font "$BOLD" -pointsize 48 -gravity north \
    -fill '#000000' -annotate +2+112 'Velmora' -fill "$GOLD" -annotate +0+110 'Velmora' \
    -fill '#ffffff' -font "$BOOK" -pointsize 15 -annotate +0+172 'version 1.2' \
    -fill "$CYAN" -pointsize 13 -annotate +0+198 'COM ports  ·  modems  ·  dial-up' \
    -fill '#c8d6e5' -pointsize 11 -annotate +0+292 'Tuning your connection...' \
    -gravity none -fill none -stroke "$GOLD" -strokewidth 2 -draw 'rectangle 4,4 297,388' \
    -stroke '#ffc61a66' -strokewidth 1 -draw 'line 20,330 282,330' \
    -quality 92 images/splash.jpg

# The banner across the bottom of the main window, 641 x 86.
$IM -size 641x86 gradient:"$NAVY"-'#000000' \
    -stroke '#35d0ff55' -strokewidth 1 -fill none -draw "$(wave 230 560 44 9 60)" \
    -stroke "$GOLD" -strokewidth 2 -draw "$(wave 230 560 44 14 90)" \
    -draw "$(connector 572 26 0.92 "$CYAN")" \
    -stroke none -font "$BOLD" -pointsize 36 \
    -fill '#000000' -annotate +20+50 'Velmora' -fill "$GOLD" -annotate +18+48 'Velmora' \
    -fill "$CYAN" -font "$BOOK" -pointsize 12 -annotate +20+72 'Serial ports, modems and dial-up, tuned' \
    -stroke '#ffc61a66' -strokewidth 1 -draw 'line 0,84 641,84' \
    -quality 92 images/banner.jpg

# The 32 x 32 icons: a rounded tile in the icon's own colour with a white drawing on it.
tile() { # colour -> the tile's drawing primitives
    echo "fill $1 stroke #ffffff40 stroke-width 1 roundrectangle 1,1 30,30 6,6"
}
icon() { # name colour drawing...
    local name=$1 colour=$2
    shift 2
    $IM -size 32x32 xc:none -draw "$(tile "$colour")" "$@" "${PNG_OUT[@]}" "icons/$name.png"
}
# A serial connector.
icon port '#1f6feb' -draw "$(connector 4 8 0.4 '#ffffff')"
# A modem: a box with its row of lights, one of them lit.
icon modem '#2da44e' -fill none -stroke '#ffffff' -strokewidth 2 -draw 'roundrectangle 5,11 26,22 2,2' \
    -stroke none -fill '#ffffff' -draw 'circle 10,17 11.5,17' -draw 'circle 15,17 16.5,17' \
    -fill "$GOLD" -draw 'circle 20,17 21.5,17' -fill '#ffffff' -draw 'rectangle 8,22 10,25' -draw 'rectangle 21,22 23,25'
# A buffer: a stack of filled slots, the top one empty.
icon buffer '#bf8700' -fill none -stroke '#ffffff' -strokewidth 1.5 -draw 'rectangle 8,6 23,10' \
    -stroke none -fill '#ffffff' -draw 'rectangle 8,13 23,17' -draw 'rectangle 8,20 23,24' \
    -draw 'polygon 26,13 29,18 26,23'
# A network: three linked nodes.
icon network '#8250df' -stroke '#ffffff' -strokewidth 2 -draw 'line 9,22 16,9' -draw 'line 16,9 23,22' \
    -draw 'line 9,22 23,22' -stroke none -fill '#ffffff' -draw 'circle 16,9 19.5,9' \
    -draw 'circle 9,22 12.5,22' -draw 'circle 23,22 26.5,22'
# Information: an "i" in a ring.
icon info '#cf222e' -fill none -stroke '#ffffff' -strokewidth 2 -draw 'circle 16,16 16,5' \
    -stroke none -fill '#ffffff' -draw 'circle 16,10.5 17.6,10.5' -draw 'rectangle 14.5,14 17.5,22'
$IM icons/port.png -resize 16x16 "${PNG_OUT[@]}" icons/port-small.png

# The application icon, 256 x 256: a gold V riding a carrier wave on a navy tile.
$IM -size 256x256 xc:none \
    \( -size 240x240 radial-gradient:'#0d3b66'-"$NAVY" \) -geometry +8+8 -compose over -composite \
    \( -size 256x256 xc:black -fill white -draw 'roundrectangle 8,8 247,247 44,44' \) \
    -compose copy-opacity -composite -compose over \
    -stroke '#35d0ff88' -strokewidth 4 -fill none -draw "$(wave 24 232 190 10 70)" \
    -stroke "$GOLD" -strokewidth 8 -draw "$(wave 24 232 190 16 104)" \
    -stroke none -font "$BOLD" -pointsize 160 -gravity center \
    -fill '#00000088' -annotate +4-12 'V' -fill "$GOLD" -annotate +0-16 'V' \
    -gravity none -fill none -stroke '#ffc61a' -strokewidth 4 -draw 'roundrectangle 10,10 245,245 42,42' \
    "${PNG_OUT[@]}" icons/velmora.png
