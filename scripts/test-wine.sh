#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# Tests the Windows module as a host loads it, headless under wine:
#   1. its import and export tables (only system DLLs, exactly the two entry points);
#   2. the Windows test host: registration, resources, script surface, the dialog;
#   3. RunProc output, the remap tables and the rows remapped through them of the
#      Windows build against the native build, bit for bit, on the vector kernel the CPU
#      offers and again with TELVO_CPU=scalar; no aligned ymm/zmm move touches the stack
#      (mingw-w64 keeps only 16-byte stack alignment);
#   4. a screenshot of the open dialog (<mingw-build-dir>/wine-test/dialog.png; set
#      TELVO_UPDATE_SCREENSHOT=1 to copy it to docs/dialog.png).
# Needs what scripts/install-deps.sh installs; installs nothing itself.
# usage: scripts/test-wine.sh <mingw-build-dir> <native-build-dir>
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 <mingw-build-dir> <native-build-dir>" >&2
  exit 2
fi
mingw=$(cd "$1" && pwd)
native=$(cd "$2" && pwd)
cd "$(dirname "$0")/.."
root=$PWD

wine=/usr/lib/wine/wine64
objdump=x86_64-w64-mingw32-objdump
for tool in "$wine" "$objdump" xvfb-run convert import; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done

module=$mingw/module/Telvo.vdf
work=$mingw/wine-test
rm -rf "$work"
mkdir -p "$work/pictures" "$work/screen"

winpath() { local p=$1; echo "Z:${p//\//\\}"; }

fail() { echo "FAIL: $*" >&2; exit 1; }

echo "-- import and export tables of Telvo.vdf"
"$objdump" -p "$module" > "$work/tables.txt"
imports=$(awk '/DLL Name:/ { print toupper($3) }' "$work/tables.txt" | sort | tr '\n' ' ')
for dll in $imports; do
  case $dll in
    KERNEL32.DLL|USER32.DLL|MSVCRT.DLL|COMCTL32.DLL) ;;
    *) fail "Telvo.vdf imports $dll (only KERNEL32, USER32, msvcrt and COMCTL32 are allowed)" ;;
  esac
done
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && NF == 0 { on = 0 }
               on { print $NF }' "$work/tables.txt" | sort | tr '\n' ' ')
[ "$exports" = "VirtualdubFilterModuleDeinit VirtualdubFilterModuleInit2 " ] ||
  fail "Telvo.vdf exports '$exports'"
echo "imports: $imports"
echo "exports: $exports"
"$objdump" -d "$module" > "$work/disassembly.txt"
aligned='vmov(dqa|dqa32|dqa64|aps|apd)[[:space:]]'
if grep -E "$aligned.*%[yz]mm.*\(%r[sb]p\)|$aligned.*\(%r[sb]p\).*%[yz]mm" \
    "$work/disassembly.txt" > "$work/aligned-stack-moves.txt"; then
  head -5 "$work/aligned-stack-moves.txt"
  fail "Telvo.vdf moves a 32- or 64-byte vector to or from the stack with an aligned move"
fi

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
echo "-- wine prefix"
timeout 300 "$wine" wineboot -i >/dev/null 2>&1 || fail "wineboot could not create the prefix"
# wineboot returns before the prefix is complete; wait until its processes have ended.
timeout 300 "$(dirname "$wine")/wineserver" -w || fail "the wine prefix did not settle"
# A virtual desktop: wine then draws the dialog's caption and frame itself, as Windows
# does, instead of leaving them to a window manager Xvfb does not have. The caption
# buttons' glyphs come from Marlett, which wine ships but does not put in a new prefix.
"$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x700 /f >/dev/null 2>&1
marlett=/usr/share/wine/fonts/marlett.ttf
[ -e "$marlett" ] && cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
"$(dirname "$wine")/wineserver" -w

echo "-- Windows test host: registration, resources, script surface, dialog"
# Xvfb for the dialog; the host holds the dialog open until the screenshot is taken.
cat > "$work/run-host.sh" <<'INNER'
#!/usr/bin/env bash
set -u
wine=$1 host=$2 module=$3 screen=$4 screenWin=$5
"$wine" "$host" "$module" --screenshot "$screenWin" > "$screen/host.log" 2> "$screen/host.err" &
pid=$!
for _ in $(seq 600); do
  [ -e "$screen/dialog-open" ] || ! kill -0 "$pid" 2>/dev/null && break
  sleep 0.1
done
if [ -e "$screen/dialog-open" ]; then
  sleep 1  # let the dialog finish painting; the picture only, never a test result
  import -window root "$screen/root.png" || echo "screenshot failed"
