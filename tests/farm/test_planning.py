# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""Segment planning, the work folder's reuse rules, the command line and the progress
count, without a cluster."""

import os
import re
import shutil
import socket
from fractions import Fraction

import pytest
from conftest import run

from telvo_farm.command_line import parse_arguments, telvo_options
from telvo_farm.output_place import hidden_beside
from telvo_farm.plan import Segment, concat_durations, plan_segments
from telvo_farm.probe import Timeline
from telvo_farm.progress import Progress
from telvo_farm.run import InputJob, _Execution
from telvo_farm.segment_task import file_digest
from telvo_farm.workdir import WorkDir, stats_rows


@pytest.mark.parametrize("total, size, start, count, expected", [
    # A rest shorter than three frames joins the segment before it: the encoder could not
    # measure its decode-time delay on it.
    (10, 4, 0, None, [(0, 4), (4, 6)]),
    (11, 4, 0, None, [(0, 4), (4, 4), (8, 3)]),
    (10, 10, 0, None, [(0, 10)]),
    (10, 4, 3, 5, [(3, 5)]),
    (10, 2, 0, None, [(0, 3), (3, 3), (6, 4)]),  # no segment shorter, whatever asked
    (10, 4, 8, 50, [(8, 2)]),  # a range past the end gives the frames that exist
])
def test_segments_cover_the_range_once(total, size, start, count, expected):
    segments = plan_segments(total, size, start, count)
    assert [(s.start, s.frames) for s in segments] == expected
    assert [s.index for s in segments] == list(range(len(expected)))


def test_concat_lengths_follow_the_input_clock():
    # 30000/1001 fps in a 1/90000 time base, with a gap before frame 6: rounding the
    # cumulative times keeps every boundary on the microsecond of its frame.
    pts = tuple(3003 * i + (9000 if i >= 6 else 0) for i in range(15))
    timeline = Timeline(pts, 15, Fraction(1, 90000))
    segments = plan_segments(15, 3)
    lengths = concat_durations(timeline, segments)
    assert lengths[-1] is None
    assert [sum(lengths[:k]) for k in range(1, 5)] == \
        [timeline.microseconds(s.start) - timeline.microseconds(0) for s in segments[1:]]
    assert concat_durations(Timeline((), 9, Fraction(1, 25)), segments) == [None] * 5


def test_work_folder_reuses_only_matching_complete_segments(tmp_path, clips, telvo):
    segments = [Segment(0, 0, 15), Segment(1, 15, 15)]
    work = WorkDir(str(tmp_path / "out.mkv"), ".mkv", "")
    assert work.open({"gamma": 15}, segments) == ({}, None)
    for segment in segments:
        path = work.video(segment)
        assert run([telvo, clips["av.mp4"], path, "-q", "--start", str(segment.start),
                    "--frames", "15"]).returncode == 0
        work.record(segment, {os.path.basename(path): file_digest(path)})
    # Segment 1 replaced by another complete one of the right length (a copy from an
    # older job, say): not what finished here, so it is made again.
    assert run([telvo, clips["av.mp4"], work.video(segments[1]), "-q", "--gamma", "30",
                "--start", "15", "--frames", "15"]).returncode == 0
    (tmp_path / ".out.mkv.farm" / "seg-000001.att-0badc0de.mkv").write_bytes(b"attempt")

    reused, note = work.open({"gamma": 15}, segments)
    assert list(reused) == [0] and "1 of 2" in note
    assert sorted(p.name for p in (tmp_path / ".out.mkv.farm").iterdir()) == \
        ["manifest.json", "seg-000000.mkv"]
    # Another setting: nothing made with the old one is reused.
    reused, note = work.open({"gamma": 20}, segments)
    assert reused == {} and "changed" in note
    assert sorted(p.name for p in (tmp_path / ".out.mkv.farm").iterdir()) == ["manifest.json"]


@pytest.mark.parametrize("name, text, complete", [
    # A crash while a part was written: its last record lacks its end of line.
    ("p.measures", "telvo-plan,1\ninput,160,90,3\nmeasure,0,1,2\nmeasure,1,1,2\nmeasure,2,1", 2),
    ("p.measures", "telvo-plan,1\ninput,160,90,3\nmeasure,0,1,2\nmeasure,1,1,2\n", 2),
    ("s.csv", "frame,gamma\n0,15\n1,1", 1),
    ("s.jsonl", '{"frame":0}\n{"frame":1}\n{"fra', 2),
])
def test_cut_short_records_do_not_count(tmp_path, name, text, complete):
    (tmp_path / name).write_text(text)
    assert stats_rows(str(tmp_path / name)) == complete


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
        flags - {"--help", "-h", "--version", "--list-options", "--check-options"}
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
    (["x/clip.mp4", "y/clip.mkv", "out", "--stats", "s.csv"], "'out/clip-stats.csv' would be "
     "written twice (--stats of 'x/clip.mp4' and --stats of 'y/clip.mkv')"),
    (["a.mp4", "/"], "is a folder"),
    (["a.mp4", "b"], "cannot tell the output format from 'b'"),
    (["a.mp4", "b.mkv", "--scheduler", "tls://127.0.0.1:9"], "TLS needs --tls-ca-file"),
    # telvo's ranges, as telvo lists them: refused before any cluster starts.
    (["a.mp4", "b.mkv", "--gamma", "99"], "--gamma: '99' is not an integer in 0..40"),
    (["a.mp4", "b.mkv", "--crf=64"], "--crf: '64' is not an integer in 0..63"),
])
def test_usage_errors(farm, arguments, words):
    done = run([farm, *arguments])
    assert done.returncode == 2 and words in done.stderr, done.stderr
    assert len(done.stderr.splitlines()) == 1, "one line, no traceback"


def _closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def test_refused_before_anything_runs(farm, clips, tmp_path):
    """Nothing is written and no scheduler is asked (the one given does not answer, so
    a check made after connecting would say that instead)."""
    av, copy = clips["av.mp4"], str(tmp_path / "av.mkv")
    long_input, long_output = str(tmp_path / ("x" * 249 + ".mp4")), "x" * 252 + ".mkv"
    # A video whose name is where --two-pass would keep the plan of v.mp4.
    planned_video, plan = str(tmp_path / "v.plan.csv"), str(tmp_path / "p.csv")
    for made in (copy, long_input, planned_video, plan):
        shutil.copy(av, made)
    link = tmp_path / "link.csv"
    link.symlink_to("av.mkv")
    cases = [
        # (arguments, exit code, the message)
        ([av, str(tmp_path / "missing.mp4"), "out"], 1, "cannot read"),
        ([av, copy, "new/out"], 1, "cannot write 'new/out': No such file or directory"),
        ([av, "new/x.mkv"], 1, "cannot write 'new/x.mkv': No such file or directory"),
        ([av, "x.mkv", "--stats", "new/s.csv"], 1, "cannot write 'new/s.csv': No such file"),
        ([av, long_output], 1, f"cannot write '{long_output}': File name too long"),
        ([long_input, av, "out", "--stats", "s.csv"], 1, "-stats.csv': File name too long"),
        ([av, copy, "out", "--stats", "s.csv"], 2, "would be written twice"),
        # Every name written against every name read, through symbolic links.
        ([planned_video, "v.mp4", "--two-pass"], 2,
         f"the plan of --two-pass '{planned_video}' would be written over the input"),
        ([av, "x.mkv", "--plan", plan, "--stats", plan], 2, "written over the plan (--plan)"),
        ([copy, "y.mkv", "--stats", str(link)], 2, "would be written over the input"),
        ([av, "v.mkv", "--two-pass", "--stats", "v.plan.csv"], 2, "would be written twice"),
        # What telvo refuses in a command the farm would run, told before it runs.
        ([av, "x.mkv", "--two-pass", "--freeze"], 2, "--freeze has no effect with --plan"),
    ]
    for arguments, code, words in cases:
        before = sorted(os.listdir(tmp_path))
        done = run([farm, *arguments, "--scheduler", f"tcp://127.0.0.1:{_closed_port()}",
                    "--connect-timeout", "1"], cwd=tmp_path)
        assert (done.returncode, done.stderr.count("\n")) == (code, 1), done.stderr
        assert words in done.stderr, done.stderr
        assert sorted(os.listdir(tmp_path)) == before, arguments


def test_late_progress_report_of_a_finished_segment_is_not_counted(telvo):
    class Finished:
        status = "finished"

        def result(self):
            return {"ok": True, "worker": "w", "summary": [], "notes": [], "timing": []}

    segments = [Segment(0, 0, 10), Segment(1, 10, 10)]
    job = InputJob(0, "in.mp4", "", "", None, segments, 0, False)
    options = parse_arguments(["in.mp4", "-f", "null", "-", "-q", "--telvo", telvo])
    execution = _Execution(options, [job], None, Progress(20, 0, False))
    # Keys come back from the workers as lists.
    execution._on_event((0.0, ([0, 1], 4)))
    assert execution._frames() == 4
    execution._take(Finished(), job, segments[1])
    assert execution._frames() == 10
    execution._on_event((0.0, ([0, 1], 7)))  # sent before the end, arrived after it
    assert execution._frames() == 10


def test_hidden_names_beside_a_long_result_fit_and_stay_apart(tmp_path):
    names = ["x" * 251 + ".mkv", "x" * 251 + ".mp4", "é" * 125 + ".mkv", "a.mkv"]
    hidden = [os.path.basename(hidden_beside(str(tmp_path / n), ".farm.lock")) for n in names]
    assert hidden[-1] == ".a.mkv.farm.lock"
    assert len(set(hidden)) == len(hidden)
    for name in hidden:
        assert len(name.encode()) <= 255 and name.endswith(".farm.lock")
        (tmp_path / name).touch()  # a name the file system takes
