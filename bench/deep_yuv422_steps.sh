#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# Deep colour back into 10-bit 4:2:2 YUV, in one run.
#
# A smooth 10-bit ramp (values 200..800 of 1023, 1920 wide) with a cast (red 8 % up,
# blue 8 % down), stored as ProRes 4:2:2 10-bit, corrected by telvo into ProRes 4:2:2
# 10-bit three ways: at 16 bits per channel straight into the ProRes file; at 16 bits
# into lossless 16-bit RGB, which FFmpeg's own conversion (`ffmpeg -i IDEAL -c:v
# prores_ks -pix_fmt yuv422p10le`) then turns into the same ProRes (the ideal result's
# bound); and with --eight-bit (the 8-bit bottleneck). For each output, the first
# frame's top row decoded by FFmpeg: the largest step between neighbouring values per
# plane Y, Cb, Cr, as a share of full scale (1023), and the distinct levels.
#
# Usage: bench/deep_yuv422_steps.sh   TELVO=path (else builds one)
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/bench_common.sh
bench_telvo
bench_workdir

bench_ramp10
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
prores=(-c:v prores_ks -profile:v 3 -pix_fmt yuv422p10le)
ff -f rawvideo -pix_fmt rgb48le -s 1920x16 -r 25 -i "$work/ramp.rgb48" -vf loop=9:1:0 \
  -frames:v 10 "${prores[@]}" "$work/ramp.mov"
"$telvo" "$work/ramp.mov" "$work/deep.mov" --codec prores_ks -q
"$telvo" "$work/ramp.mov" "$work/ideal.mkv" --lossless -q
ff -i "$work/ideal.mkv" "${prores[@]}" "$work/ffmpeg.mov"
"$telvo" "$work/ramp.mov" "$work/eight.mov" --codec prores_ks -q --eight-bit

echo "10-bit ramp 200..800 with a cast, 1920 wide, ProRes 4:2:2 10-bit in and out"
echo "largest step between neighbours along the top row (share of full scale) and levels"
for name in ramp deep ffmpeg eight; do
  ff -i "$work/$name.mov" -frames:v 1 -f rawvideo -pix_fmt yuv422p10le "$work/$name.raw"
  python3 - "$work/$name.raw" "$name" <<'PY'
import struct, sys
raw, name = open(sys.argv[1], "rb").read(), sys.argv[2]
width, height = 1920, 16
label = {"ramp": "input", "deep": "telvo, 16 bits", "ffmpeg": "ideal + FFmpeg's",
         "eight": "telvo --eight-bit"}[name]
luma, chroma = width * height * 2, width // 2 * height * 2
cells = []
for start, w in ((0, width), (luma, width // 2), (luma + chroma, width // 2)):
    row = struct.unpack("<%dH" % w, raw[start:start + 2 * w])
    step = max(abs(row[i + 1] - row[i]) for i in range(w - 1))
    cells.append("%.4f (%4d levels)" % (step / 1023, len(set(row))))
print("  %-18s Y %s | Cb %s | Cr %s" % (label, *cells))
PY
done
