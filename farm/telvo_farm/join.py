# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""Joining finished segments into the result: FFmpeg's concat demuxer with stream copy,
after checking that every segment was encoded alike; audio and the other streams are
taken once from the source (cut per segment and joined, AAC would gain priming samples
and step back in time at every cut), copied or, where the container cannot hold the
audio's codec, encoded here in one piece. The stats files are joined in frame order."""

import os
import subprocess
import tempfile

from telvo_farm.carried_streams import COPY
from telvo_farm.errors import FarmError
from telvo_farm.output_place import hidden_beside
from telvo_farm.plan import concat_durations
from telvo_farm.probe import inspect_segment
from telvo_farm.workdir import MEASURES_EXT, stats_rows


def check_segments(job, known):
    """Every segment complete and encoded with the first one's settings, which it
    returns. `known` holds what was already inspected, by segment index."""
    first = None
    for segment in job.segments:
        settings, frames = known.get(segment.index) or inspect_segment(job.workdir.video(segment))
        if frames != segment.frames:
            raise FarmError(
                f"{job.label}: {segment.describe()} holds {frames} frames, not {segment.frames}"
            )
        if first is None:
            first = settings
            continue
        for name, value in settings.items():
            if value != first[name]:
                raise FarmError(
                    f"{job.label}: {segment.describe()} was encoded with {name} {value}, "
                    f"segment 0 with {first[name]}; they cannot be joined by stream copy "
                    f"(remove {job.workdir.path} to make them all again)"
                )
    return first


def _concat_list(job):
    lines = ["ffconcat version 1.0"]
    for segment, duration in zip(job.segments, concat_durations(job.timeline, job.segments)):
        lines.append(f"file '{os.path.basename(job.workdir.video(segment))}'")
        if duration is not None:
            lines.append(f"duration {duration}us")
    path = os.path.join(job.workdir.path, "segments.ffconcat")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    return path


def _temporary_beside(final, suffix):
    random_part = "X" * 8  # as long as mkstemp's
    model = hidden_beside(final, ".part-" + random_part + suffix)
    folder, name = os.path.split(model)
    prefix = name[: -len(random_part + suffix)]
    handle, path = tempfile.mkstemp(prefix=prefix, suffix=suffix, dir=folder)
    # mkstemp makes the file private; the result gets the mode a plain create gives.
    mask = os.umask(0)
    os.umask(mask)
    os.fchmod(handle, 0o666 & ~mask)
    os.close(handle)
    return path


def join_video(job, o, disposition):
    """Writes the joined video under a temporary name and returns it (the caller renames
    it onto the output once the stats are joined too)."""
    listing = _concat_list(job)
    command = ["ffmpeg", "-nostdin", "-v", "error", "-y", "-copyts"]
    # The concat demuxer starts the first segment at zero; a whole-file run keeps the
    # input's first timestamp, a range starts at zero as its segments do.
    if job.range_start == 0 and job.timeline.pts:
        command += ["-itsoffset", f"{job.timeline.microseconds(0)}us"]
    command += ["-f", "concat", "-safe", "0", "-i", listing]
    if job.copies_other_streams:
        command += ["-i", job.input]
    command += ["-map", "0:v:0", "-c:0", "copy"]
    if job.copies_other_streams:
        for position, stream in enumerate(job.carried, start=1):
            command += ["-map", f"1:{stream.index}"]
            # A stream given no codec gets the container's default encoder.
            command += [f"-c:{position}", "copy"] if stream.how == COPY else []
        command += ["-map_metadata", "1"]
    # The concat demuxer drops the segments' disposition (the default flag, say).
    command += ["-strict", "experimental", "-disposition:v:0", disposition]
    if o.format:
        command += ["-f", o.format]
    temporary = _temporary_beside(job.output, os.path.splitext(job.output)[1])
    command.append(temporary)
    done = subprocess.run(command, capture_output=True, text=True, check=False)
    if done.returncode != 0:
        os.remove(temporary)
        reason = done.stderr.strip().splitlines()
        raise FarmError(
            f"{job.label}: joining the segments failed: {reason[-1] if reason else 'ffmpeg failed'}"
        )
    return temporary


def _whole_input_line(text, frames):
    """A part's `input` line counts the frames up to its end; the joined file's, all."""
    lines = text.splitlines(True)
    for i, line in enumerate(lines):
        if line.startswith("input,"):
            fields = line.rstrip("\n").split(",")
            lines[i] = ",".join(fields[:3] + [str(frames)]) + "\n"
    return "".join(lines)


def join_stats(job):
    """Writes the joined stats under a temporary name and returns it."""
    parts = []
    for segment in job.segments:
        path = job.workdir.stats(segment)
        if stats_rows(path) != segment.frames:
            raise FarmError(f"{job.label}: the stats of {segment.describe()} are incomplete")
        with open(path, encoding="utf-8") as f:
            text = f.read()
        if parts and path.endswith(".csv"):
            text = text.split("\n", 1)[1]  # one header line for the whole file
        if parts and path.endswith(MEASURES_EXT):  # the first part's head, every measure
            text = "".join(line for line in text.splitlines(True) if line.startswith("measure,"))
        parts.append(text)
    if job.stats.endswith(MEASURES_EXT):
        parts[0] = _whole_input_line(parts[0], job.frames)
    temporary = _temporary_beside(job.stats, "")
    with open(temporary, "w", encoding="utf-8") as f:
        f.write("".join(parts))
    return temporary
