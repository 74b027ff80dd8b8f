#!/usr/bin/env bash
# telvo-farm with one worker against two, on this machine, in one run; telvo alone as
# the baseline. Same 1280x720 H.264 input, same segments, H.264 output, joined.
# Prints each wall time, frames per second and the ratios.
#
# Usage: bench/farm_workers.sh        (builds telvo and telvo-farm in build-bench-farm/)
#   SECONDS_LONG=20  length of the generated input     SEGMENT=100  frames per segment
#   RUNS=2           best of this many runs             BUILD=dir    use this build tree
# Two workers on two cores share them with telvo's own threads: the ratio shows what
# a second worker adds where telvo alone does not fill the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${SECONDS_LONG:-20}
segment=${SEGMENT:-100}
runs=${RUNS:-2}
frames=$((seconds * 25))

build=${BUILD:-}
if [ -z "$build" ]; then
  build=build-bench-farm
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTELVO_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" --target telvo >/dev/null
fi
telvo=$(find "$build" -name telvo -type f -perm -u+x | head -n1)
farm=$(dirname "$telvo")/telvo-farm

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
input=$work/input-720p.mp4
echo "making a ${frames}-frame 1280x720 H.264 input..."
ffmpeg -nostdin -hide_banner -loglevel error -f lavfi \
  -i "testsrc2=size=1280x720:rate=25,eq=brightness=0.1*sin(t):eval=frame" \
  -frames:v "$frames" -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p "$input"

TIMEFORMAT='%R'
best() {  # name, command...
  local name=$1; shift
  local best_wall=""
  for ((i = 0; i < runs; i++)); do
    rm -f "$work/$name.mp4"
    { time "$@" >/dev/null 2>"$work/$name.err"; } 2>"$work/$name.time.tmp"
    local wall; wall=$(cat "$work/$name.time.tmp")
    if [ -z "$best_wall" ] || awk "BEGIN{exit !($wall < $best_wall)}"; then best_wall=$wall; fi
  done
  echo "$best_wall" >"$work/$name.time"
}
best telvo "$telvo" "$input" "$work/telvo.mp4" -q
best farm1 "$farm" "$input" "$work/farm1.mp4" -q --workers 1 --segment-frames "$segment"
best farm2 "$farm" "$input" "$work/farm2.mp4" -q --workers 2 --segment-frames "$segment"

count() {
  ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets \
    -of csv=p=0 "$1"
}
for name in telvo farm1 farm2; do
  [ "$(count "$work/$name.mp4")" = "$frames" ] || { echo "$name: wrong frame count" >&2; exit 1; }
done

echo
report() { awk -v f="$frames" -v w="$(cat "$work/$2.time")" -v n="$1" \
  'BEGIN{printf "%-34s %7.2f s  %6.1f fps\n", n, w, f / w}'; }
report "telvo alone" telvo
report "telvo-farm, 1 worker" farm1
report "telvo-farm, 2 workers" farm2
awk -v a="$(cat "$work/farm1.time")" -v b="$(cat "$work/farm2.time")" \
  -v t="$(cat "$work/telvo.time")" 'BEGIN{
  printf "2 workers / 1 worker speed-up: %.2fx\n", a / b
  printf "farm with 1 worker / telvo alone (start-up, pre-roll, join): %.2fx the time\n", a / t }'
