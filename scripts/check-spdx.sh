#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# Every source file says near its top that it is GPL-2.0-or-later, copyright the Telvo
# authors. Each file in git is either a source file, which must carry both lines in its
# first five, or one of the kinds that carry none; a file of neither kind fails, so a
# new kind of file gets a rule here. --list-missing prints the files without the lines.
set -euo pipefail
cd "$(dirname "$0")/.."

license="SPDX-License-Identifier: GPL-2.0-or-later"
copyright="Copyright the Telvo authors"

missing=()
unruled=()
while IFS= read -r -d '' file; do
  case $file in
    # Documents, data the tests read byte for byte (golden sums, fuzz corpus and
    # dictionary), pictures, the licence itself, tool settings, and the texts that
    # ship as they are: no header.
    *.md | *.png | *.jpg | LICENSE | tests/golden/* | tests/fuzz/corpus/* | *.dict | .gitignore | \
      .clang-format | packaging/debian/copyright | packaging/windows/*.txt.in)
      continue ;;
    # Sources, each in its format's comment: C++, resource scripts and the version
    # header template (//), CMake, shell, Python, OBS locale and sanitizer suppression
    # files (#), linker version scripts (/* */), module-definition files (;), XML (<!-- -->).
    *.cpp | *.h | *.h.in | *.rc | *.py | *.sh | *.cmake | CMakeLists.txt | */CMakeLists.txt | *.map | *.def | \
      *.xml | *.ini | *.supp | farm/telvo-farm.in | .ci/run)
      ;;
    *)
      unruled+=("$file")
      continue ;;
  esac
  head -n 5 "$file" | grep -qF "$license" && head -n 5 "$file" | grep -qF "$copyright" ||
    missing+=("$file")
done < <(git ls-files -z)

if [ "${1:-}" = "--list-missing" ]; then
  printf '%s\n' "${missing[@]}"
  exit 0
fi
for file in "${missing[@]}"; do echo "$file: no '$license' and '$copyright' in its first lines"; done
for file in "${unruled[@]}"; do echo "$file: no rule in scripts/check-spdx.sh: a source file or not?"; done
if ((${#missing[@]} + ${#unruled[@]})); then exit 1; fi
echo "licence headers: every source file carries them"
