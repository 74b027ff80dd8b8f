#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# What --start costs near the end of a one-minute 1280x720 H.264 clip, in one run:
# telvo --start 0 against --start near the end with the same --frames (it seeks to the
# keyframe before the pre-roll), and the same late start read through a pipe, which
# cannot seek and decodes everything before it. Null output, best of five each.
#
# Usage: bench/seek_start.sh        (builds telvo in build-bench-cli/)
#   FRAMES=100  frames per run     RUNS=5  best of this many    TELVO=path  this telvo
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${FRAMES:-100}
runs=${RUNS:-5}
clip_frames=1500  # one minute at 25 fps
late=$((clip_frames - frames))

source bench/bench_common.sh
bench_telvo
bench_workdir
input=$work/minute-720p.mp4
echo "making a one-minute 1280x720 H.264 clip (keyframes every 250 frames)..."
# faststart: the index comes first, so the clip can be read from a pipe too.
bench_clip "$input" "$clip_frames" \
  "testsrc2=size=1280x720:rate=25,eq=brightness=0.1*sin(t):eval=frame" -g 250 -movflags +faststart

first() { "$telvo" "$input" - -f null -q --start 0 --frames "$frames"; }
late() { "$telvo" "$input" - -f null -q --start "$late" --frames "$frames"; }
pipe() { cat "$input" | "$telvo" pipe:0 - -f null -q --start "$late" --frames "$frames"; }

bench_best "$runs" first late pipe

echo
row() { printf '%-44s %6.2f s\n' "$1" "$(bench_wall "$2")"; }
row "--start 0 --frames $frames" first
row "--start $late --frames $frames (seeks)" late
row "--start $late --frames $frames, from a pipe" pipe
awk -v a="$(bench_wall first)" -v b="$(bench_wall late)" -v c="$(bench_wall pipe)" \
  'BEGIN{ printf "late start / start 0: %.2fx (at most 2x: %s)\n", b / a, b <= 2 * a ? "yes" : "NO"
          printf "late start from a pipe / start 0: %.2fx\n", c / a }'
