#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# The OBS module in libobs, headless (Xvfb, Mesa's software OpenGL), against the
# command-line tool: a clip with a cast and changing light, fed frame by frame through
# the filter as BGRA and RGBA (exactly telvo --lossless, alpha kept), as NV12, I420 and
# P010 (telvo --lossless within the YUV conversion's rounding); a property changed
# mid-stream; the clip fed twice (the history restarts where the time goes back); the
# source taken out of the program and back (it restarts there too); and
# OBS's own media source playing a BGRA clip in a loop in real time.
# Usage: obs_test.sh HARNESS MODULE MODULE_DATA TELVO WORK_DIR
set -euo pipefail
harness=$1 module=$2 data=$3 telvo=$4 work=$5
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
cd "$work"
export HOME=$work LIBGL_ALWAYS_SOFTWARE=1

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
obs() { timeout 60 xvfb-run -a -s "-screen 0 640x480x24" "$harness" "$module" "$data" "$@"; }
raw() { ff -i "$1" -f rawvideo -pix_fmt "$2" "$3"; }  # clip pix_fmt file

source "$here/../support/checks.sh"

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
# Fed twice, the second time from the first frame's timestamp again: the history starts
# afresh, so both passes are the command line's frames.
obs feed bgra $w $h input.bgra obs.bgra "${set_options[@]}" loop
head -c $((frames * w * h * 4)) obs.bgra >first.bgra
tail -c +$((frames * w * h * 4 + 1)) obs.bgra >second.bgra
same "bgra: telvo --lossless frame for frame" expected.bgra first.bgra
same "bgra: the history restarts where the time goes back" expected.bgra second.bgra
obs feed rgba $w $h input.rgba obs.rgba "${set_options[@]}"
ff -f rawvideo -pix_fmt rgba -s $size -i obs.rgba -f rawvideo -pix_fmt bgra obs-rgba.bgra
same "rgba: telvo --lossless frame for frame" expected.bgra obs-rgba.bgra

# A property changed between frames 7 and 8 (disable: the identity) applies from frame 8.
# Without the graph, which disable leaves drawn.
graphless=("${options[@]:0:${#options[@]}-1}")
"$telvo" bgra.mkv graphless-telvo.mkv --lossless -q "${graphless[@]}"
raw graphless-telvo.mkv bgra graphless.bgra
obs feed bgra $w $h input.bgra changed.bgra "${set_options[@]:0:${#set_options[@]}-1}" 8:disable=1
frame=$((w * h * 4))
head -c $((8 * frame)) graphless.bgra >changed-expected.bgra
tail -c +$((8 * frame + 1)) input.bgra >>changed-expected.bgra
same "bgra: disable set before frame 8 applies from frame 8" changed-expected.bgra changed.bgra

# YUV: the module converts with the frame's matrix and range. FFmpeg's converters, which
# the command line uses for YUV files, differ from the standard's formulas by up to 3
# codes of 8 bits (its 10-bit scaling more), which the correction's curves widen. So
# the command line gets the clip as RGB made by the formulas (yuv_reference.py), and
# its output goes back to YUV by them too; the module's frames must be within the
# rounding of both conversions. An uncorrected frame, a swapped chroma pair or a wrong
# matrix or range is far outside.
reference() { /usr/bin/python3 "$here/yuv_reference.py" "$@"; }
yuv() {  # name clip obs-format plain-format rgb-format bits
    local name=$1 clip=$2 format=$3 plain=$4 rgb=$5 bits=$6
    raw "$clip" "$plain" "$name-input.yuv"
    reference to-rgb $w $h "$bits" "$name-input.yuv" "$name-input.rgb"
    ff -f rawvideo -pix_fmt "$rgb" -s $size -r 25 -i "$name-input.rgb" -c:v ffv1 "$name-rgb.mkv"
    "$telvo" "$name-rgb.mkv" "$name-telvo.mkv" --lossless -q "${options[@]}"
    raw "$name-telvo.mkv" "$rgb" "$name-expected.rgb"
    raw "$clip" "$format" "$name-input.$format"
    obs feed "$format" $w $h "$name-input.$format" "$name-obs.$format" "${set_options[@]}"
    ff -f rawvideo -pix_fmt "$format" -s $size -i "$name-obs.$format" -f rawvideo \
        -pix_fmt "$plain" "$name-obs.yuv"
    reference compare $w $h "$bits" "$name-expected.rgb" "$name-obs.yuv" "$name-input.yuv" &&
        result "$name: telvo --lossless within the conversion's rounding" 0 ||
        result "$name: telvo --lossless within the conversion's rounding" 1
}
# Without the graph: its one-pixel lines do not survive 4:2:0 chroma.
options=("${graphless[@]}")
set_options=("${set_options[@]:0:${#set_options[@]}-1}")
yuv nv12 yuv8.mkv nv12 yuv420p bgr24 8
yuv i420 yuv8.mkv yuv420p yuv420p bgr24 8
yuv p010 yuv10.mkv p010le yuv420p10le rgb48le 10

# OBS's media source playing the BGRA clip in a loop, in real time, with the filter's
# defaults: every frame that reaches the filter (told by its alpha pattern, which counts
# the frames) is the command line's frame of that index, across the loops, whose frames
# keep running timestamps. A busy machine makes OBS drop a late frame now and then before
# the filters see it; the four frames after a gap average other frames than the command
# line's, so only frames whose four predecessors all came are held to it.
"$telvo" bgra.mkv defaults-telvo.mkv --lossless -q
raw defaults-telvo.mkv bgra defaults.bgra

# Out of the program before frame 10 and back: from frame 10 the history is fresh, as in
# the command line's run over the clip from frame 10.
ff -i bgra.mkv -vf "trim=start_frame=10,setpts=PTS-STARTPTS" -c:v ffv1 from10.mkv
"$telvo" from10.mkv from10-telvo.mkv --lossless -q
head -c $((10 * frame)) defaults.bgra >away-expected.bgra
raw from10-telvo.mkv bgra - >>away-expected.bgra
obs feed bgra $w $h input.bgra away.bgra 10:away
same "bgra: the history restarts when the source comes back to the program" \
    away-expected.bgra away.bgra
obs play "$PWD/bgra.mkv" 3 played.bgra
/usr/bin/python3 - "$w" "$h" <<'PY' && result "media source: every played frame is telvo's, loops included" 0 ||
import sys
import numpy as np
w, h = int(sys.argv[1]), int(sys.argv[2])
load = lambda f: np.fromfile(f, np.uint8).reshape(-1, h * w * 4)
expected, played, source = load("defaults.bgra"), load("played.bgra"), load("input.bgra")
index = {bytes(f[3::4]): i for i, f in enumerate(source)}
seen = [index.get(bytes(f[3::4]), -1) for f in played]
def whole(k):  # the frame's predecessors in its run, up to four, came just before it
    i = seen[k]
    return i >= 0 and all(k - d >= 0 and seen[k - d] == i - d for d in range(1, min(i, 4) + 1))
held = [k for k in range(len(seen)) if whole(k)]
wrong = [k for k in held if not (expected[seen[k]] == played[k]).all()]
print("     %d frames played (%d loops), %d after no gap, %d of them not telvo's"
      % (len(seen), seen.count(0), len(held), len(wrong)))
sys.exit(0 if len(held) >= 2 * len(source) and seen.count(0) >= 2 and not wrong else 1)
PY
    result "media source: every played frame is telvo's, loops included" 1

exit $failed
