# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""A farm run gives what one telvo run gives: lossless frames bit for bit, lossy ones
with the same count, timestamps and rate; the same other streams and stats."""

import os

import pytest
from conftest import frame_hashes, run, stream_facts

CASES = {
    # name: (input clip, output name, telvo options, farm options)
    "lossless, stats, odd last segment": ("av.mp4", "out.mkv", ["--lossless", "--stats", "s.csv"],
                                          ["--segment-frames", "20"]),
    "clock from 1.4 s, audio copied": ("av.ts", "out.mp4", [], ["--segment-frames", "30"]),
    "variable frame rate": ("vfr.mkv", "out.mkv", ["--gamma", "30"], ["--segment-frames", "16"]),
    "range, jsonl stats": ("av.mp4", "out.mkv",
                           ["--lossless", "--start", "7", "--frames", "50", "--stats", "s.jsonl"],
                           ["--segment-frames", "12"]),
    # The pre-roll covers what the cut detector looks back at.
    "scene cuts near segment boundaries": ("cuts.mkv", "out.mkv",
                                           ["--lossless", "--scene-cuts", "85", "--stats",
                                            "s.csv"], ["--segment-frames", "12"]),
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


def test_two_pass_equals_the_single_machine_two_pass(clips, telvo, farm, tmp_path):
    """Cuts and flashes a few frames before segment boundaries: the first pass's pre-roll
    must give the detector what it looks back at, or the scenes, and so the plan, differ."""
    single, farmed = tmp_path / "single", tmp_path / "farmed"
    single.mkdir()
    farmed.mkdir()
    clip = clips["cuts.mkv"]
    assert run([telvo, clip, "--analyse", "out.plan.csv", "-q"], cwd=single).returncode == 0
    assert run([telvo, clip, "out.mkv", "--plan", "out.plan.csv", "--lossless", "-q"],
               cwd=single).returncode == 0
    done = run([farm, clip, "out.mkv", "--two-pass", "--lossless", "--workers", "2",
                "--segment-frames", "12", "-q"], cwd=farmed)
    assert done.returncode == 0, done.stderr
    assert sorted(os.listdir(farmed)) == ["out.mkv", "out.plan.csv"], "left something behind"
    assert (farmed / "out.plan.csv").read_bytes() == (single / "out.plan.csv").read_bytes()
    scenes = [line for line in (single / "out.plan.csv").read_text().splitlines() if
              line.startswith("scene,")]
    assert scenes == ["scene,0,19", "scene,20,44", "scene,45,74"]
    assert frame_hashes(str(farmed / "out.mkv")) == frame_hashes(str(single / "out.mkv"))
