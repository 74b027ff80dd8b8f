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

# Best wall time of each, the three taking turns so that load from elsewhere on the
# machine falls on all of them alike.
TIMEFORMAT='%R'
for ((i = 0; i < runs; i++)); do
  for name in first late pipe; do
    { time "$name" >/dev/null 2>&1; } 2>"$work/time.tmp"
    wall=$(cat "$work/time.tmp")
    if [ ! -e "$work/$name.time" ] || awk "BEGIN{exit !($wall < $(cat "$work/$name.time"))}"; then
      echo "$wall" >"$work/$name.time"
    fi
  done
done

echo
row() { printf '%-44s %6.2f s\n' "$1" "$(cat "$work/$2.time")"; }
row "--start 0 --frames $frames" first
row "--start $late --frames $frames (seeks)" late
row "--start $late --frames $frames, from a pipe" pipe
awk -v a="$(cat "$work/first.time")" -v b="$(cat "$work/late.time")" \
  -v c="$(cat "$work/pipe.time")" \
  'BEGIN{ printf "late start / start 0: %.2fx (at most 2x: %s)\n", b / a, b <= 2 * a ? "yes" : "NO"
          printf "late start from a pipe / start 0: %.2fx\n", c / a }'
