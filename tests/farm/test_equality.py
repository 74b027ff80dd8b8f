# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""A farm run gives what one telvo run gives: lossless frames bit for bit, lossy ones
with the same count, timestamps and rate; the same other streams and stats."""

import os
import re

import pytest
from conftest import ffmpeg, frame_hashes, run, stream_facts

CASES = {
    # name: (input clip, output name, telvo options, farm options)
    "lossless, stats, odd last segment": ("av.mp4", "out.mkv", ["--lossless", "--stats", "s.csv"],
                                          ["--segment-frames", "20"]),
    "clock from 1.4 s, audio copied": ("av.ts", "out.mp4", [], ["--segment-frames", "30"]),
    "lossy, last segment of two frames": ("av.ts", "out.mp4", [], ["--segment-frames", "73"]),
    "variable frame rate": ("vfr.mkv", "out.mkv", ["--gamma", "30"], ["--segment-frames", "16"]),
    "B-frames, packets without pts": ("bf.mpg", "out.mkv", ["--lossless"],
                                      ["--segment-frames", "20"]),
    "cut by stream copy, edit list": ("cut.mp4", "out.mkv", ["--lossless"],
                                      ["--segment-frames", "10"]),
    "range, jsonl stats": ("av.mp4", "out.mkv",
                           ["--lossless", "--start", "7", "--frames", "50", "--stats", "s.jsonl"],
                           ["--segment-frames", "12"]),
    # The pre-roll covers what the cut detector looks back at.
    "scene cuts near segment boundaries": ("cuts.mkv", "out.mkv",
                                           ["--lossless", "--scene-cuts", "85", "--stats",
                                            "s.csv"], ["--segment-frames", "12"]),
    # The balance correction's history crosses segment boundaries through the pre-roll too.
    "balance": ("av.mp4", "out.mkv", ["--lossless", "--balance", "--stats", "s.csv"],
                ["--segment-frames", "20"]),
    "10-bit in, 16-bit RGB out": ("ten.mkv", "out.mkv", ["--lossless"], ["--segment-frames", "25"]),
}


@pytest.mark.parametrize("case", CASES, ids=list(CASES))
def test_same_result_as_one_run(case, clips, telvo, farm, tmp_path):
    clip, name, options, farm_options = CASES[case]
    single, farmed = tmp_path / "single", tmp_path / "farmed"
    single.mkdir()
    farmed.mkdir()
    assert run([telvo, clips[clip], name, "-q", *options], cwd=single).returncode == 0
    done = run([farm, clips[clip], name, "--workers", "2", *options, *farm_options], cwd=farmed)
    assert done.returncode == 0, done.stderr
    # Not a terminal: progress comes as plain lines.
    assert "frames (" in done.stderr and "\r" not in done.stderr
    assert sorted(os.listdir(farmed)) == sorted(os.listdir(single)), "left something behind"

    if "--lossless" in options:
        assert frame_hashes(str(farmed / name)) == frame_hashes(str(single / name))
    if clip == "ten.mkv":  # the joined segments keep 16 bits per channel (FFV1 decodes planar)
        probe = run(["ffprobe", "-v", "error", "-show_entries", "stream=pix_fmt", "-of", "csv=p=0",
                     str(farmed / name)])
        assert probe.stdout.strip() == "gbrp16le"
    else:
        assert len(frame_hashes(str(farmed / name))) == len(frame_hashes(str(single / name)))
    assert stream_facts(str(farmed / name)) == stream_facts(str(single / name))
    for stats in (o for o in options if o.startswith("s.")):
        assert (farmed / stats).read_bytes() == (single / stats).read_bytes()
    if "--scene-cuts" in options:
        # Each cut restarts (1); a flash restarts and is put back when it ends (2).
        rows = [line.split(",") for line in (single / "s.csv").read_text().split()]
        assert rows[0][-1] == "restart"
        marked = {int(row[0]): row[-1] for row in rows[1:] if row[-1] != "0"}
        assert marked == {20: "1", 33: "1", 34: "2", 45: "1", 58: "1", 60: "2"}
    if "--balance" in options:
        rows = [line.split(",") for line in (single / "s.csv").read_text().split()]
        assert rows[0][-1] == "balance" and all(row[-1] == "1" for row in rows[1:])


def test_several_inputs_fill_a_folder(clips, telvo, farm, tmp_path):
    inputs = [clips["av.mp4"], clips["vfr.mkv"]]
    done = run([farm, *inputs, str(tmp_path / "results"), "--lossless", "--workers", "2",
                "--segment-frames", "25", "--stats", "x.csv", "-q"])
    assert done.returncode == 0, done.stderr
    assert done.stderr == "", "--quiet prints nothing on success"
    for path in inputs:
        stem = os.path.splitext(os.path.basename(path))[0]
        single = tmp_path / f"{stem}-single.mkv"
        assert run([telvo, path, str(single), "--lossless", "-q", "--stats",
                    str(tmp_path / f"{stem}-single.csv")]).returncode == 0
        assert frame_hashes(str(tmp_path / "results" / f"{stem}.mkv")) == frame_hashes(str(single))
        assert (tmp_path / "results" / f"{stem}-stats.csv").read_bytes() == \
            (tmp_path / f"{stem}-single.csv").read_bytes()
    assert sorted(os.listdir(tmp_path / "results")) == \
        ["av-stats.csv", "av.mkv", "vfr-stats.csv", "vfr.mkv"]


@pytest.mark.parametrize("clip, name, kept, note", [
    ("av.mp4", "out.webm", ["vp9", "opus"], "stream 1 (aac) cannot go into webm; encoded as opus"),
    ("subtitled.mkv", "out.mp4", ["h264", "aac"], "stream 2 (subrip) cannot go into mp4; left out"),
], ids=["AAC into WebM", "SRT into MP4"])
def test_streams_the_container_cannot_hold(clip, name, kept, note, clips, farm, tmp_path):
    if clip not in clips:
        subtitles = tmp_path / "s.srt"
        subtitles.write_text("1\n00:00:00,000 --> 00:00:01,000\nhello\n")
        ffmpeg("-i", clips["av.mp4"], "-i", str(subtitles), "-map", "0", "-map", "1", "-c",
               "copy", "-c:s", "srt", str(tmp_path / clip))
    source = clips.get(clip, str(tmp_path / clip))
    done = run([farm, source, str(tmp_path / name), "--workers", "1", "--segment-frames", "40"])
    assert done.returncode == 0, done.stderr
    lines = done.stderr.splitlines()
    said = [i for i, line in enumerate(lines) if note in line]
    # Decided while planning: before the first segment reports any frames.
    assert said and said[0] < min(i for i, line in enumerate(lines) if "frames (" in line)
    assert [s["codec_name"] for s, *_ in stream_facts(str(tmp_path / name))] == kept


def _rotated(source, path):
    ffmpeg("-i", source, "-c", "copy", "-metadata:s:v", "rotate=90", path)


def _damaged(source, path):
    data = bytearray(open(source, "rb").read())
    for start in (len(data) // 5, len(data) // 2, 3 * len(data) // 4):
        data[start:start + 400] = bytes((i * 151 + start) % 256 for i in range(400))
    open(path, "wb").write(data)


@pytest.mark.parametrize("make, told, kept_by_quiet", [
    (_rotated, "note: the input is shown turned a quarter", True),
    (_damaged, "warning: the decoder (h264) of the input reported an error in frames ", False),
], ids=["rotation note", "FFmpeg's input messages"])
def test_each_note_told_once_over_all_segments(make, told, kept_by_quiet, clips, farm, tmp_path):
    make(clips["av.mp4"], str(tmp_path / "in.mp4"))
    for quiet in ([], ["-q"]):
        done = run([farm, str(tmp_path / "in.mp4"), str(tmp_path / "out.mkv"), "--lossless",
                    "--workers", "2", "--segment-frames", "20", *quiet])
        assert done.returncode == 0, done.stderr
        os.remove(tmp_path / "out.mkv")
        lines = [line for line in done.stderr.splitlines() if told in line]
        if quiet and not kept_by_quiet:
            assert lines == [], done.stderr
            continue
        assert lines, done.stderr
        # One line per kind: the damaged stream's numbers differ between segments.
        kinds = [re.sub(r"\d+", "#", line.split("the first:")[-1]) for line in lines]
        assert len(kinds) == len(set(kinds)), done.stderr


@pytest.mark.parametrize("name, options, measuring", [
    ("out.mkv", ["--lossless"], []),
    # A video option with a value, which the first pass (no video) must leave out whole.
    ("out.mp4", ["--crf", "18"], []),
    # The balance correction's plan: its line and each frame's estimate survive the join.
    ("out.mkv", ["--lossless", "--balance", "--strength", "70"], ["--balance", "--strength", "70"]),
], ids=["lossless", "crf", "balance"])
def test_two_pass_equals_the_single_machine_two_pass(name, options, measuring, clips, telvo, farm,
                                                     tmp_path):
    """Cuts and flashes a few frames before segment boundaries: the first pass's pre-roll
    must give the detector what it looks back at, or the scenes, and so the plan, differ."""
    single, farmed = tmp_path / "single", tmp_path / "farmed"
    single.mkdir()
    farmed.mkdir()
    clip = clips["cuts.mkv"]
    plan = name.rsplit(".", 1)[0] + ".plan.csv"
    assert run([telvo, clip, "--analyse", plan, *measuring, "-q"], cwd=single).returncode == 0
    assert run([telvo, clip, name, "--plan", plan, *options, "-q"], cwd=single).returncode == 0
    done = run([farm, clip, name, "--two-pass", *options, "--workers", "2",
                "--segment-frames", "12", "-q"], cwd=farmed)
    assert done.returncode == 0, done.stderr
    assert sorted(os.listdir(farmed)) == [name, plan], "left something behind"
    assert (farmed / plan).read_bytes() == (single / plan).read_bytes()
    scenes = [line for line in (single / plan).read_text().splitlines() if
              line.startswith("scene,")]
    assert scenes == ["scene,0,19", "scene,20,44", "scene,45,74"]
    if "--lossless" in options:
        assert frame_hashes(str(farmed / name)) == frame_hashes(str(single / name))
    assert stream_facts(str(farmed / name)) == stream_facts(str(single / name))
