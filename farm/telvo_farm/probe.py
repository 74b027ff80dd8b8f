# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""What the client learns from ffprobe: an input's frame timeline, a segment's codec
settings and frame count."""

import json
import subprocess
from collections import Counter
from dataclasses import dataclass
from fractions import Fraction

from telvo_farm.errors import FarmError

# The settings two segments must share for a stream copy to join them into one stream.
SEGMENT_SETTINGS = (
    "codec_name",
    "profile",
    "level",
    "width",
    "height",
    "pix_fmt",
    "sample_aspect_ratio",
    "color_range",
    "color_space",
    "color_transfer",
    "color_primaries",
    "chroma_location",
    "field_order",
    "time_base",
    "r_frame_rate",
    "extradata_hash",
)


def _ffprobe(path, *arguments):
    command = ["ffprobe", "-v", "error", *arguments, "-of", "json", "--", path]
    try:
        done = subprocess.run(command, capture_output=True, text=True, check=False)
    except OSError as e:
        raise FarmError(f"cannot run ffprobe: {e}") from None
    if done.returncode != 0:
        reason = done.stderr.strip().splitlines()
        raise FarmError(f"ffprobe cannot read '{path}': {reason[-1] if reason else 'failed'}")
    return json.loads(done.stdout)


@dataclass(frozen=True)
class Timeline:
    """The video frames of an input in presentation order."""

    pts: tuple  # per frame, in time_base units; empty when the input has no timestamps
    frames: int
    time_base: Fraction

    def microseconds(self, frame):
        return round(self.pts[frame] * self.time_base * 1_000_000)


def timeline_of(path):
    # Packets only, nothing decoded: a pass over the file's index and headers. "V" picks
    # video that is not an attached picture, as telvo does.
    info = _ffprobe(
        path, "-select_streams", "V:0", "-show_entries", "stream=time_base:packet=pts,dts,flags"
    )
    if not info.get("streams"):
        raise FarmError(f"'{path}' has no video stream")
    time_base = Fraction(info["streams"][0]["time_base"])
    # A packet flagged D lies before an edit list's start (a clip cut by stream copy
    # begins at the keyframe before the cut): decoded for reference, never shown, and
    # so no frame of telvo's numbering.
    packets = [p for p in info.get("packets", []) if "D" not in p.get("flags", "")]
    if not packets:
        raise FarmError(f"'{path}' has no video frames")
    if all("pts" in p for p in packets):
        return Timeline(tuple(sorted(p["pts"] for p in packets)), len(packets), time_base)
    stamps = _decoded_stamps(path)
    return Timeline(stamps, len(stamps), time_base)


def _decoded_stamps(path):
    """Where packets lack a presentation time (MPEG program streams with B-frames), the
    decoder guesses each frame's time from the decoding times around it, and telvo
    stamps its frames with that guess; sorting the packets' times would not give it.
    Such inputs are decoded once, here, and the frames taken as the decoder shows them."""
    info = _ffprobe(path, "-select_streams", "V:0", "-show_entries",
                    "frame=best_effort_timestamp")
    stamps = [f.get("best_effort_timestamp") for f in info.get("frames", [])]
    if not stamps:
        raise FarmError(f"'{path}' has no video frames")
    return fill_missing_stamps(stamps)


def fill_missing_stamps(stamps):
    """A frame the decoder leaves without a time follows the one before by one frame
    step, as telvo writes it (the most common step between stamped neighbours); frames
    before the first stamp lead up to it."""
    known = [i for i, s in enumerate(stamps) if s is not None]
    if not known:
        return ()
    steps = Counter(b - a for a, b in zip(stamps, stamps[1:]) if a is not None and b is not None)
    step = steps.most_common(1)[0][0] if steps else 1
    filled = list(stamps)
    for i in range(known[0] - 1, -1, -1):
        filled[i] = filled[i + 1] - step
    for i in range(known[0] + 1, len(filled)):
        if filled[i] is None:
            filled[i] = filled[i - 1] + step
    return tuple(filled)


def inspect_segment(path):
    """(settings, frame count) of a segment file's video."""
    info = _ffprobe(
        path,
        "-select_streams",
        "v:0",
        "-count_packets",
        "-show_data_hash",
        "sha256",
        "-show_entries",
        "stream=" + ",".join(SEGMENT_SETTINGS) + ",nb_read_packets:stream_disposition",
    )
    if not info.get("streams"):
        raise FarmError(f"segment '{path}' holds no video")
    stream = info["streams"][0]
    settings = {name: stream.get(name) for name in SEGMENT_SETTINGS}
    # As ffmpeg's -disposition takes it: "default+forced", or "0" for none.
    flags = [name for name, on in stream.get("disposition", {}).items() if on]
    settings["disposition"] = "+".join(flags) or "0"
    return settings, int(stream.get("nb_read_packets", 0))
