# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""Fixtures for the farm's tests: the built programs, small generated clips, a stand-in
telvo that can hold or fail a chosen segment, and a loopback Dask cluster."""

import glob
import os
import signal
import subprocess
import sys
import time

import pytest

FARM_DIR = os.path.join(os.path.dirname(__file__), "..", "..", "farm")
sys.path.insert(0, os.path.abspath(FARM_DIR))

FPS = 25
TIMEOUT = 120  # seconds; no test waits longer on one program


def _built(name):
    build = os.environ.get("TELVO_BUILD_DIR", "")
    found = sorted(p for p in glob.glob(os.path.join(build, "**", name), recursive=True)
                   if os.path.isfile(p) and os.access(p, os.X_OK)) if build else []
    if not found:
        pytest.exit(f"set TELVO_BUILD_DIR to a build tree holding {name}", returncode=4)
    return os.path.abspath(found[0])


@pytest.fixture(scope="session")
def telvo():
    return _built("telvo")


@pytest.fixture(scope="session")
def farm():
    return _built("telvo-farm")


def ffmpeg(*arguments):
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", *arguments], check=True,
                   timeout=TIMEOUT)


@pytest.fixture(scope="session")
def clips(tmp_path_factory):
    """Three seconds of 160x90: H.264 with AAC audio, an MPEG-TS copy (its clock starts
    at 1.4 s), a variable-frame-rate Matroska file, a DVD-like MPEG program stream, an
    MP4 cut by stream copy, lossless scenes with hard cuts and flashes, and 10-bit 4:2:2
    FFV1."""
    folder = tmp_path_factory.mktemp("clips")
    made = {name: str(folder / name)
            for name in ("av.mp4", "av.ts", "vfr.mkv", "bf.mpg", "cut.mp4", "cuts.mkv",
                         "ten.mkv")}
    source = f"testsrc2=size=160x90:rate={FPS}:duration=3"
    ffmpeg("-f", "lavfi", "-i", source, "-f", "lavfi", "-i", "sine=frequency=440:duration=3",
           "-c:v", "libx264", "-g", "20", "-pix_fmt", "yuv420p", "-c:a", "aac",
           "-metadata", "title=clip", "-shortest", made["av.mp4"])
    ffmpeg("-i", made["av.mp4"], "-c", "copy", made["av.ts"])
    # Gaps of 13 ms and half a second before frames 32 and 48: segment boundaries must
    # follow the real clock.
    ffmpeg("-f", "lavfi", "-i", source, "-vf",
           "setpts='N/25/TB+if(gte(N,32),0.013/TB,0)+if(gte(N,48),0.5/TB,0)'",
           "-fps_mode", "passthrough", "-c:v", "libx264", "-g", "20", made["vfr.mkv"])
    # B-frames in MPEG-PS: several small frames share a PES packet, and packets after the
    # first in it carry no presentation time.
    ffmpeg("-f", "lavfi", "-i", source, "-c:v", "mpeg2video", "-bf", "2", "-g", "15",
           made["bf.mpg"])
    # A cut between keyframes keeps the packets from the keyframe before it, marked to be
    # decoded but not shown (an edit list): they are no frames.
    ffmpeg("-ss", "1.3", "-i", made["av.mp4"], "-c", "copy", made["cut.mp4"])
    flags = run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                 "packet=flags", "-of", "csv=p=0", made["cut.mp4"]]).stdout.split()
    assert any("D" in f for f in flags) and not all("D" in f for f in flags), flags
    # Cuts at 20 and 45 (a differently cast scene each), a one-frame flash at 33 and a
    # two-frame one at 58: each a few frames before a boundary of 12-frame segments.
    flash = "eq(N,33)+eq(N,58)+eq(N,59)"
    cast = {"r": ("0.55*r(X,Y)", "r(X,Y)+30"), "g": ("0.8*g(X,Y)", "0.9*g(X,Y)"),
            "b": ("b(X,Y)+40", "0.6*b(X,Y)")}
    geq = ":".join(
        f"{c}='clip(if({flash},90+1.5*{c}(X,Y),if(between(N,20,44),{b},"
        f"if(gte(N,45),{cc},{c}(X,Y)))),0,255)'" for c, (b, cc) in cast.items())
    ffmpeg("-f", "lavfi", "-i", source, "-vf", f"format=gbrp,geq={geq}", "-c:v", "ffv1",
           made["cuts.mkv"])
    ffmpeg("-f", "lavfi", "-i", source, "-c:v", "ffv1", "-pix_fmt", "yuv422p10le", made["ten.mkv"])
    return made


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=TIMEOUT, **kwargs)


def frame_hashes(path):
    done = run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:v", "-f",
                "framemd5", "-"])
    return [line.split(",")[-1] for line in done.stdout.splitlines() if not line.startswith("#")]


def stream_facts(path):
    """Per stream: codec, frame rate, every packet's timestamps (in presentation order
    for video) and its decode times in order (a segment's encoder may order its frames
    differently, so those are compared as a sequence, not per packet)."""
    import json

    done = run(["ffprobe", "-v", "error", "-show_entries",
                "stream=index,codec_type,codec_name,r_frame_rate,avg_frame_rate,time_base:"
                "packet=stream_index,pts,dts,duration", "-of", "json", path])
    info = json.loads(done.stdout)
    facts = []
    for stream in info["streams"]:
        packets = [p for p in info["packets"] if p["stream_index"] == stream["index"]]
        stamps = [(p.get("pts"), p.get("duration")) for p in packets]
        facts.append((stream, sorted(stamps, key=lambda s: s[0] or 0),
                      [p.get("dts") for p in packets]))
    return facts


@pytest.fixture
def stand_in(tmp_path, telvo):
    """A telvo that logs every segment start, holds the first attempt of the segment
    starting at $STAND_IN_HOLD until the file 'release' appears (several starts, comma
    separated: each held, marked 'held-START'), fails the one at $STAND_IN_FAIL and dies
    by SIGKILL at $STAND_IN_KILL."""
    path = tmp_path / "telvo-stand-in"
    path.write_text(f"""#!/usr/bin/python3
