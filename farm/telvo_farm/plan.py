# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""Cutting a job's frames into segments. Each segment is an exact telvo run of its own
(--start/--frames, which filter enough earlier frames first: four, or sixteen with
--scene-cuts), so any cut gives the same frames."""

from dataclasses import dataclass


@dataclass(frozen=True)
class Segment:
    index: int
    start: int  # first frame, in the input's numbering
    frames: int

    def describe(self):
        return f"segment {self.index} (frames {self.start}..{self.start + self.frames - 1})"


def plan_segments(total, segment_frames, start=0, count=None):
    """Segments covering frames start..start+count-1 of an input holding `total` frames."""
    end = total if count is None else min(total, start + count)
    return [
        Segment(index, first, min(segment_frames, end - first))
        for index, first in enumerate(range(start, end, segment_frames))
    ]


def concat_durations(timeline, segments):
    """Each segment's length in microseconds as the input's own timestamps give it (the
    next segment's first frame minus its own), None for the last or when the input has no
    timestamps. Rounding the cumulative times, not each length, keeps errors from adding
    up over hundreds of segments."""
    durations = []
    for here, following in zip(segments, segments[1:]):
        if not timeline.pts:
            durations.append(None)
        else:
            durations.append(
                timeline.microseconds(following.start) - timeline.microseconds(here.start)
            )
    return durations + [None] if segments else []
