#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# Rewrites tests/golden/frame_pass.txt from the current build. Only for an intended
# change of the filter's output; commit the new file with a message that says which
# behaviour changed and why.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target telvo_unit_tests
TELVO_UPDATE_GOLDEN=1 "$build/tests/telvo_unit_tests" --gtest_filter='Golden.*'
git diff --stat tests/golden
