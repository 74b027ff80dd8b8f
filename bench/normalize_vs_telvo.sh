#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# telvo against FFmpeg's own normalize filter (the closest existing filter; smoothing=4,
# like telvo's five-frame average), in one run, over the same 1920x1080 clip with null
# output: read, decode, filter, discard. Two inputs: raw BGR0 frames in NUT (no decoding
# cost, so the filter and the reading show) and H.264. For each: frames per second of
# both and the ratio, the minor page faults of both, and where telvo's time goes.
#
# Usage: bench/normalize_vs_telvo.sh        (builds telvo in build-bench-cli/)
#   FRAMES=250  frames in the generated inputs     RUNS=3  best of this many runs
#   INPUTS="raw h264"  which inputs                TELVO=path  use this telvo binary
# The machine should be otherwise idle: other load shows up in every number.
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${FRAMES:-250}
runs=${RUNS:-3}
inputs=${INPUTS:-raw h264}

source bench/bench_common.sh
bench_telvo
bench_workdir
graph="testsrc2=size=1920x1080:rate=25,colorchannelmixer=rr=0.95:gg=0.85:bb=0.7,eq=brightness=0.1*sin(t):eval=frame"

fps() { awk -v f="$frames" '{printf "%.1f", f / $1}' "$work/$1.time"; }
wall() { bench_wall "$1"; }
cpu() { bench_cpu "$1"; }
# Minor page faults of one run (GNU time); "?" without it.
faults() {
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f %R -o "$work/faults" "$@" 2>/dev/null && tail -1 "$work/faults"
  else
    echo "?"
  fi
}

for kind in $inputs; do
  case $kind in
    raw)
      input=$work/input-1080p-bgr0.nut
      echo "making a ${frames}-frame 1920x1080 raw BGR0 input..."
      ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "$graph" -frames:v "$frames" \
        -pix_fmt bgr0 -c:v rawvideo "$input" ;;
    h264)
      input=$work/input-1080p.mp4
      echo "making a ${frames}-frame 1920x1080 H.264 input..."
      bench_clip "$input" "$frames" "$graph" ;;
    *) echo "unknown input '$kind' (raw, h264)" >&2; exit 2 ;;
  esac

  ff=(ffmpeg -nostdin -hide_banner -loglevel error -i "$input")
  normalize() { "${ff[@]}" -vf normalize=smoothing=4 -f null -; }
  telvo_run() { "$telvo" "$input" - -f null -q --timing; }
  decode() { "${ff[@]}" -f null -; }
  torgb() { "${ff[@]}" -vf format=bgr0 -f null -; }
  rm -f "$work"/*.time
  bench_best "$runs" normalize telvo_run decode torgb

  echo
  echo "== $kind input"
  printf '%-34s %8s fps  (%s s wall, %s s CPU)\n' "ffmpeg -vf normalize=smoothing=4" "$(fps normalize)" "$(wall normalize)" "$(cpu normalize)"
  printf '%-34s %8s fps  (%s s wall, %s s CPU)\n' "telvo" "$(fps telvo_run)" "$(wall telvo_run)" "$(cpu telvo_run)"
  awk -v a="$(wall normalize)" -v b="$(wall telvo_run)" 'BEGIN{printf "ratio telvo / normalize: %.2fx\n", a / b}'
  echo "minor page faults: telvo $(faults "$telvo" "$input" - -f null -q)," \
    "ffmpeg normalize $(faults "${ff[@]}" -vf normalize=smoothing=4 -f null -)"

  echo "where telvo's time goes:"
  printf '%-34s %8s fps  (%s s CPU)\n' "  ffmpeg decode only" "$(fps decode)" "$(cpu decode)"
  printf '%-34s %8s fps  (%s s CPU)\n' "  ffmpeg decode + to RGB" "$(fps torgb)" "$(cpu torgb)"
  awk -v d="$(cpu decode)" -v r="$(cpu torgb)" -v t="$(cpu telvo_run)" 'BEGIN{
    conv = r - d; if (conv < 0) conv = 0; filt = t - r; if (filt < 0) filt = 0
    printf "  CPU shares of telvo: decode %.0f%%, conversion to RGB %.0f%%, filter and host %.0f%%\n",
           100 * d / t, 100 * conv / t, 100 * filt / t }'
  sed 's/^telvo: timing: /  telvo --timing: /' "$work/telvo_run.err"
  awk -v w="$(wall telvo_run)" '/timing:/{
    for (i = 1; i <= NF; i++) if ($i == "filter") f = $(i + 1)
    printf "  the filter is busy %.0f%% of telvo'"'"'s wall time\n", 100 * f / w }' "$work/telvo_run.err"
  rm -f "$input"
  echo
done
