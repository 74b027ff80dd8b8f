#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# The MLT module as melt loads it, on small generated clips: rgba frames equal the
# command-line tool's lossless output bit for bit (alpha kept); a zone rendered alone
# equals the same frames of the whole render, keyframed strengths included; two rendering
# threads (real_time=-2) give one thread's frames; the analysis writes telvo --analyse's
# plan, and a plan applied by position equals telvo --plan.
# Usage: melt_test.sh MODULE METADATA TELVO_BINARY WORK_DIR
set -euo pipefail
source "$(cd "$(dirname "$0")/../support" && pwd)/checks.sh"
module=$1 metadata=$2 telvo=$3 work=$4
rm -rf "$work"
mkdir -p "$work/modules" "$work/data/telvo"
cd "$work"

# MLT reads one module folder and one data folder: Debian's, with this build's module
# and metadata added.
system_modules=$(pkg-config --variable=moduledir mlt-framework-7)
system_data=$(pkg-config --variable=mltdatadir mlt-framework-7)
ln -s "$system_modules"/*.so modules/
ln -sf "$module" modules/
for d in "$system_data"/*; do [ "$(basename "$d")" = telvo ] || ln -s "$d" data/; done
ln -s "$metadata" data/telvo/
export MLT_REPOSITORY=$work/modules MLT_DATA=$work/data HOME=$work

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
frames() { ff -i "$1" -f rawvideo -pix_fmt bgra "$2"; }  # clip, raw BGRA frames
render() {  # output real_time melt-arguments...: FFV1 in BGRA keeps pixels and alpha
    local out=$1 threads=$2
    shift 2
    melt -silent -quiet "$@" -consumer "avformat:$out.mkv" vcodec=ffv1 pix_fmt=bgra \
        real_time="$threads"
    frames "$out.mkv" "$out.bgra"
}


melt -query filter=telvo >metadata.txt 2>&1 || true
grep -q "identifier: scene-cuts" metadata.txt ||
    { echo "FAIL melt does not list the telvo filter's metadata"; failed=1; }

# 40 frames of an odd size with a cast, changing light, a cut at frame 20 and an alpha
# pattern.
size=37x41
frame_bytes=$((37 * 41 * 4))
ff -f lavfi -i "testsrc2=size=$size:rate=25,colorchannelmixer=rr=0.95:gg=0.8:bb=0.6,eq=brightness=0.2*sin(3*t)-0.3*gte(n\,20):eval=frame,format=bgra,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='mod(7*X+3*Y+N,256)'" \
    -frames:v 40 -c:v ffv1 clip.mkv
frames clip.mkv clip.bgra

# Against the command-line tool.
"$telvo" clip.mkv expected.mkv --lossless -q --gamma 30 --alignment 5 --border --top 4 \
    --left 7 --right 4 --bottom 2 --histogram
frames expected.mkv expected.bgra
cmp -s clip.bgra expected.bgra && { echo "FAIL the settings change nothing"; failed=1; }
render melt -1 clip.mkv -filter telvo gamma=30 alignment=5 border=1 top=4 left=7 right=4 \
    bottom=2 histogram=1
same "rgba equals telvo --lossless (colours and alpha)" expected.bgra melt.bgra

# Zones rendered alone, as an editor renders one: the saved project with the consumer's
# in and out, so keyframes stay where they are. The frames before each zone's first come
# from a pre-roll, with the strengths of their own positions; with the cut detector on,
# the pre-roll reaches further back.
keyed=("gamma=0=0;39=40" "alignment=0=40;39=0")
for cuts in 0 85; do
    melt -silent -quiet clip.mkv -filter telvo "${keyed[@]}" scene-cuts=$cuts -consumer xml:project.mlt
    render whole -1 project.mlt
    for zone in "5 9" "22 39"; do
        set -- $zone
        render zone -1 project.mlt in="$1" out="$2"
        dd if=whole.bgra of=whole-zone.bgra bs=$frame_bytes skip="$1" count=$(($2 - $1 + 1)) \
            status=none
        same "frames $1..$2 alone (scene-cuts $cuts) equal the whole render's" whole-zone.bgra \
            zone.bgra
    done
done
render still -1 clip.mkv -filter telvo gamma=0 alignment=40
cmp -s whole.bgra still.bgra && { echo "FAIL the keyframes change nothing"; failed=1; }

# Two threads hand the frames in out of turn.
render one 1 clip.mkv -filter telvo "${keyed[@]}"
render two -2 clip.mkv -filter telvo "${keyed[@]}"
same "real_time=-2 equals real_time=1" one.bgra two.bgra

# A plan made by telvo --analyse, applied by position: a zone across the cut, alone and on
# two threads, equals the same frames of telvo --plan (the plan corrects each scene as a
# whole).
"$telvo" clip.mkv --analyse plan.csv -q --gamma 30
"$telvo" clip.mkv planned.mkv --plan plan.csv --lossless -q
# The analysis in melt, on two threads, writes telvo --analyse's plan.
render analysed -2 clip.mkv -filter telvo gamma=30 scene-cuts=85 analyse="$work/melt-plan.csv"
same "melt's analysis writes telvo --analyse's plan" plan.csv melt-plan.csv
# With the balance correction the plan carries each frame's balance estimate too.
"$telvo" clip.mkv --analyse balance-plan.csv -q --balance --strength 70
render analysed-balance -2 clip.mkv -filter telvo balance=1 strength=70 scene-cuts=85 \
    analyse="$work/melt-balance-plan.csv"
same "melt's analysis with balance writes telvo --analyse --balance's plan" balance-plan.csv \
    melt-balance-plan.csv
frames planned.mkv planned.bgra
melt -silent -quiet clip.mkv -filter telvo plan="$work/plan.csv" -consumer xml:planned.mlt
render planned-zone -2 planned.mlt in=18 out=39
dd if=planned.bgra of=planned-expected.bgra bs=$frame_bytes skip=18 status=none
same "frames 18..39 (a cut at 20) with a plan equal telvo --plan's" planned-expected.bgra planned-zone.bgra

exit $failed
