#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# What the native MLT filter costs, side by side in one run with melt on a one-minute
# 1280x720 H.264 clip (keyframes every 250 frames): per frame against the frei0r module
# and against no filter, and one frame rendered alone at several places in the clip
# (its pre-roll from the clip's private producer included), the same offset after a
# keyframe near the start and near the end, and the worst offset. Best wall time of RUNS
# each, with that run's CPU time (user + system), which load from elsewhere moves less.
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

# rgba in and out, one rendering thread; the raw frames go nowhere. A failed run would
# pass for a fast one: the bench stops instead.
play() {  # in out filter-arguments...
  local in=$1 out=$2
  shift 2
  melt -silent -quiet "$input" in="$in" out="$out" "$@" \
    -consumer avformat:/dev/null f=rawvideo vcodec=rawvideo pix_fmt=rgba real_time=-1 ||
    { echo "melt failed: $*" >&3; exit 1; }
}
exec 3>&2
# melt says nothing and exits 0 when a filter does not load: first check that both
# modules load and agree (the native filter's rgba frames are frei0r's, bit for bit).
check_frames() {  # name filter-arguments...
  local name=$1
  shift
  melt -silent -quiet "$input" in=0 out=2 "$@" \
    -consumer "avformat:$work/$name.nut" f=nut vcodec=rawvideo pix_fmt=rgba real_time=-1
  ffmpeg -nostdin -v error -i "$work/$name.nut" -f rawvideo - | md5sum >"$work/$name.md5"
}
check_frames plain
check_frames frei0r -filter frei0r.telvo
check_frames native -filter telvo
if cmp -s "$work/plain.md5" "$work/native.md5" || ! cmp -s "$work/frei0r.md5" "$work/native.md5"; then
  echo "the modules did not load, or disagree: $(cat "$work"/{plain,frei0r,native}.md5)" >&2
  exit 1
fi

last=$((frames - 1))
none() { play 0 "$last"; }
frei0r() { play 0 "$last" -filter frei0r.telvo; }
native() { play 0 "$last" -filter telvo; }
bench_best "$runs" none frei0r native

echo
echo "playback, $frames frames (melt, rgba, real_time=-1), best wall and its CPU:"
# The filter's own CPU a frame: the run's CPU less the run without a filter.
per_frame() { awk -v a="$(bench_cpu "$1")" -v b="$(bench_cpu none)" -v n="$frames" \
  'BEGIN{printf "%.1f ms", (a - b) * 1000 / n}'; }
row() { printf '  %-16s %6.2f s wall %6.2f s CPU%s\n' "$1" "$(bench_wall "$2")" "$(bench_cpu "$2")" "$3"; }
row "no filter" none ""
row "frei0r.telvo" frei0r ", filter $(per_frame frei0r) CPU a frame"
row "telvo (native)" native ", filter $(per_frame native) CPU a frame"

# One frame alone: 10 frames after a keyframe at the start, in the middle and at the end,
# and 249 after one (the most a seek decodes), each without and with the filter.
echo
echo "one frame rendered alone (a new melt each, its start-up included):"
for at in 10 760 1260 1499; do
  eval "plain_$at() { play $at $at; }"
  eval "telvo_$at() { play $at $at -filter telvo; }"
  bench_best "$runs" "plain_$at" "telvo_$at"
  awk -v at="$at" -v a="$(bench_cpu "plain_$at")" -v b="$(bench_cpu "telvo_$at")" \
    -v aw="$(bench_wall "plain_$at")" -v bw="$(bench_wall "telvo_$at")" \
    'BEGIN{printf "  frame %4d: no filter %.2f s CPU (%.2f s wall), telvo %.2f s CPU (%.2f s wall): +%.2f s CPU for the pre-roll and the frame\n", at, a, aw, b, bw, b - a}'
done
