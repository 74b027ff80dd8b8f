#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# The Debian package as a user gets it: made by CPack from a build folder, installed
# with apt-get, run from the installed paths only (no build tree, no FREI0R_PATH), and
# removed again without a trace. Runs as root; refuses to touch a telvo already
# installed, and removes its own install even when a check fails.
# Usage: test-package.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: test-package.sh BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "test-package.sh installs a package: run it as root"; exit 1; }
if dpkg-query -W -f='${Status}' telvo 2>/dev/null | grep -q "installed"; then
  echo "a telvo package is installed already; remove it first (this test removes its own)"
  exit 1
fi

work=$(mktemp -d)
installed=0
cleanup() {
  if ((installed)); then
    DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq telvo >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

failed=0
check() {  # what command...
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failed=1; fi
}

echo "-- cpack -G DEB"
(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
debs=("$work"/deb/telvo_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL no single telvo_*.deb"; exit 1; }
deb=${debs[0]}
version=$("$build/cli/telvo" --version | cut -d' ' -f2)
field() { dpkg-deb -f "$deb" "$1"; }
check "name telvo, version $version, architecture $(dpkg --print-architecture)" \
  test "$(field Package) $(field Version) $(field Architecture)" = \
  "telvo $version $(dpkg --print-architecture)"
check "file name telvo_${version}_$(dpkg --print-architecture).deb" \
  test "$(basename "$deb")" = "telvo_${version}_$(dpkg --print-architecture).deb"
depends=$(field Depends)
for dependency in python3-distributed ffmpeg libavcodec libavformat libswscale libswresample libmlt7 libstdc++6; do
  check "depends on $dependency" grep -q "\b$dependency" <<<"$depends"
done
check "does not depend on OBS (the module takes libobs from OBS)" \
  bash -c "! grep -q 'libobs\|obs-studio' <<<'$depends'"

echo "-- apt-get install ./$(basename "$deb")"
installed=1
(cd "$work/deb" && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$(basename "$deb")" \
  >/dev/null)
dpkg-query -L telvo | sort >"$work/files"
for file in /usr/bin/telvo /usr/bin/telvo-farm /usr/lib/frei0r-1/telvo.so \
  /usr/share/kdenlive/effects/frei0r_telvo.xml /usr/share/kdenlive/effects/telvo.xml \
  "$(pkg-config --variable=moduledir mlt-framework-7)/libmlttelvo.so" \
  "$(pkg-config --variable=mltdatadir mlt-framework-7)/telvo/filter_telvo.yml" \
  /usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/obs-plugins/telvo-obs.so \
  /usr/share/obs/obs-plugins/telvo-obs/locale/en-US.ini \
  /usr/share/man/man1/telvo.1.gz \
  /usr/share/man/man1/telvo-farm.1.gz /usr/share/doc/telvo/copyright \
  /usr/share/doc/telvo/README.md /usr/share/telvo/telvo_farm/run.py; do
  check "installs $file" grep -qx "$file" "$work/files"
done
for page in telvo telvo-farm; do
  check "man $page renders without warnings" \
    bash -c "zcat /usr/share/man/man1/$page.1.gz | groff -ww -mandoc -z 2>&1 | (! grep .)"
done

# From here on only what the package installed: PATH without the build tree, a fresh
# home (no ~/.frei0r-1), no FREI0R_PATH.
cd "$work"
export HOME=$work PATH=/usr/sbin:/usr/bin:/sbin:/bin
unset FREI0R_PATH
check "telvo --version is telvo $version" test "$(telvo --version)" = "telvo $version"
check "telvo-farm --version is telvo-farm $version" \
  test "$(telvo-farm --version)" = "telvo-farm $version"

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
colours() { ff -i "$1" -f rawvideo -pix_fmt bgr24 "$2"; }
"$root/scripts/make-sample.sh" "$work/sample.mp4" >/dev/null
check "the installed telvo corrects the sample clip" telvo sample.mp4 corrected.mp4 -q
check "the corrected clip has the sample's 125 frames" test "$(ffprobe -v error \
  -select_streams v:0 -count_frames -show_entries stream=nb_read_frames -of csv=p=0 \
  corrected.mp4)" = 125

# The module FFmpeg finds by itself, against the installed telvo: the same pixels.
ff -i sample.mp4 -frames:v 25 -pix_fmt bgra -c:v ffv1 input.mkv
telvo input.mkv telvo.mkv --lossless -q
check "ffmpeg -vf frei0r=telvo loads the installed module" \
  ff -i input.mkv -vf frei0r=telvo -c:v ffv1 frei0r.mkv
colours telvo.mkv telvo.bgr
colours frei0r.mkv frei0r.bgr 2>/dev/null || true
check "its frames are telvo's, bit for bit" cmp -s telvo.bgr frei0r.bgr
check "melt finds the installed MLT filter and its metadata" \
  bash -c "melt -query filter=telvo 2>/dev/null | grep -q 'identifier: gamma'"
melt -silent -quiet input.mkv -filter telvo -consumer avformat:mlt.mkv vcodec=ffv1 pix_fmt=bgra \
  real_time=-1 2>/dev/null || true
colours mlt.mkv mlt.bgr 2>/dev/null || true
check "its frames are telvo's, bit for bit" cmp -s telvo.bgr mlt.bgr
check "the installed telvo-farm gives telvo's result" \
  telvo-farm input.mkv farm.mkv --lossless -q --workers 1 --segment-frames 10
colours farm.mkv farm.bgr 2>/dev/null || true
check "its frames are telvo's, bit for bit" cmp -s telvo.bgr farm.bgr

echo "-- apt-get remove --purge telvo"
cd /
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq telvo >/dev/null
installed=0
check "the package is gone" bash -c "! dpkg-query -W -f='\${Status}' telvo 2>/dev/null | grep -q installed"
left=()
while read -r file; do
  [ -e "$file" ] && [ ! -d "$file" ] && left+=("$file")
done <"$work/files"
for folder in /usr/share/telvo /usr/share/doc/telvo; do [ -e "$folder" ] && left+=("$folder"); done
check "no file of it is left (${left[*]:-none})" test ${#left[@]} -eq 0

((failed == 0)) && echo "the package installs, runs and goes away cleanly"
exit $failed
