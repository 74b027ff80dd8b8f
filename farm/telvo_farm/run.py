# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""A farm run from start to end: plan every input's segments, hand the unfinished ones
to the cluster, join each input as soon as its last segment is in, and on any failure
or interrupt leave no output behind (finished segments stay for a rerun)."""

import hashlib
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import uuid
from dataclasses import asdict, dataclass, field

import cloudpickle

from telvo_farm import segment_task
from telvo_farm.carried_streams import carried_streams
from telvo_farm.cluster import check_security, connect
from telvo_farm.command_line import USAGE, given_plan, output_name, parse_arguments, stats_name
from telvo_farm.errors import EXIT_FAILURE, EXIT_OK, EXIT_USAGE, FarmError, UsageError
from telvo_farm.join import check_segments, join_stats, join_video
from telvo_farm.notes import SegmentNotes
from telvo_farm.output_place import (ResultLock, check_name_length, check_writable_place,
                                     follow_links, keep_mode)
from telvo_farm.plan import plan_segments
from telvo_farm.probe import timeline_of
from telvo_farm.progress import Progress
from telvo_farm.segment_task import SegmentSpec, run_segment, telvo_command

_POLL_SECONDS = 0.1

# Workers need nothing of ours: the task's module travels with it.
cloudpickle.register_pickle_by_value(segment_task)


@dataclass
class InputJob:
    number: int
    input: str
    output: str  # "" when the frames are discarded
    stats: str
    timeline: object
    segments: list
    range_start: int
    copies_other_streams: bool
    carried: list = field(default_factory=list)  # CarriedStream: audio, subtitles
    video_ext: str = ""  # of the segment files; "" when the frames are discarded
    workdir: object = None  # None: nothing to keep (-f null without --stats)
    lock: object = None  # held while the job runs
    inspected: dict = field(default_factory=dict)  # segment index -> (settings, frames)
    notes: object = None  # SegmentNotes
    finished: set = field(default_factory=set)
    joined: bool = False

    def __post_init__(self):
        if self.notes is None:
            self.notes = SegmentNotes(self.label, show_input_messages=True)

    @property
    def label(self):
        return f"'{self.input}'"

    @property
    def frames(self):
        return sum(s.frames for s in self.segments)


def _plan_digest(options):
    """The digest of telvo's --plan file among `options`, or ""."""
    path = given_plan(options)
    if not path:
        return ""
    try:
        with open(path, "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()
    except OSError as e:
        raise FarmError(f"cannot read the plan '{path}': {e.strerror}") from None


def check_with_telvo(o, command):
    """Asks telvo whether it takes `command` (telvo --check-options: values, options
    that exclude each other), before any cluster starts: on the workers a refusal
    would come as a segment failure. A telvo too old to check is not asked."""
    listing = o.listing
    try:
        if listing is None or not listing.answers("--check-options"):
            return
    except FarmError:
        return  # no telvo runs here; the workers will say what is wrong
    done = subprocess.run([listing.telvo, *command[1:], "--check-options"], capture_output=True,
                          text=True, timeout=60, stdin=subprocess.DEVNULL, check=False)
    if done.returncode == EXIT_USAGE:
        told = done.stderr.strip().splitlines()
        raise UsageError(told[-1].removeprefix("telvo: ") if told else "telvo refuses the options")


def _check_segment_command(o, job):
    segment = job.segments[0]
    check_with_telvo(o, telvo_command(o.telvo, job.input, job.output, job.stats,
                                      o.telvo_options, segment.start, segment.frames, o.measure))


def _manifest(o, job, video_ext):
    status = os.stat(job.input)
    manifest = {
        "input": job.input,
        "input_size": status.st_size,
        "input_mtime_ns": status.st_mtime_ns,
        "telvo_options": o.telvo_options,
        "start": o.start,
        "frames": o.frames,
        "segment_frames": o.segment_frames,
        "video_ext": video_ext,
        "stats_ext": os.path.splitext(job.stats)[1],
    }
    digest = _plan_digest(o.telvo_options)
    if digest:  # a second pass: an edited plan starts it afresh
        manifest["plan_digest"] = digest
    return manifest


def _plan_input(o, number, path, note):
    """A job from what the input and the names tell; nothing is written yet."""
    path = os.path.abspath(path)
    if not os.access(path, os.R_OK):
        raise FarmError(f"cannot read '{path}'")
    # Several results go into a folder that may not exist yet; one goes where telvo
    # would put it, and its name is checked as given, as telvo names it. A symbolic
    # link leads to the file it names, which is replaced in its own folder, where the
    # lock and the work folder go too (the command line has checked every name against
    # the inputs).
    check_place = check_name_length if o.several else check_writable_place
    output = ""
    if not o.discard:
        given = os.path.join(o.output, output_name(o, path)) if o.several else o.output
        output = follow_links(given)
        check_place(output, given if not os.path.islink(given) else output)
    stats = stats_name(o, path)
    if stats:
        given, stats = stats, follow_links(stats)
        check_place(stats, given if not os.path.islink(given) else stats)
    timeline = timeline_of(path)
    if o.start >= timeline.frames:
        raise FarmError(f"--start {o.start} is past the end: '{path}' has {timeline.frames} frames")
    segments = plan_segments(timeline.frames, o.segment_frames, o.start, o.frames)
    job = InputJob(number, path, output, stats, timeline, segments, o.start,
                   copies_other_streams=o.start == 0 and o.frames is None)
    # As telvo's -q hides FFmpeg's input messages, the farm's does.
    job.notes = SegmentNotes(job.label, show_input_messages=not o.quiet)
    if output and job.copies_other_streams:
        job.carried = carried_streams(path, output, o.format,
                                      lambda line: note(f"telvo-farm: {job.label}: {line}"))
    # Without an extension -f names the container (telvo is given it for each segment).
    job.video_ext = "" if o.discard else (os.path.splitext(output)[1] or f".{o.format}")
    return job


def _open_work(o, job, progress_note):
    """Takes the result's lock and its work folder, with what is already finished."""
    from telvo_farm.workdir import WorkDir

    if not (job.output or job.stats):
        return
    # Messages name the result as the command line gave it.
    shown = (job.output if o.several else o.output) if job.output else job.stats
    lock = ResultLock(job.output or job.stats, shown)
    unlocked = lock.acquire()
    job.lock = lock
    if unlocked:
        progress_note(f"telvo-farm: note: {unlocked}")
    job.workdir = WorkDir(job.output or job.stats, job.video_ext, os.path.splitext(job.stats)[1])
    job.inspected, note = job.workdir.open(_manifest(o, job, job.video_ext), job.segments)
    job.finished = set(job.inspected)
    if note:
        progress_note(f"telvo-farm: {job.label}: {note}")


def _spec(o, job, segment, topic):
    return SegmentSpec(
        label=f"{job.label} {segment.describe()}",
        key=(job.number, segment.index),
        telvo=o.telvo,
        input=job.input,
        video=job.workdir.video(segment) if job.workdir else "",
        stats=job.workdir.stats(segment) if job.workdir else "",
        start=segment.start,
        frames=segment.frames,
        options=tuple(o.telvo_options),
        topic=topic,
        measure=o.measure,
    )


def _failure_text(job, segment, future):
    error = future.exception()
    name = type(error).__name__
    if name == "KilledWorker":
        last = getattr(error.args[1], "address", error.args[1]) if len(error.args) > 1 else "?"
        return (f"{job.label}: {segment.describe()}: its workers kept dying "
                f"(last one {last}); giving up")
    return f"{job.label}: {segment.describe()} failed: {name}: {error}"


def _join(o, job, messages):
    began = time.monotonic()
    made = []
    try:
        if job.output:
            settings = check_segments(job, job.inspected)
            made.append((join_video(job, o, settings["disposition"]), job.output))
        if job.stats:
            made.append((join_stats(job), job.stats))
        for temporary, final in made:
            keep_mode(final, temporary)
            os.replace(temporary, final)
    except BaseException:
        for temporary, _ in made:
            if os.path.exists(temporary):
                os.remove(temporary)
        raise
    job.joined = True
    job.workdir.remove()
    if not o.quiet:
        where = job.output or job.stats
        done = "measured" if o.measure else f"written to {where}"
        messages(f"telvo-farm: {job.frames} frames {done}")
    return time.monotonic() - began


class _Timing:
    """Sums the segments' --timing lines: wall, decode, to RGB, filter, encode."""

    def __init__(self):
        self.sums = [0.0] * 5
        self.join = 0.0

    def add(self, lines):
        for line in lines:
            values = [float(v) for v in re.findall(r"(\d+(?:\.\d+)?) s\b", line)]
            if len(values) == 5:
                self.sums = [a + b for a, b in zip(self.sums, values)]

    def text(self, wall):
        wall_sum, decode, rgb, filtering, encode = self.sums
        return (f"telvo-farm: timing: wall {wall:.3f} s; segments together: wall {wall_sum:.3f} s, "
                f"busy decode {decode:.3f} s, to RGB {rgb:.3f} s, filter {filtering:.3f} s, "
                f"from RGB + encode + write {encode:.3f} s; joining {self.join:.3f} s")


class _Execution:
    """Hands the unfinished segments to the cluster and takes their results in."""

    def __init__(self, o, jobs, client, progress):
        self.o, self.jobs, self.client, self.progress = o, jobs, client, progress
        self.topic = f"telvo-farm-{uuid.uuid4().hex}"
        self.partial = {}  # (input, segment) -> frames done so far, reported by workers
        self.done = {(j.number, s.index) for j in jobs for s in j.segments if s.index in j.finished}
        self.done_frames = sum(s.frames for j in jobs for s in j.segments if s.index in j.finished)
        self.timing = _Timing()
        self.summary_shown = o.quiet

    def _on_event(self, event):
        key, frames = event[1]
        if tuple(key) not in self.done:  # a late report of a finished segment
            self.partial[tuple(key)] = frames

    def _frames(self):
        return self.done_frames + sum(self.partial.values())

    def run(self):
        self.client.subscribe_topic(self.topic, self._on_event)
        pending = {}
        for job in self.jobs:
            for segment in job.segments:
                if segment.index not in job.finished:
                    spec = asdict(_spec(self.o, job, segment, self.topic))
                    key = f"{self.topic}-{job.number}-{segment.index}"
                    # Earlier segments first, so that the first inputs finish first.
                    future = self.client.submit(run_segment, spec, key=key, pure=False,
                                                priority=-len(pending))
                    pending[future] = (job, segment)
        for job in self.jobs:
            if len(job.finished) == len(job.segments):  # all found done: only the join is left
                self._complete(job)
        while pending:
            for future in [f for f in pending if f.done()]:
                self._take(future, *pending.pop(future))
            self.progress.update(self._frames())
            time.sleep(_POLL_SECONDS)
        self.client.unsubscribe_topic(self.topic)
        return self.timing

    def _take(self, future, job, segment):
        if future.status == "error":
            raise FarmError(_failure_text(job, segment, future))
        if future.status != "finished":
            raise FarmError(f"{job.label}: {segment.describe()}: lost ({future.status}); "
                            "is the scheduler still running?")
        result = future.result()
        if not result["ok"]:
            raise FarmError(f"{job.label}: {segment.describe()} failed on worker "
                            f"{result['worker']}: {result['message']}", result["exit"])
        if job.workdir:
            job.workdir.record(segment, result["digests"])
        self.done.add((job.number, segment.index))
        self.partial.pop((job.number, segment.index), None)
        self.done_frames += segment.frames
        job.finished.add(segment.index)
        if not self.summary_shown and result["summary"]:
            for line in result["summary"]:
                self.progress.message(line)
            self.summary_shown = True
        for line in job.notes.add(segment, result["notes"]):
            self.progress.message(line)
        self.timing.add(result["timing"])
        if self.o.verbose:
            self.progress.message(f"telvo-farm: {job.label} {segment.describe()} done on "
                                  f"{result['worker']}")
        self.progress.update(self._frames(), force=not self.progress.terminal)
        if len(job.finished) == len(job.segments):
            self._complete(job)

    def _complete(self, job):
        self.progress.update(self._frames(), force=True)
        for line in job.notes.input_summary():
            self.progress.message(line)
        if job.workdir:
            self.timing.join += _join(self.o, job, self.progress.message)
        elif not self.o.quiet:
            self.progress.message(f"telvo-farm: {job.frames} frames of {job.label} filtered")


def _close(client, cluster):
    # Closing the local cluster ends its workers, and with them any telvo still running.
    for closable in (client, cluster):
        if closable is not None:
            try:
                closable.close()
            except Exception:  # shutting down regardless
                pass


def _interrupt(signum, frame):
    raise KeyboardInterrupt


def _make_output_folder(o):
    """The folder of several results; True when this run made it. Its parent must
    exist, as a file's folder must for telvo."""
    if not o.several or o.discard or os.path.isdir(o.output):
        return False
    try:
        os.mkdir(o.output)
    except OSError as e:
        raise FarmError(f"cannot make the folder '{o.output}': {e.strerror}") from None
    return True


def _clean_up(o, jobs, made_folder):
    for job in jobs:
        if job.workdir and not job.joined:
            job.workdir.sweep()
            if job.workdir.finished_segments() == 0:
                job.workdir.remove()
        if job.lock:
            job.lock.release()
    if made_folder:
        try:
            os.rmdir(o.output)  # only if nothing came of it
        except OSError:
            pass


def run(o):
    for tool in ("ffprobe", "ffmpeg"):
        if shutil.which(tool) is None:
            raise FarmError(f"{tool} is not installed on this machine; the client needs it")
    check_security(o)
    if o.several and not o.discard:
        check_writable_place(o.output)
    # Every input is planned and every name checked before anything is written.
    notes = []
    jobs = [_plan_input(o, n, path, notes.append) for n, path in enumerate(o.inputs)]
    _check_segment_command(o, jobs[0])
    made_folder = False
    client = cluster = progress = None
    try:
        made_folder = _make_output_folder(o)
        for job in jobs:
            _open_work(o, job, notes.append)
        total = sum(job.frames for job in jobs)
        done = sum(s.frames for j in jobs for s in j.segments if s.index in j.finished)
        progress = Progress(total, done, not o.quiet)
        for note in notes:
            progress.message(note)
        began = time.monotonic()
        client, cluster = connect(o)
        progress.restart_clock()
        timing = _Execution(o, jobs, client, progress).run()
        progress.finish()
        if o.timing:
            progress.message(timing.text(time.monotonic() - began))
        return EXIT_OK
    except BaseException:
        if progress:
            progress.finish()
            # What the finished segments found in the input may explain the failure.
            for job in jobs:
                for line in job.notes.input_summary():
                    progress.message(line)
        raise
    finally:
        _close(client, cluster)
        _clean_up(o, jobs, made_folder)


def main(argv, program, version):
    signal.signal(signal.SIGTERM, _interrupt)
    try:
        o = parse_arguments(argv, program)
        if o.help:
            sys.stdout.write(USAGE)
            return EXIT_OK
        if o.version:
            print(f"telvo-farm {version}")
            return EXIT_OK
        if not o.telvo:
            o.telvo = os.path.join(os.path.dirname(os.path.abspath(program)), "telvo")
        o.telvo = os.path.abspath(o.telvo)
        if o.two_pass:
            from telvo_farm.two_pass import run_two_pass

            return run_two_pass(o, run, program)
        return run(o)
    except FarmError as e:
        print(f"telvo-farm: {e}", file=sys.stderr)
        return e.code
    except KeyboardInterrupt:
        print("telvo-farm: interrupted; finished segments are kept, and the same command "
              "resumes the job", file=sys.stderr)
        return EXIT_FAILURE
