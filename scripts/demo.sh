#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# The main job on a fresh machine: installs what is missing, builds telvo, makes the
# sample clip and corrects it. Results land in out/: the corrected clip, frame 60 before
# and after as one picture, and the per-frame values as a table and a chart.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build=${TELVO_BUILD_DIR:-build-demo}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTELVO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target telvo

mkdir -p out
scripts/make-sample.sh out/sample.mp4
"$build/cli/telvo" out/sample.mp4 out/sample-corrected.mp4 \
  --stats out/sample-stats.csv --plot out/sample-plot.png
"$build/cli/telvo" out/sample.mp4 out/sample-before-after.png --preview 60 --quiet
echo "wrote out/sample-corrected.mp4, out/sample-before-after.png," \
     "out/sample-stats.csv and out/sample-plot.png"
