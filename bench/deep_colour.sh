#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# Deep colour side by side, in one run.
#
# Banding: a smooth 10-bit grey ramp of two stops (values 200..800 of 1023, 1920 wide)
# with a cast (red 8 % up, blue 8 % down), corrected into 10-bit FFV1 by telvo at 16
# bits per channel, by telvo --eight-bit (the 8-bit path) and by FFmpeg's normalize. For
# each channel of the first frame's top row: the distinct output levels and the largest
# step between neighbours, in 10-bit units.
#
# Speed: telvo on a 1920x1080 10-bit 4:2:2 FFV1 file into FFV1, at 16 bits and with
# --eight-bit, against `ffmpeg -i IN -c:v ffv1 OUT`: best wall time of RUNS and its CPU
# seconds. (The frame pass alone: telvo_bench --benchmark_filter=Pass/.)
#
# Usage: bench/deep_colour.sh   FRAMES=50  RUNS=3  TELVO=path (else builds one)
# The machine should be otherwise idle: other load shows up in every number.
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${FRAMES:-50}
runs=${RUNS:-3}

source bench/bench_common.sh
bench_telvo
bench_workdir

bench_ramp10
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
ff -f rawvideo -pix_fmt rgb48le -s 1920x16 -r 25 -i "$work/ramp.rgb48" -vf loop=9:1:0 \
  -frames:v 10 -pix_fmt gbrp10le -c:v ffv1 "$work/ramp.mkv"
"$telvo" "$work/ramp.mkv" "$work/deep.mkv" --codec ffv1 -q
"$telvo" "$work/ramp.mkv" "$work/eight.mkv" --codec ffv1 -q --eight-bit
ff -i "$work/ramp.mkv" -vf normalize -pix_fmt gbrp10le -c:v ffv1 "$work/normalize.mkv"

echo "banding: 10-bit ramp 200..800 with a cast, 1920 wide, corrected into 10-bit FFV1"
echo "levels and largest step (10-bit units) along the top row, per channel R G B"
for name in ramp deep eight normalize; do
  ff -i "$work/$name.mkv" -frames:v 1 -f rawvideo -pix_fmt gbrp10le "$work/$name.raw"
  python3 - "$work/$name.raw" "$name" <<'PY'
import struct, sys
raw, name = open(sys.argv[1], "rb").read(), sys.argv[2]
plane, width = len(raw) // 3, 1920
label = {"ramp": "input", "deep": "telvo, 16 bits", "eight": "telvo --eight-bit",
         "normalize": "ffmpeg normalize"}[name]
cells = []
for p in (2, 0, 1):  # gbrp planes: G B R
    row = struct.unpack("<%dH" % width, raw[p * plane:p * plane + 2 * width])
    step = max(abs(row[i + 1] - row[i]) for i in range(width - 1))
    cells.append("%4d levels, step %2d" % (len(set(row)), step))
print("  %-18s %s" % (label, " | ".join(cells)))
PY
done

graph="testsrc2=size=1920x1080:rate=25,colorchannelmixer=rr=0.95:gg=0.85:bb=0.7"
ff -f lavfi -i "$graph" -frames:v "$frames" -pix_fmt yuv422p10le -c:v ffv1 "$work/in.mkv"
ffmpeg_ffv1() { ff -i "$work/in.mkv" -c:v ffv1 "$work/ff.mkv"; }
telvo_deep() { "$telvo" "$work/in.mkv" "$work/td.mkv" --codec ffv1 -q; }
telvo_eight() { "$telvo" "$work/in.mkv" "$work/te.mkv" --codec ffv1 -q --eight-bit; }
bench_best "$runs" ffmpeg_ffv1 telvo_deep telvo_eight
echo
echo "speed: $frames frames of 1920x1080 yuv422p10le FFV1 into FFV1 ($(nproc) cores), best of $runs"
base=$(bench_wall ffmpeg_ffv1)
for name in ffmpeg_ffv1 telvo_deep telvo_eight; do
  awk -v n="$name" -v w="$(bench_wall "$name")" -v c="$(bench_cpu "$name")" -v b="$base" \
    'BEGIN{printf "  %-12s wall %6.2f s  cpu %6.2f s  %5.2fx ffmpeg\n", n, w, c, w / b}'
done
