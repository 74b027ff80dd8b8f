#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# How fast the first of two passes measures a 1920x1080 H.264 clip, side by side in one
# run: FFmpeg decoding it to nothing (ffmpeg -i IN -f null -), telvo --analyse (decode,
# convert to RGB, count and find the levels on the frame's workers, the cut detector; no
# remap, no encode), and a one-pass telvo to -f null (the same plus the remap). Best of
# RUNS each, taking turns; wall and CPU seconds.
#
# Usage: bench/two_pass_speed.sh    (builds telvo in build-bench-cli/)
#   FRAMES=250  frames of the clip   RUNS=5  best of this many   TELVO=path  this telvo
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${FRAMES:-250}
runs=${RUNS:-5}

source bench/bench_common.sh
bench_telvo
bench_workdir
input=$work/clip-1080p.mp4
echo "making a ${frames}-frame 1920x1080 H.264 clip..."
bench_clip "$input" "$frames" \
  "testsrc2=size=1920x1080:rate=25,eq=brightness=0.1*sin(t):eval=frame" -g 50

decode() { ffmpeg -nostdin -hide_banner -loglevel error -i "$input" -f null -; }
analyse() { "$telvo" "$input" --analyse "$work/plan.csv" -q; }
onepass() { "$telvo" "$input" - -f null -q; }

bench_best "$runs" decode analyse onepass

echo
row() { printf '%-46s %6.2f s wall %6.2f s CPU\n' "$1" "$(bench_wall "$2")" "$(bench_cpu "$2")"; }
row "ffmpeg -i IN -f null - (decode only)" decode
row "telvo IN --analyse PLAN (pass 1)" analyse
row "telvo IN - -f null (one pass, remap, no encode)" onepass
awk -v d="$(bench_wall decode)" -v a="$(bench_wall analyse)" \
  'BEGIN{ printf "pass 1 / decode only: %.2fx (within 1.2x: %s)\n", a / d, a <= 1.2 * d ? "yes" : "NO" }'
