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
