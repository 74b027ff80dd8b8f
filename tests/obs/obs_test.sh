#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# The OBS module in libobs, headless (Xvfb, Mesa's software OpenGL), against the
# command-line tool: a clip with a cast and changing light, fed frame by frame through
# the filter as BGRA and RGBA (exactly telvo --lossless, alpha kept), as NV12, I420 and
# P010 (telvo --lossless within the YUV conversion's rounding); a property changed
# mid-stream; the clip fed twice (the history restarts where the time goes back); and
# OBS's own media source playing a BGRA clip in a loop in real time.
# Usage: obs_test.sh HARNESS MODULE MODULE_DATA TELVO WORK_DIR
set -euo pipefail
harness=$1 module=$2 data=$3 telvo=$4 work=$5
rm -rf "$work"
mkdir -p "$work"
cd "$work"
export HOME=$work LIBGL_ALWAYS_SOFTWARE=1

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
obs() { timeout 60 xvfb-run -a -s "-screen 0 640x480x24" "$harness" "$module" "$data" "$@"; }
raw() { ff -i "$1" -f rawvideo -pix_fmt "$2" "$3"; }  # clip pix_fmt file

failed=0
result() {  # what status
    if [ "$2" = 0 ]; then echo "ok   $1"; else echo "FAIL $1"; failed=1; fi
}
same() {  # what expected actual
    if cmp -s "$2" "$3"; then result "$1" 0; else
        echo "     $(cmp "$2" "$3" 2>&1 | head -n 1)"
        result "$1" 1
    fi
}

size=320x240 w=320 h=240 frames=20
light="testsrc2=size=$size:rate=25,colorchannelmixer=rr=0.95:gg=0.8:bb=0.6,eq=brightness=0.2*sin(3*t):eval=frame"
ff -f lavfi -i "$light,format=bgra,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='mod(7*X+3*Y+N,256)'" \
    -frames:v $frames -c:v ffv1 bgra.mkv
tags=(-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv)
ff -f lavfi -i "$light" -frames:v $frames -pix_fmt yuv420p "${tags[@]}" -c:v ffv1 yuv8.mkv
ff -f lavfi -i "$light" -frames:v $frames -pix_fmt yuv420p10le "${tags[@]}" -c:v ffv1 yuv10.mkv

# BGRA and RGBA: exactly the command line's frames and the input's alpha.
options=(--gamma 30 --alignment 5 --border --top 4 --left 12 --right 6 --bottom 2 --histogram)
"$telvo" bgra.mkv bgra-telvo.mkv --lossless -q "${options[@]}"
raw bgra-telvo.mkv bgra expected.bgra
raw bgra.mkv bgra input.bgra
raw bgra.mkv rgba input.rgba
set_options=(0:gamma=30 0:alignment=5 0:border=1 0:top=4 0:left=12 0:right=6 0:bottom=2 0:histogram=1)
obs feed bgra $w $h input.bgra obs.bgra "${set_options[@]}"
same "bgra: telvo --lossless frame for frame" expected.bgra obs.bgra
obs feed rgba $w $h input.rgba obs.rgba "${set_options[@]}"
ff -f rawvideo -pix_fmt rgba -s $size -i obs.rgba -f rawvideo -pix_fmt bgra obs-rgba.bgra
same "rgba: telvo --lossless frame for frame" expected.bgra obs-rgba.bgra

exit $failed
