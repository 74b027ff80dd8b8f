#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# What the native MLT filter costs, side by side in one run with melt on a one-minute
# 1280x720 H.264 clip (keyframes every 250 frames): per frame against the frei0r module
# and against no filter, and one frame rendered alone at several places in the clip
# (its pre-roll from the clip's private producer included), the same offset after a
# keyframe near the start and near the end, and the worst offset. Best of RUNS each.
#
# Usage: bench/mlt_costs.sh BUILD_DIR   (a build with the MLT and frei0r modules)
#   FRAMES=100  frames per playback run     RUNS=3  best of this many
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:?usage: bench/mlt_costs.sh BUILD_DIR}" && pwd)
frames=${FRAMES:-100}
runs=${RUNS:-3}

source bench/bench_common.sh
bench_workdir
mkdir -p "$work/modules" "$work/data/telvo"
ln -s "$(pkg-config --variable=moduledir mlt-framework-7)"/*.so "$work/modules/"
ln -sf "$build/mlt/libmlttelvo.so" "$work/modules/"
for d in "$(pkg-config --variable=mltdatadir mlt-framework-7)"/*; do ln -s "$d" "$work/data/"; done
ln -s "$build/mlt/filter_telvo.yml" "$work/data/telvo/"
export MLT_REPOSITORY=$work/modules MLT_DATA=$work/data FREI0R_PATH=$build/frei0r

input=$work/minute-720p.mp4
echo "making a one-minute 1280x720 H.264 clip (keyframes every 250 frames)..."
bench_clip "$input" 1500 "testsrc2=size=1280x720:rate=25,eq=brightness=0.1*sin(t):eval=frame" \
  -g 250

# rgba in and out, one rendering thread; the raw frames go nowhere.
play() {  # in out filter-arguments...
  local in=$1 out=$2
  shift 2
  melt -silent -quiet "$input" in="$in" out="$out" "$@" \
    -consumer avformat:/dev/null f=rawvideo vcodec=rawvideo pix_fmt=rgba real_time=-1
}
last=$((frames - 1))
none() { play 0 "$last"; }
frei0r() { play 0 "$last" -filter frei0r.telvo; }
native() { play 0 "$last" -filter telvo; }
bench_best "$runs" none frei0r native

echo
echo "playback, $frames frames (melt, rgba, real_time=-1):"
per_frame() { awk -v a="$(bench_wall "$1")" -v b="$(bench_wall none)" -v n="$frames" \
  'BEGIN{printf "%.2f ms", (a - b) * 1000 / n}'; }
printf '  %-28s %6.2f s\n' "no filter" "$(bench_wall none)"
printf '  %-28s %6.2f s   filter %s a frame\n' "frei0r.telvo" "$(bench_wall frei0r)" "$(per_frame frei0r)"
printf '  %-28s %6.2f s   filter %s a frame\n' "telvo (native)" "$(bench_wall native)" "$(per_frame native)"

# One frame alone: 10 frames after a keyframe at the start, in the middle and at the end,
# and 249 after one (the most a seek decodes), each without and with the filter.
echo
echo "one frame rendered alone (a new melt each, its start-up included):"
for at in 10 760 1260 1499; do
  eval "plain_$at() { play $at $at; }"
  eval "telvo_$at() { play $at $at -filter telvo; }"
  bench_best "$runs" "plain_$at" "telvo_$at"
  awk -v at="$at" -v a="$(bench_wall "plain_$at")" -v b="$(bench_wall "telvo_$at")" \
    'BEGIN{printf "  frame %4d: no filter %.2f s, telvo %.2f s (+%.2f s: the pre-roll and one frame)\n", at, a, b, b - a}'
done
