#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# Makes the sample clip with FFmpeg's own generators, so nothing has to be downloaded:
# five seconds of a 24-patch colour chart on grey under warm light (a colour cast), with
# a small white card crossing the picture and light that dims, brightens and turns
# bluer and yellower over time.
# Usage: scripts/make-sample.sh OUTPUT.mp4 [WIDTHxHEIGHT]
set -euo pipefail
out=${1:?usage: make-sample.sh OUTPUT.mp4 [WIDTHxHEIGHT]}
size=${2:-640x360}
w=${size%x*}
h=${size#*x}

# The classic chart's patch colours (sRGB), row by row; the last row is neutral.
patches=(735244 c29682 627a9d 576c43 8580b1 67bdaa
         d67e2c 505ba6 c15a63 5e3c6c 9dbc40 e0a32e
         383d96 469449 af363c e7c71f bb5695 0885a1
         f3f3f2 c8c8c8 a0a0a0 7a7a79 555555 343434)
pw=$((w * 68 / 640)) ph=$((h * 56 / 360))
graph="color=c=0x6a6a6a:size=${w}x${h}:rate=25:duration=5"
for i in "${!patches[@]}"; do
  x=$((w * (92 + (i % 6) * 78) / 640))
  y=$((h * (52 + (i / 6) * 66) / 360))
  graph+=",drawbox=x=$x:y=$y:w=$pw:h=$ph:color=0x${patches[$i]}:t=fill"
done
graph+=",drawbox=x='$((w / 16))+mod(t*$((w / 7))\\,$((w * 13 / 16)))':y=$((h * 8 / 9)):w=$((w / 10)):h=$((h / 15)):color=white:t=fill"
# Warm cast, lowered contrast, then light that changes from frame to frame.
graph+=",format=rgb24,colorchannelmixer=rr=1.0:gg=0.85:bb=0.62:rg=0.06"
graph+=",eq=contrast=0.78:brightness='0.10*sin(1.3*t)-0.03':gamma_b='0.9+0.15*sin(0.9*t)':eval=frame"
graph+=",vignette=PI/6"

mkdir -p "$(dirname "$out")"
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "$graph" \
  -c:v libx264 -preset medium -crf 20 -pix_fmt yuv420p -movflags +faststart "$out"