fi
touch "$screen/screenshot-done"
wait "$pid"
INNER
chmod +x "$work/run-host.sh"
status=0
timeout 300 xvfb-run -a -s "-screen 0 800x700x24" "$work/run-host.sh" "$wine" \
  "$mingw/tests/wine/telvo_wine_host.exe" "$(winpath "$module")" "$work/screen" \
  "$(winpath "$work/screen")" 2> "$work/xvfb.log" || status=$?
tr -d '\r' < "$work/screen/host.log"
[ "$status" -eq 0 ] || cat "$work/screen/host.err" "$work/xvfb.log" >&2
[ "$status" -eq 0 ] || fail "Windows test host (exit $status)"

if [ -e "$work/screen/root.png" ]; then
  convert "$work/screen/root.png" -trim +repage "$work/dialog.png"
  echo "dialog screenshot: $work/dialog.png"
  if [ "${TELVO_UPDATE_SCREENSHOT:-0}" = 1 ]; then
    cp "$work/dialog.png" "$root/docs/dialog.png"
  fi
else
  fail "no screenshot of the dialog was taken"
fi

echo "-- RunProc: Windows build against native build, bit for bit"
pictures=()
for p in rose logo granite netscape; do
  convert "$p:" -strip -type TrueColor -depth 8 "ppm:$work/pictures/$p.ppm"
  pictures+=("$work/pictures/$p.ppm")
done
convert wizard: -strip -resize '333x447!' -type TrueColor -depth 8 "ppm:$work/pictures/wizard-333x447.ppm"
pictures+=("$work/pictures/wizard-333x447.ppm")
winPictures=()
for p in "${pictures[@]}"; do winPictures+=("$(winpath "$p")"); done

"$native/tests/wine/telvo_frame_runner" "$native/module/Telvo.so" "${pictures[@]}" \
  > "$work/native-frames.txt" || fail "native frame runner"
timeout 600 "$wine" "$mingw/tests/wine/telvo_frame_runner.exe" "$(winpath "$module")" \
  "${winPictures[@]}" 2>/dev/null | tr -d '\r' > "$work/windows-frames.txt" ||
  fail "Windows frame runner"
frames=$(wc -l < "$work/native-frames.txt")
[ "$frames" -gt 0 ] || fail "no frames were run"
if ! diff "$work/native-frames.txt" "$work/windows-frames.txt" > "$work/frames.diff"; then
  echo "output frames differ (native <, Windows >):"
  head -20 "$work/frames.diff"
  fail "RunProc output depends on the platform"
fi
echo "$frames output frames identical"
TELVO_CPU=scalar timeout 600 "$wine" "$mingw/tests/wine/telvo_frame_runner.exe" \
  "$(winpath "$module")" "${winPictures[@]}" 2>/dev/null | tr -d '\r' > "$work/windows-scalar-frames.txt" ||
  fail "Windows frame runner, scalar kernels"
diff -q "$work/native-frames.txt" "$work/windows-scalar-frames.txt" >/dev/null ||
  fail "RunProc output with TELVO_CPU=scalar differs from the native build"
echo "$frames output frames identical with TELVO_CPU=scalar"

echo "-- tone curves and row kernels: Windows build against native build"
nativeCurves=$("$native/tests/wine/telvo_curve_runner" 60000)
windowsCurves=$(timeout 300 "$wine" "$mingw/tests/wine/telvo_curve_runner.exe" 60000 2>/dev/null | tr -d '\r')
[ "$nativeCurves" = "$windowsCurves" ] ||
  fail "remap tables or rows depend on the platform: native $nativeCurves, Windows $windowsCurves"
echo "$nativeCurves on both"
# Once in a CI run this second start under wine ended with no output and no message
# while the same binaries passed when run again; a start that fails is said and tried
# once more, and a real fault fails both times.
scalarRun() {
  TELVO_CPU=scalar timeout 300 "$wine" "$mingw/tests/wine/telvo_curve_runner.exe" 60000 \
    2>/dev/null | tr -d '\r'
}
if ! scalarCurves=$(scalarRun) || [ -z "$scalarCurves" ]; then
  echo "the scalar curve run under wine failed to start or answer; trying once more"
  scalarCurves=$(scalarRun) || fail "the scalar curve run under wine failed twice"
fi
[ "${scalarCurves% kernel scalar}" = "${nativeCurves% kernel *}" ] ||
  fail "TELVO_CPU=scalar under wine: $scalarCurves, native $nativeCurves"
echo "$scalarCurves under wine"

echo "wine tests passed"
