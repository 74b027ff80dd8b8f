# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""Segment planning, the work folder's reuse rules and the command line, without a
cluster."""

import re
from fractions import Fraction

import pytest
from conftest import run

from telvo_farm.command_line import parse_arguments, telvo_options
from telvo_farm.plan import Segment, concat_durations, plan_segments
from telvo_farm.probe import Timeline
from telvo_farm.workdir import WorkDir


@pytest.mark.parametrize("total, size, start, count, expected", [
    (10, 4, 0, None, [(0, 4), (4, 4), (8, 2)]),
    (10, 10, 0, None, [(0, 10)]),
    (10, 4, 3, 5, [(3, 4), (7, 1)]),
    (10, 4, 8, 50, [(8, 2)]),  # a range past the end gives the frames that exist
])
def test_segments_cover_the_range_once(total, size, start, count, expected):
    segments = plan_segments(total, size, start, count)
    assert [(s.start, s.frames) for s in segments] == expected
    assert [s.index for s in segments] == list(range(len(expected)))


def test_concat_lengths_follow_the_input_clock():
    # 30000/1001 fps in a 1/90000 time base, with a gap before frame 4: rounding the
    # cumulative times keeps every boundary on the microsecond of its frame.
    pts = tuple(3003 * i + (9000 if i >= 4 else 0) for i in range(9))
    timeline = Timeline(pts, 9, Fraction(1, 90000))
    segments = plan_segments(9, 2)
    lengths = concat_durations(timeline, segments)
    assert lengths[-1] is None
    assert [sum(lengths[:k]) for k in range(1, 5)] == \
        [timeline.microseconds(s.start) - timeline.microseconds(0) for s in segments[1:]]
    assert concat_durations(Timeline((), 9, Fraction(1, 25)), segments) == [None] * 5


def test_work_folder_reuses_only_matching_complete_segments(tmp_path, clips, telvo):
    segments = [Segment(0, 0, 15), Segment(1, 15, 15)]
    work = WorkDir(str(tmp_path / "out.mkv"), ".mkv", "")
    assert work.open({"gamma": 15}, segments) == ({}, None)
    assert run([telvo, clips["av.mp4"], work.video(segments[0]), "-q", "--frames",
                "15"]).returncode == 0
    (tmp_path / ".out.mkv.farm" / "seg-000001.mkv").write_bytes(b"cut short")
    (tmp_path / ".out.mkv.farm" / "seg-000001.att-0badc0de.mkv").write_bytes(b"attempt")

    reused, note = work.open({"gamma": 15}, segments)
    assert list(reused) == [0] and "1 of 2" in note
    assert sorted(p.name for p in (tmp_path / ".out.mkv.farm").iterdir()) == \
        ["manifest.json", "seg-000000.mkv"]
    # Another setting: nothing made with the old one is reused.
    reused, note = work.open({"gamma": 20}, segments)
    assert reused == {} and "changed" in note
    assert sorted(p.name for p in (tmp_path / ".out.mkv.farm").iterdir()) == ["manifest.json"]


def test_farm_takes_telvo_options_as_telvo_lists_them(telvo):
    shown = run([telvo, "--help"]).stdout
    options = set(re.findall(r"^\s+(?:(-\w), )?(--[\w-]+)(?: ([A-Z]+|\"))?", shown, re.M))
    takes_value = {name for short, name, value in options if value} | \
        {short for short, name, value in options if short and value}
    flags = {name for short, name, value in options if not value} | \
        {short for short, name, value in options if short and not value}
    kinds = telvo_options(telvo)
    assert {name for name, kind in kinds.items() if kind in ("text", "integer")} == takes_value
    assert {name for name, kind in kinds.items() if kind == "flag"} == \
        flags - {"--help", "-h", "--version", "--list-options"}
    o = parse_arguments(["a.mp4", "--crf", "20", "--border", "b.mkv", "--telvo", telvo])
    assert (o.inputs, o.output, o.telvo_options) == (["a.mp4"], "b.mkv", ["--crf", "20", "--border"])


@pytest.mark.parametrize("arguments, words", [
    (["a.mp4", "b.png"], "writes video files"),
    (["a.mp4", "b%04d.mkv"], "writes video files"),
    (["a.mp4", "b.mkv", "--preview", "3"], "use telvo"),
    (["a.mp4", "b.mkv", "--plot", "p.svg"], "use telvo"),
    (["a.mp4", "b.mkv", "-f", "null"], "'-'"),
    (["x/a.mp4", "y/a.mp4", "out"], "same file name"),
    (["a.mp4", "b.mkv", "--tls-cert", "c.pem"], "all three"),
    (["a.mp4", "b.mkv", "--scheduler", "tcp://h:1", "--tls-ca-file", "a", "--tls-cert", "b",
      "--tls-key", "c"], "tls://"),
    (["a.mp4", "b.mkv", "--segment-frames", "0"], "1.."),
    (["a.mp4", "b.mkv", "--bogus"], "unknown option"),
    (["a.mp4"], "missing OUTPUT"),
])
def test_usage_errors(farm, arguments, words):
    done = run([farm, *arguments])
    assert done.returncode == 2 and words in done.stderr, done.stderr
