#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# Runs every fuzz target for a bounded time from its seed corpus (tests/fuzz/corpus/).
#   scripts/fuzz.sh BUILD_DIR [SECONDS_EACH]
# BUILD_DIR is a configuration built with clang, -DTELVO_BUILD_FUZZERS=ON and the
# telvo_fuzzers target (scripts/test.sh makes one). New inputs the fuzzer finds go to a
# working corpus inside BUILD_DIR, never into the repository. Exits non-zero on the
# first crash, sanitizer report, leak or time-out, and names the input that caused it,
# which replays with `BUILD_DIR/tests/fuzz/TARGET INPUT`.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: scripts/fuzz.sh BUILD_DIR [SECONDS_EACH]}
seconds=${2:-45}
seeds=tests/fuzz/corpus

for target in fuzz_config_line fuzz_script fuzz_frame_pass fuzz_plan_file; do
  binary=$build/tests/fuzz/$target
  work=$build/fuzz-corpus/$target
  findings=$build/fuzz-findings/$target
  mkdir -p "$work" "$findings"
  dict=()
  [ -f "tests/fuzz/$target.dict" ] && dict=(-dict="tests/fuzz/$target.dict")
  echo "-- $target, ${seconds} s"
  if ! "$binary" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="$findings/" "${dict[@]}" "$work" "$seeds/$target" \
      >"$build/$target.log" 2>&1; then
    tail -n 40 "$build/$target.log"
    echo "$target failed; the input that caused it is in $findings/" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^stat::new_units_added' "$build/$target.log" |
    tr '\n' ' '
  echo
done
echo "every fuzz target ran ${seconds} s without a finding"
