# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""The notes and warnings of one input's segments, each told once.

Every segment is a telvo run of its own, so a note about the input (its display
rotation, a stream left out) comes from every segment alike. FFmpeg's input messages
come as telvo's end-of-run summary, a count per kind, and differ between segments in
their counts and numbers; they are added up per kind and told when the input is done,
as telvo tells them at the end of its run."""

import re
from dataclasses import dataclass, field

# "warning: the decoder (h264) of the input reported an error 37 times, the first: MSG"
_INPUT_MESSAGE = re.compile(
    r"^(warning: .+ of the input reported (?:an error|a warning))"
    r"(?: (\d+) times, the first)?: (.*)$"
)
# telvo lists a dozen kinds at most, then counts the rest.
_MORE_KINDS = re.compile(r"^warning: and \d+ more kinds of input messages")
_MOST_RANGES = 4


def _kind(first):
    # As telvo tells kinds apart: by the message with its numbers left out.
    return re.sub(r"-?\d+", "#", first)


def _ranges(segments):
    """Frame ranges of the segments, neighbours merged: 'frames 20..74, 200..219'."""
    runs = []
    for s in sorted(segments, key=lambda s: s.start):
        end = s.start + s.frames - 1
        if runs and runs[-1][1] + 1 == s.start:
            runs[-1][1] = end
        else:
            runs.append([s.start, end])
    shown = ", ".join(f"{a}..{b}" for a, b in runs[:_MOST_RANGES])
    return "frames " + shown + (", ..." if len(runs) > _MOST_RANGES else "")


@dataclass
class _Kind:
    head: str  # "warning: the decoder (h264) of the input reported an error"
    first: str  # the message as the earliest segment that saw the kind logged it
    first_start: int  # that segment's first frame
    count: int = 0
    segments: list = field(default_factory=list)


class SegmentNotes:
    def __init__(self, label, show_input_messages):
        self.label = label
        self.show_input_messages = show_input_messages
        self.told = set()
        self.kinds = {}  # (head, message without numbers) -> _Kind
        self.more_kinds = False

    def add(self, segment, lines):
        """Takes a segment's 'telvo: note: ...' and 'telvo: warning: ...' lines; returns
        the ones to show now, those not told before."""
        now = []
        for line in lines:
            text = line.removeprefix("telvo: ")
            found = _INPUT_MESSAGE.match(text)
            if found:
                self._count(segment, found)
            elif _MORE_KINDS.match(text):
                self.more_kinds = True
            elif text not in self.told:
                self.told.add(text)
                now.append(f"telvo-farm: {self.label}: {text}")
        return now

    def _count(self, segment, found):
        head, times, first = found.group(1), int(found.group(2) or 1), found.group(3)
        kind = self.kinds.setdefault((head, _kind(first)), _Kind(head, first, segment.start))
        kind.count += times
        kind.segments.append(segment)
        if segment.start < kind.first_start:  # segments finish in any order
            kind.first, kind.first_start = first, segment.start

    def input_summary(self):
        """One line per kind of FFmpeg input message over every finished segment; told
        once, when the input is done or the job fails."""
        if not self.show_input_messages:
            return []
        lines = []
        for kind in sorted(self.kinds.values(), key=lambda k: k.first_start):
            where = f"telvo-farm: {self.label}: {kind.head} in {_ranges(kind.segments)}"
            if kind.count == 1:
                lines.append(f"{where}: {kind.first}")
            else:
                # A frame near a cut is decoded by both segments and may count twice.
                lines.append(f"{where} ({kind.count} times, counted per segment), the first: "
                             f"{kind.first}")
        if self.more_kinds:
            lines.append(f"telvo-farm: {self.label}: warning: and more kinds of input messages "
                         "(telvo -v over the frames shows all)")
        self.kinds.clear()
        self.more_kinds = False
        return lines
