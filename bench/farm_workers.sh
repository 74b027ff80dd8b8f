#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# telvo-farm with one worker against two, on this machine, in one run; telvo alone as
# the baseline. Same 1280x720 H.264 input, same segments, H.264 output, joined.
# Prints each wall time, frames per second and the ratios.
#
# Usage: bench/farm_workers.sh        (builds telvo and telvo-farm in build-bench-cli/)
#   SECONDS_LONG=20  length of the generated input     SEGMENT=100  frames per segment
#   RUNS=2           best of this many runs
#   TELVO=path       a built telvo, telvo-farm beside it
# Two workers on two cores share them with telvo's own threads: the ratio shows what
# a second worker adds where telvo alone does not fill the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${SECONDS_LONG:-20}
segment=${SEGMENT:-100}
runs=${RUNS:-2}
frames=$((seconds * 25))

source bench/bench_common.sh
bench_telvo
farm=$(dirname "$telvo")/telvo-farm
bench_workdir
input=$work/input-720p.mp4
echo "making a ${frames}-frame 1280x720 H.264 input..."
bench_clip "$input" "$frames" "testsrc2=size=1280x720:rate=25,eq=brightness=0.1*sin(t):eval=frame"

# Each run writes its output afresh.
alone() { rm -f "$work/alone.mp4"; "$telvo" "$input" "$work/alone.mp4" -q; }
farm1() {
  rm -f "$work/farm1.mp4"
  "$farm" "$input" "$work/farm1.mp4" -q --workers 1 --segment-frames "$segment"
}
farm2() {
  rm -f "$work/farm2.mp4"
  "$farm" "$input" "$work/farm2.mp4" -q --workers 2 --segment-frames "$segment"
}
bench_best "$runs" alone farm1 farm2

count() {
  ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets \
    -of csv=p=0 "$1"
}
for name in alone farm1 farm2; do
  [ "$(count "$work/$name.mp4")" = "$frames" ] || { echo "$name: wrong frame count" >&2; exit 1; }
done

echo
report() { awk -v f="$frames" -v w="$(bench_wall "$2")" -v n="$1" \
  'BEGIN{printf "%-34s %7.2f s  %6.1f fps\n", n, w, f / w}'; }
report "telvo alone" alone
report "telvo-farm, 1 worker" farm1
report "telvo-farm, 2 workers" farm2
awk -v a="$(bench_wall farm1)" -v b="$(bench_wall farm2)" -v t="$(bench_wall alone)" 'BEGIN{
  printf "2 workers / 1 worker speed-up: %.2fx\n", a / b
  printf "farm with 1 worker / telvo alone (start-up, pre-roll, join): %.2fx the time\n", a / t }'
