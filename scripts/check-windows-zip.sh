#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# The Windows zip a user downloads: exactly the module and three text files, the texts
# with Windows line ends, the licence and README as in the repository, the module the
# one the build made, and the how-to naming the host's 64-bit plug-in folder.
# Usage: check-windows-zip.sh MINGW_BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: check-windows-zip.sh MINGW_BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
zips=("$build"/Telvo-*-win64.zip)
[ ${#zips[@]} -eq 1 ] && [ -f "${zips[0]}" ] || { echo "FAIL no single Telvo-*-win64.zip in $build"; exit 1; }
zip=${zips[0]}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"

failed=0
check() {  # what command...
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failed=1; fi
}
crlf_only() { ! LC_ALL=C grep -q $'[^\r]$\|^$' "$1"; }
unix_text() { tr -d '\r' <"$1"; }

listed=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
check "$(basename "$zip") holds INSTALL.txt LICENSE.txt README.txt Telvo.vdf (has: $listed)" \
  test "$listed" = "INSTALL.txt LICENSE.txt README.txt Telvo.vdf "
for text in INSTALL.txt LICENSE.txt README.txt; do
  check "$text has Windows line ends only" crlf_only "$work/$text"
done
check "LICENSE.txt is LICENSE" cmp -s <(unix_text "$work/LICENSE.txt") "$root/LICENSE"
check "README.txt is README.md" cmp -s <(unix_text "$work/README.txt") "$root/README.md"
check "Telvo.vdf is the module the build made" cmp -s "$work/Telvo.vdf" "$build/module/Telvo.vdf"
check "INSTALL.txt names the 64-bit plug-in folder plugins64" grep -q plugins64 "$work/INSTALL.txt"
check "INSTALL.txt names the version" grep -qF "$(basename "$zip" | sed 's/^Telvo-//; s/-win64.zip$//')" \
  "$work/INSTALL.txt"
exit $failed
