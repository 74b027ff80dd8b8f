#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# The one test command: installs what is missing, builds everything from scratch and
# runs every test suite. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${TELVO_TEST_OUT:-$root/build-test}
jobs=$(nproc)

echo "== licence headers"
scripts/check-spdx.sh

echo "== include direction"
scripts/check-includes.sh

scripts/install-deps.sh

echo "== format"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
echo "every C++ file follows .clang-format"

rm -rf "$out"
mkdir -p "$out"

configure() {  # dir, extra cmake args...
  local dir=$1; shift
  cmake -S "$root" -B "$out/$dir" -G Ninja "$@" >/dev/null
  cmake --build "$out/$dir" -j "$jobs"
}

echo "== native build and tests"
configure native -DCMAKE_BUILD_TYPE=Release -DTELVO_BUILD_BENCH=ON
ctest --test-dir "$out/native" --output-on-failure -j "$jobs"

echo "== the Debian package: built, installed with apt-get, run, removed"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo scripts/test-package.sh "$out/native"

echo "== telvo-farm on Dask clusters: loopback, and hosts in network namespaces (as root)"
# Debian's own Python: it is the one with Dask and pytest.
TELVO_BUILD_DIR="$out/native" /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/farm

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
# The command line too: its own code and the filter are instrumented, FFmpeg's libraries
# are not (ASan and UBSan need no instrumented callers), and the end-to-end tests run
# the instrumented telvo, so a report or a leak in it fails them.
configure asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELVO_SANITIZE=address,undefined
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir "$out/asan" --output-on-failure -j "$jobs" -LE slow

echo "== libFuzzer targets (clang, ASan + UBSan)"
cmake -S "$root" -B "$out/fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELVO_SANITIZE=address,undefined \
  -DTELVO_BUILD_FUZZERS=ON -DTELVO_BUILD_TESTS=OFF -DTELVO_BUILD_CLI=OFF >/dev/null
cmake --build "$out/fuzz" -j "$jobs" --target telvo_fuzzers
scripts/fuzz.sh "$out/fuzz" "${TELVO_FUZZ_SECONDS:-45}"

echo "== ThreadSanitizer (threaded tests)"
configure tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELVO_SANITIZE=thread -DTELVO_BUILD_CLI=OFF
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir "$out/tsan" --output-on-failure -L threads

echo "== mingw-w64 cross build"
configure mingw -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release
echo "== the Windows zip"
scripts/check-windows-zip.sh "$out/mingw"

if [ -x scripts/test-wine.sh ]; then
  echo "== Windows module under wine"
  scripts/test-wine.sh "$out/mingw" "$out/native"
fi

echo "all test suites passed"
