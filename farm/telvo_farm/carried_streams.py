# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""Which of the input's audio and subtitle streams the output's container can carry,
decided before any segment is rendered (found only at the join, it would throw away
the whole render). As telvo decides it: a stream that can be copied is copied; audio
that cannot is encoded at the join with the container's default audio encoder; what
is left cannot be carried and is left out, with a note either way."""

import json
import os
import subprocess
import tempfile
from dataclasses import dataclass

COPY, ENCODE = "copy", "encode"


@dataclass(frozen=True)
class CarriedStream:
    index: int  # in the input
    how: str  # COPY or ENCODE


def _other_streams(path):
    command = ["ffprobe", "-v", "error", "-show_entries",
               "stream=index,codec_type,codec_name:stream_disposition=attached_pic",
               "-of", "json", "--", path]
    done = subprocess.run(command, capture_output=True, text=True, check=False)
    streams = json.loads(done.stdout or "{}").get("streams", [])
    return [s for s in streams if s.get("codec_type") in ("audio", "subtitle")
            and not s.get("disposition", {}).get("attached_pic")]


def _trial(path, index, how, trial, format_name):
    """The codec the container got the stream as, or None when it refused it. A second
    of the stream is enough: containers refuse a codec when they start."""
    command = ["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", path, "-map", f"0:{index}",
               "-t", "1", "-strict", "experimental"]
    command += ["-c", "copy"] if how == COPY else []
    command += ["-f", format_name] if format_name else []
    if subprocess.run(command + [trial], capture_output=True, check=False).returncode != 0:
        return None
    probe = ["ffprobe", "-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0",
             trial]
    done = subprocess.run(probe, capture_output=True, text=True, check=False)
    if done.returncode != 0:
        return None
    return done.stdout.strip() or None


def carried_streams(path, output, format_name, note):
    """[CarriedStream] in the input's order; `note` gets a line per stream not copied."""
    ext = os.path.splitext(output)[1]
    container = format_name or ext[1:]
    carried = []
    with tempfile.TemporaryDirectory(prefix="telvo-farm-") as folder:
        trial = os.path.join(folder, "trial" + ext)
        for stream in _other_streams(path):
            index, codec = stream["index"], stream.get("codec_name", "?")
            if _trial(path, index, COPY, trial, format_name):
                carried.append(CarriedStream(index, COPY))
                continue
            encoded = stream["codec_type"] == "audio" and _trial(path, index, ENCODE, trial,
                                                                 format_name)
            if encoded:
                carried.append(CarriedStream(index, ENCODE))
                note(f"stream {index} ({codec}) cannot go into {container}; encoded as "
                     f"{encoded} at the join")
            else:
                note(f"stream {index} ({codec}) cannot go into {container}; left out")
    return carried
