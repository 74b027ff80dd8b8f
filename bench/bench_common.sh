# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# Sourced by the bench scripts, from the repository root.

# Sets `telvo` to $TELVO, or builds one (with telvo-farm beside it) in build-bench-cli/.
bench_telvo() {
  telvo=${TELVO:-}
  if [ -z "$telvo" ]; then
    cmake -S . -B build-bench-cli -G Ninja -DCMAKE_BUILD_TYPE=Release -DTELVO_BUILD_TESTS=OFF \
      >/dev/null
    cmake --build build-bench-cli --target telvo >/dev/null
    telvo=build-bench-cli/cli/telvo
  fi
}

# Sets `work` to a scratch folder removed when the script ends.
bench_workdir() {
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
}

# bench_clip OUT FRAMES GRAPH [ffmpeg output options...]: an H.264 input drawn by
# FFmpeg's lavfi GRAPH, encoded quickly at a transparent quality.
bench_clip() {
  local out=$1 frames=$2 graph=$3
  shift 3
  ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "$graph" -frames:v "$frames" \
    -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p "$@" "$out"
}

# bench_best RUNS NAME...: runs each NAME (a shell function or a command) RUNS times, the
# names taking turns so that load from elsewhere on the machine falls on all of them
# alike, and keeps for each its best wall time: "WALL CPU" (CPU = user + system seconds
# of that run) in $work/NAME.time and that run's stderr in $work/NAME.err. Stdout is
# discarded. Needs bench_workdir.
bench_best() {
  local runs=$1 i name wall user sys
  shift
  local TIMEFORMAT='%R %U %S'
  for ((i = 0; i < runs; i++)); do
    for name in "$@"; do
      { time "$name" >/dev/null 2>"$work/$name.err.tmp"; } 2>"$work/$name.time.tmp"
      read -r wall user sys <"$work/$name.time.tmp"
      if [ ! -e "$work/$name.time" ] ||
         awk -v w="$wall" -v b="$(bench_wall "$name")" 'BEGIN{exit !(w < b)}'; then
        echo "$wall $(awk -v u="$user" -v s="$sys" 'BEGIN{print u + s}')" >"$work/$name.time"
        mv "$work/$name.err.tmp" "$work/$name.err"
      fi
    done
  done
}

# The best wall time and that run's CPU seconds, as bench_best kept them.
bench_wall() { awk '{print $1}' "$work/$1.time"; }
bench_cpu() { awk '{print $2}' "$work/$1.time"; }

# $work/ramp.rgb48: a smooth 10-bit ramp 200..800 with a warm cast (red 8 % up, blue 8 %
# down), 1920 x 16, each 10-bit value widened to 16 bits as FFmpeg widens it.
bench_ramp10() {
  python3 - "$work/ramp.rgb48" <<'PY'
import struct, sys
width, height = 1920, 16
row = bytearray()
for x in range(width):
    v = 200 + 600 * x / (width - 1)
    for c in (min(1023, round(v * 1.08)), round(v), round(v * 0.92)):
        row += struct.pack("<H", c << 6 | c >> 4)  # 10 bits widened to 16
open(sys.argv[1], "wb").write(bytes(row) * height)
PY
}