import os, sys, time
if "--start" not in sys.argv or "--check-options" in sys.argv:  # --list-options and the like
    os.execv({telvo!r}, [{telvo!r}] + sys.argv[1:])
start = sys.argv[sys.argv.index("--start") + 1]
folder = os.environ["STAND_IN_DIR"]
with open(os.path.join(folder, "log"), "a") as log:
    log.write(start + "\\n")
holds = os.environ.get("STAND_IN_HOLD", "").split(",")
marker = os.path.join(folder, "held" if len(holds) == 1 else "held-" + start)
if start in holds and not os.path.exists(os.path.join(folder, "release")) \
        and not os.path.exists(marker):  # the first attempt only
    with open(marker + ".tmp", "w") as held:
        held.write(f"{{os.getpid()}} {{os.getppid()}}")
    os.rename(marker + ".tmp", marker)
    for _ in range(1200):
        if os.path.exists(os.path.join(folder, "release")):
            break
        time.sleep(0.05)
if start == os.environ.get("STAND_IN_FAIL"):
    sys.exit("telvo: simulated failure")
if start == os.environ.get("STAND_IN_KILL"):
    os.kill(os.getpid(), 9)
os.execv({telvo!r}, [{telvo!r}] + sys.argv[1:])
""")
    path.chmod(0o755)
    return path


def stand_in_env(folder, hold=None, fail=None, kill=None):
    env = dict(os.environ, STAND_IN_DIR=str(folder))
    for name, start in (("HOLD", hold), ("FAIL", fail), ("KILL", kill)):
        env.pop(f"STAND_IN_{name}", None)
        if start is not None:
            env[f"STAND_IN_{name}"] = ",".join(map(str, start)) if isinstance(start, tuple) \
                else str(start)
    return env


def logged_starts(folder):
    path = os.path.join(folder, "log")
    return [int(s) for s in open(path).read().split()] if os.path.exists(path) else []


def wait_for(path, process=None, seconds=60):
    """Waits for a file that `process` (when given) is to make before it ends."""
    deadline = time.monotonic() + seconds
    while not os.path.exists(path):
        if process is not None and process.poll() is not None:
            raise AssertionError(f"ended before {path} appeared: {process.communicate()}")
        if time.monotonic() > deadline:
            raise AssertionError(f"{path} did not appear within {seconds} s")
        time.sleep(0.05)


def gone(pid, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return True
        time.sleep(0.05)
    return False


class Cluster:
    """`dask scheduler` and workers as separate processes on 127.0.0.1, as on a real
    cluster; no nanny, so a killed worker stays dead."""

    def __init__(self, folder, workers, env):
        self.file = str(folder / "scheduler.json")
        self.processes = []
        python = "/usr/bin/python3"
        common = dict(env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                      start_new_session=True)
        self.processes.append(subprocess.Popen(
            [python, "-m", "distributed.cli.dask_scheduler", "--host", "127.0.0.1", "--port",
             "0", "--dashboard-address", "127.0.0.1:0", "--scheduler-file", self.file],
            **common))
        wait_for(self.file)
        for _ in range(workers):
            self.processes.append(subprocess.Popen(
                [python, "-m", "distributed.cli.dask_worker", "--scheduler-file", self.file,
                 "--host", "127.0.0.1", "--nthreads", "1", "--no-nanny",
                 "--dashboard-address", "127.0.0.1:0"], **common))
        self.address = self._wait_for_workers(workers)

    def _wait_for_workers(self, count):
        from distributed import Client

        with Client(scheduler_file=self.file, timeout=30) as client:
            client.wait_for_workers(count, timeout=60)
            return client.scheduler.address

    def close(self):
        for process in reversed(self.processes):
            try:
                os.killpg(process.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        for process in self.processes:
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()


@pytest.fixture
def cluster_of_two(tmp_path):
    clusters = []

    def start(env):
        clusters.append(Cluster(tmp_path, 2, env))
        return clusters[-1]

    yield start
    for c in clusters:
        c.close()
