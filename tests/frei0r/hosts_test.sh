#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# The module as the real hosts load it: FFmpeg's frei0r filter, GStreamer's
# frei0r-filter-telvo element and MLT's frei0r.telvo, each compared bit for bit with the
# command-line tool's lossless output for the same settings, and each keeping the
# input's alpha. Usage: hosts_test.sh MODULE_DIR TELVO_BINARY WORK_DIR
set -euo pipefail
source "$(cd "$(dirname "$0")/../support" && pwd)/checks.sh"
module_dir=$1 telvo=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"
# This build's module only, and a plug-in registry of our own.
export FREI0R_PATH=$module_dir HOME=$work GST_REGISTRY=$work/registry.bin

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# A clip of 12 frames with a colour cast, changing light and an alpha pattern, as FFV1
# in BGRA and as raw BGRA frames.
clip() {  # name width height
    ff -f lavfi -i "testsrc2=size=$2x$3:rate=25,colorchannelmixer=rr=0.95:gg=0.8:bb=0.6,eq=brightness=0.2*sin(3*t):eval=frame,format=bgra,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='mod(7*X+3*Y+N,256)'" \
        -frames:v 12 -c:v ffv1 "$1.mkv"
    ff -i "$1.mkv" -f rawvideo -pix_fmt bgra "$1.bgra"
}
colours() { ff "${@:1:$#-1}" -f rawvideo -pix_fmt bgr24 "${!#}"; }  # input options..., output
alphas() { ff "${@:1:$#-1}" -vf alphaextract -f rawvideo -pix_fmt gray "${!#}"; }

expect() {  # clip telvo-options...: the command-line tool's colours and the input's alpha
    local name=$1
    shift
    "$telvo" "$name.mkv" "$name-telvo.mkv" --lossless -q "$@"
    colours -i "$name-telvo.mkv" "$name-expected.bgr"
    colours -i "$name.mkv" "$name-input.bgr"
    alphas -i "$name.mkv" "$name-expected.alpha"
    if cmp -s "$name-input.bgr" "$name-expected.bgr"; then
        echo "FAIL $name: the settings leave the clip unchanged, so the comparison proves nothing"
        failed=1
    fi
}
warnings() {  # what expected-count stderr-file: the module's padded-rows warning
    local count
    count=$(grep -c "is not a multiple of 16" "$3" || true)
    if [ "$count" = "$2" ]; then
        echo "ok   $1"
    else
        echo "FAIL $1: $count padded-rows warnings, expected $2: $(head -c 300 "$3")"
        failed=1
    fi
}
check() {  # what clip output-input-options...
    local what=$1 name=$2
    shift 2
    colours "$@" "$what.bgr"
    alphas "$@" "$what.alpha"
    same "$what colours" "$name-expected.bgr" "$what.bgr"
    same "$what alpha" "$name-expected.alpha" "$what.alpha"
}

# FFmpeg: parameters by position, booleans as y/n; a width of a multiple of 16 pixels,
# since FFmpeg 5.1 pads other rows where frei0r has none.
clip wide 48 40
expect wide --gamma 30 --alignment 5 --border --top 4 --left 12 --right 6 --bottom 2 --histogram
ff -i wide.mkv -vf "frei0r=telvo:0.75|0.125|y|0.1|0.25|0.125|0.05|n|n|y" -c:v ffv1 ffmpeg.mkv
check ffmpeg wide -i ffmpeg.mkv

# Other widths through FFmpeg: pad to a multiple of 16 and crop back. FFmpeg's pad filter
# passes frames without a time, which the module then takes in order.
clip narrow 20 24
ff -i narrow.mkv -vf pad=32:ih -c:v ffv1 narrow-padded.mkv
"$telvo" narrow-padded.mkv narrow-telvo.mkv --lossless -q --gamma 30
colours -i narrow-telvo.mkv -vf crop=20:ih:0:0 narrow-expected.bgr
alphas -i narrow.mkv narrow-expected.alpha
ff -i narrow.mkv -vf "pad=32:ih,frei0r=telvo:0.75,crop=20:ih:0:0" -c:v ffv1 ffmpeg-padded.mkv
check ffmpeg-padded narrow -i ffmpeg-padded.mkv
# Unpadded, the module says once per run (two instances here) that the rows are scrambled.
ff -i narrow.mkv -vf "frei0r=telvo:0.75,frei0r=telvo" -f null - 2>narrow.err
warnings "ffmpeg at width 20 warns once" 1 narrow.err
ff -i narrow.mkv -vf "pad=32:ih,frei0r=telvo:0.75" -f null - 2>padded.err
warnings "ffmpeg at width 32 does not warn" 0 padded.err

# GStreamer and MLT: parameters by name, any width.
clip odd 37 41
expect odd --gamma 30 --alignment 5 --border --top 4 --left 7 --right 4 --bottom 2 --histogram
gst-launch-1.0 -q filesrc location=odd.bgra \
    ! rawvideoparse width=37 height=41 format=bgra framerate=25/1 \
    ! frei0r-filter-telvo gamma=0.75 alignment=0.125 border=true top=0.1 left=0.2 right=0.1 \
    bottom=0.05 histogram=true \
    ! filesink location=gstreamer.bgra
check gstreamer odd -f rawvideo -pix_fmt bgra -s 37x41 -i gstreamer.bgra

# One rendering thread: MLT's parallel rendering gives every thread its own instance.
melt -silent -quiet odd.mkv -filter frei0r.telvo gamma=0.75 alignment=0.125 border=1 top=0.1 \
    left=0.2 right=0.1 bottom=0.05 histogram=1 \
    -consumer avformat:melt.mkv vcodec=ffv1 pix_fmt=bgra real_time=-1 2>melt.err
check melt odd -i melt.mkv
warnings "melt at width 37 does not warn" 0 melt.err

exit $failed
