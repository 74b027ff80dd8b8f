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


# No segment is shorter than this unless the whole job is. An encoder that reorders frames
# gives its first frames decode times ahead of their presentation times by a delay it
# measures on the frames it was given: x264 (and x265) read it off the third frame (two
# frames with B-pyramids), FFmpeg's MPEG encoders off the second. A segment of one or two
# frames never reaches that frame, so its decode times start on its presentation times
# while the segments around it keep the delay: the joined stream's decode times jump by
# three frames at that cut, and with them the MP4 frame table's durations and the average
# rate, though every presentation time is right. The join moves each segment's times as
# a whole and keeps the encoder's decode times, so the segments must carry the right ones:
# with three frames or more each measures the delay the single run has (on evenly spaced
# frames; where the spacing changes at a cut, the few decode times after it may differ).
SHORTEST_SEGMENT = 3


def plan_segments(total, segment_frames, start=0, count=None):
    """Segments covering frames start..start+count-1 of an input holding `total` frames,
    `segment_frames` each (at least SHORTEST_SEGMENT); a shorter rest at the end is
    added to the segment before it."""
    end = total if count is None else min(total, start + count)
    size = max(segment_frames, SHORTEST_SEGMENT)
    firsts = list(range(start, end, size))
    if len(firsts) > 1 and end - firsts[-1] < SHORTEST_SEGMENT:
        firsts.pop()
    bounds = firsts[1:] + [end]
    return [
        Segment(index, first, following - first)
        for index, (first, following) in enumerate(zip(firsts, bounds))
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
