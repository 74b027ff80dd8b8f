# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""One segment of a farm job, run on a worker: telvo over a frame range, written under a
name of this attempt's own and renamed into place only when complete.

The module travels to the workers with the task (pickled by value), so it uses the
standard library only: a worker needs Python, Dask and telvo, nothing else of ours.
"""

import ctypes
import hashlib
import os
import re
import signal
import socket
import subprocess
import sys
import time
import uuid
from dataclasses import dataclass

# telvo's progress bar, "[####....] 120/500 frames  61.0 fps ..." or "120 frames  61.0 fps".
_BAR = re.compile(rb"(\d+)(?:/\d+)? frames\s+[\d.]+ fps")
_WRITTEN = re.compile(r"^telvo: (\d+) frames (?:written|filtered|measured)")
_REPORT_SECONDS = 0.3


@dataclass(frozen=True)
class SegmentSpec:
    label: str  # names the input and the frames in messages
    key: tuple  # (input number, segment number), for progress events
    telvo: str
    input: str
    video: str  # final segment file; "" when the frames are discarded (-f null)
    stats: str  # final stats file, or ""
    start: int
    frames: int
    options: tuple  # telvo's own options, passed as they are
    topic: str  # progress event topic of this job, "" for none
    measure: bool = False  # a first pass: telvo --analyse writes the measurements to `stats`


def attempt_name(final, attempt):
    """seg-000003.mkv -> seg-000003.att-1a2b3c4d.mkv: telvo picks the container from the
    extension, so it stays last."""
    stem, ext = os.path.splitext(final)
    return f"{stem}.att-{attempt}{ext}"


def is_attempt_leftover(name):
    """Attempt files and telvo's own hidden temporaries (.NAME.part-XXXXXX)."""
    return ".att-" in name or (name.startswith(".") and ".part-" in name)


def telvo_command(telvo, input, video, stats, options, start, frames, measure):
    """The telvo command of one segment: `video` "" discards the frames; with `measure`
    it is a first pass, whose measurements go to `stats`."""
    if measure:
        command = [telvo, input, "--analyse", stats, *options]
    else:
        command = [telvo, input, video or "-", *options]
    command += ["--start", str(start), "--frames", str(frames)]
    if stats and not measure:
        command += ["--stats", stats]
    return command


def file_digest(path):
    """What a finished segment's file must hold when a resumed job reuses it."""
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def _worker_name():
    try:
        from distributed import get_worker

        return f"{get_worker().address} ({socket.gethostname()})"
    except (ImportError, ValueError):
        return socket.gethostname()


def _progress_reporter(spec):
    if not spec.topic:
        return lambda done: None
    try:
        from distributed import get_worker

        worker = get_worker()
    except (ImportError, ValueError):
        return lambda done: None
    last = [0.0]

    def report(done):
        now = time.monotonic()
        if now - last[0] >= _REPORT_SECONDS:
            last[0] = now
            worker.log_event(spec.topic, (spec.key, done))

    return report


def _end_with_parent():
    # A worker that dies (killed, machine lost) takes its telvo with it: SIGTERM lets
    # telvo remove its own temporary file. Without this the orphan would run on and
    # write a segment nobody waits for.
    if sys.platform.startswith("linux"):
        PR_SET_PDEATHSIG = 1
        ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def _run_telvo(command, report):
    """Runs telvo with its stderr on a pseudo-terminal, so that it draws its progress bar,
    which is read for the frame count. Returns the exit code and the other lines."""
    master, slave = os.openpty()
    try:
        # Its own session: a Ctrl-C typed at the client's terminal is the client's to
        # handle; the worker's end (above) is what ends telvo.
        process = subprocess.Popen(
            command,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL,
            stderr=slave,
            start_new_session=True,
            preexec_fn=_end_with_parent,
        )
    except OSError:
        os.close(master)
        os.close(slave)
        raise
    os.close(slave)
    lines, pending = [], b""
    try:
        while True:
            try:
                chunk = os.read(master, 65536)
            except OSError:  # EIO: telvo closed the terminal
                break
            if not chunk:
                break
            pieces = re.split(rb"[\r\n]", pending + chunk)
            pending = pieces.pop()
            for piece in pieces:
                bar = _BAR.search(piece)
                if bar:
                    report(int(bar.group(1)))
                elif piece.strip():
                    lines.append(piece.decode("utf-8", "replace").rstrip())
        if pending.strip() and not _BAR.search(pending):
            lines.append(pending.decode("utf-8", "replace").rstrip())
        return process.wait(), lines
    finally:
        os.close(master)
        if process.poll() is None:
            process.kill()
            process.wait()


def _remove(path):
    try:
        os.remove(path)
    except FileNotFoundError:
        pass


def run_segment(fields):
    """Runs the segment that SegmentSpec(**fields) describes (plain fields travel by
    value; a class of ours would need this package on the worker). Returns a dict: ok,
    worker, and either frames/notes/timing or exit/message."""
    spec = SegmentSpec(**fields)
    worker = _worker_name()

    def failed(message, code=1):
        return {"ok": False, "exit": code, "message": message, "worker": worker}

    if not os.access(spec.telvo, os.X_OK):
        return failed(f"no telvo at '{spec.telvo}' on this worker; give its path with --telvo")
    if not os.access(spec.input, os.R_OK):
        return failed(
            f"cannot read '{spec.input}' on this worker; inputs and outputs must be on "
            "storage every worker sees, under the same path"
        )
    attempt = uuid.uuid4().hex[:8]
    video = attempt_name(spec.video, attempt) if spec.video else ""
    stats = attempt_name(spec.stats, attempt) if spec.stats else ""
    command = telvo_command(spec.telvo, spec.input, video, stats, spec.options, spec.start,
                            spec.frames, spec.measure)
    try:
        code, lines = _run_telvo(command, _progress_reporter(spec))
        if code < 0:
            # Killed (out of memory, say): its output is whatever it had written, and
            # -code is no exit status of ours to pass on.
            try:
                name = signal.Signals(-code).name
            except ValueError:
                name = str(-code)
            return failed(f"telvo was ended by signal {name}")
        if code != 0:
            told = [line for line in lines if line.startswith("telvo: ")]
            return failed(told[-1] if told else f"telvo ended with code {code}", code)
        digests = {os.path.basename(final): file_digest(path)
                   for path, final in ((stats, spec.stats), (video, spec.video)) if path}
        # The video last: its presence marks the segment finished.
        if stats:
            os.replace(stats, spec.stats)
        if video:
            os.replace(video, spec.video)
    except OSError as e:
        return failed(f"cannot run telvo: {e}")
    finally:
        for path in (video, stats):
            if path:
                _remove(path)
    written = [int(m.group(1)) for m in map(_WRITTEN.match, lines) if m]
    notes = [line for line in lines if re.match(r"telvo: (warning|note):", line)]
    # The filter's two description lines come first, after any note on the input.
    told = [line for line in lines if line.startswith("telvo: ") and line not in notes]
    return {
        "ok": True,
        "worker": worker,
        "frames": written[-1] if written else spec.frames,
        "digests": digests,
        "summary": told[:2],
        "notes": notes,
        "timing": [line for line in lines if line.startswith("telvo: timing:")],
    }
