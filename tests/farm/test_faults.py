# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""Faults: a worker killed mid-segment, an interrupted job that resumes, a telvo that
fails, a scheduler nobody runs. Each ends with nothing lost, duplicated or left."""

import json
import os
import signal
import socket
import subprocess

import pytest
from conftest import (TIMEOUT, frame_hashes, gone, logged_starts, run, stand_in_env, wait_for)

SEGMENT = 15  # frames; the 75-frame clips make five segments


def leftovers(folder, *expected):
    return sorted(set(os.listdir(folder)) - set(expected))


def test_killed_worker_segment_runs_again(clips, telvo, farm, stand_in, cluster_of_two, tmp_path):
    env = stand_in_env(tmp_path, hold=SEGMENT)
    cluster = cluster_of_two(env)
    output = tmp_path / "out" / "farmed.mkv"
    output.parent.mkdir()
    job = subprocess.Popen([farm, clips["av.mp4"], str(output), "--lossless", "--scheduler",
                            cluster.address, "--telvo", str(stand_in), "--segment-frames",
                            str(SEGMENT)], env=env, stderr=subprocess.PIPE, text=True)
    wait_for(tmp_path / "held", job)
    held, worker = map(int, (tmp_path / "held").read_text().split())
    os.kill(worker, signal.SIGKILL)
    assert gone(held), "the killed worker's telvo runs on"
    (tmp_path / "release").touch()  # the second attempt may go on
    _, errors = job.communicate(timeout=TIMEOUT)

    assert job.returncode == 0, errors
    assert logged_starts(tmp_path).count(SEGMENT) == 2
    single = tmp_path / "single.mkv"
    assert run([telvo, clips["av.mp4"], str(single), "--lossless", "-q"]).returncode == 0
    assert frame_hashes(str(output)) == frame_hashes(str(single))
    assert leftovers(output.parent, "farmed.mkv") == []


def test_interrupted_job_resumes(clips, telvo, farm, stand_in, tmp_path):
    output = tmp_path / "out" / "farmed.mkv"
    output.parent.mkdir()
    command = [farm, clips["av.mp4"], str(output), "--lossless", "--workers", "1", "--telvo",
               str(stand_in), "--segment-frames", str(SEGMENT), "--stats", str(output) + ".csv"]
    # One worker takes the segments in order: two are done when the third is held. Started
    # as from a terminal: a test run in the background inherits an ignored SIGINT, which the
    # job would rightly keep ignoring.
    job = subprocess.Popen(command, env=stand_in_env(tmp_path, hold=2 * SEGMENT),
                           stderr=subprocess.PIPE, text=True, start_new_session=True,
                           preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    wait_for(tmp_path / "held", job)
    held = int((tmp_path / "held").read_text().split()[0])
    # The same result through a symbolic link (relative to its own folder, its target
    # not made yet): the lock is on the name the link leads to.
    link = tmp_path / "link.mkv"
    link.symlink_to("out/farmed.mkv")
    through_link = [str(link) if word == str(output) else word for word in command]
    second = run(through_link, env=stand_in_env(tmp_path))
    assert second.returncode == 1, second.stderr
    assert f"another telvo-farm is writing {link}" in second.stderr
    os.killpg(job.pid, signal.SIGINT)  # Ctrl-C reaches the whole process group
    _, errors = job.communicate(timeout=TIMEOUT)

    assert job.returncode == 1 and "interrupted" in errors
    assert gone(held)
    assert leftovers(output.parent) == [".farmed.mkv.farm"], "no OUTPUT after an interrupt"
    kept = output.parent / ".farmed.mkv.farm"
    assert sorted(n for n in os.listdir(kept) if n.startswith("seg-")) == \
        ["seg-000000.csv", "seg-000000.mkv", "seg-000001.csv", "seg-000001.mkv"]

    # A crash while segment 1's stats were being written: its last record is cut short
    # by a few bytes, the video is complete. That segment is made again.
    cut = kept / "seg-000001.csv"
    cut.write_bytes(cut.read_bytes()[:-5])
    os.remove(tmp_path / "log")
    done = run(through_link, env=stand_in_env(tmp_path))
    assert done.returncode == 0, done.stderr
    assert link.is_symlink() and output.is_file(), "the link stays and leads to the result"
    assert "resuming: 1 of 5 segments already done" in done.stderr
    assert logged_starts(tmp_path) == [SEGMENT, 2 * SEGMENT, 3 * SEGMENT, 4 * SEGMENT]
    single = tmp_path / "single.mkv"
    assert run([telvo, clips["av.mp4"], str(single), "--lossless", "-q", "--stats",
                str(single) + ".csv"]).returncode == 0
    assert frame_hashes(str(output)) == frame_hashes(str(single))
    assert (tmp_path / "out" / "farmed.mkv.csv").read_bytes() == \
        (tmp_path / "single.mkv.csv").read_bytes()
    assert leftovers(output.parent, "farmed.mkv", "farmed.mkv.csv") == []


def _closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def test_failures_name_the_segment_and_leave_no_output(clips, farm, stand_in, tmp_path):
    cases = [
        # (farm options, environment, exit code, words the message must hold)
        (["--telvo", str(stand_in)], stand_in_env(tmp_path, fail=SEGMENT), 1,
         ["segment 1 (frames 15..29)", "on worker tcp://127.0.0.1:", "simulated failure"]),
        # A telvo killed by a signal: exit 1 (not 128 + its number), also where the
        # segment leaves no file behind whose absence would tell.
        (["--telvo", str(stand_in)], stand_in_env(tmp_path, kill=SEGMENT), 1,
         ["segment 1 (frames 15..29)", "signal SIGKILL"]),
        (["--telvo", str(stand_in), "-f", "null"], stand_in_env(tmp_path, kill=SEGMENT), 1,
         ["segment 1 (frames 15..29)", "signal SIGKILL"]),
        (["--codec", "no-such-codec"], None, 2,
         ["segment 0 (frames 0..14)", "on worker", "unknown video codec"]),
        (["--telvo", str(tmp_path / "missing")], None, 1, ["no telvo at", "--telvo"]),
        (["--scheduler", f"tcp://127.0.0.1:{_closed_port()}", "--connect-timeout", "2"], None,
         1, ["cannot reach the scheduler at tcp://127.0.0.1:"]),
    ]
    for options, env, code, words in cases:
        folder = tmp_path / "out"
        folder.mkdir()
        output = "-" if "null" in options else str(folder / "x.mp4")
        done = run([farm, clips["av.mp4"], output, "--segment-frames",
                    str(SEGMENT), "--workers" if "--scheduler" not in options else "--quiet",
                    *(["1"] if "--scheduler" not in options else []), *options], env=env)
        assert done.returncode == code, (options, done.stderr)
        message = done.stderr.strip().splitlines()[-1]
        assert all(w in message for w in words), message
        assert leftovers(folder, ".x.mp4.farm") == [], options
        for name in os.listdir(folder):  # only finished segments may stay
            assert all(n.startswith(("seg-", "manifest")) and ".att-" not in n
                       for n in os.listdir(folder / name))
        subprocess.run(["rm", "-rf", str(folder)])


class Hosts:
    """Three machines as network namespaces: the scheduler's, where the client runs too,
    joined to each worker's by a veth pair of its own (10.231.N.1 and 10.231.N.2). The
    file system stays shared, as storage every machine mounts."""

    def __init__(self):
        self.namespaces = {}

    def make(self):
        tag = f"tvf{os.getpid()}"
        for role in ("s", "a", "b"):
            self.ip("netns", "add", f"{tag}{role}")
            self.namespaces[role] = f"{tag}{role}"
            self.ip("-n", self.namespaces[role], "link", "set", "lo", "up")
        for number, role in enumerate(("a", "b"), start=1):
            s, w = self.namespaces["s"], self.namespaces[role]
            self.ip("-n", s, "link", "add", f"to-{role}", "type", "veth", "peer", "name", "up0",
                    "netns", w)
            self.ip("-n", s, "addr", "add", f"10.231.{number}.1/24", "dev", f"to-{role}")
            self.ip("-n", w, "addr", "add", f"10.231.{number}.2/24", "dev", "up0")
            self.ip("-n", s, "link", "set", f"to-{role}", "up")
            self.ip("-n", w, "link", "set", "up0", "up")
            self.ip("-n", w, "route", "add", "default", "via", f"10.231.{number}.1")
        # The scheduler's own address, on no link that the test cuts.
        self.ip("-n", self.namespaces["s"], "addr", "add", "10.231.0.1/32", "dev", "lo")

    @staticmethod
    def ip(*arguments):
        subprocess.run(["ip", *arguments], check=True, capture_output=True, timeout=20)

    def on(self, role, command):
        return ["ip", "netns", "exec", self.namespaces[role], *command]

    def close(self):
        for name in self.namespaces.values():
            subprocess.run(["ip", "netns", "del", name], capture_output=True, timeout=20)


def test_farm_across_hosts_survives_a_lost_link_and_a_killed_worker(clips, telvo, farm, stand_in,
                                                                     tmp_path):
    """Workers on two other hosts, TLS on. Mid-run one host's link goes down (its telvo
    holds on, unreachable) and the other's worker process is killed; a worker started
    again on that host finishes the job, equal to one telvo run, with nothing left."""
    from test_security import make_certificates

    tls = make_certificates(tmp_path)
    hosts = Hosts()
    try:
        hosts.make()
    except (OSError, subprocess.CalledProcessError) as e:
        hosts.close()
        pytest.skip(f"network namespaces cannot be made here (needs root and iproute2): {e}")
    env = dict(stand_in_env(tmp_path, hold=(0, SEGMENT)),
               DASK_DISTRIBUTED__SCHEDULER__WORKER_TTL="4s")
    python, started = "/usr/bin/python3", []
    common = dict(env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                  start_new_session=True)

    def worker(role, number):
        started.append(subprocess.Popen(hosts.on(role, [
            python, "-m", "distributed.cli.dask_worker", address, "--host",
            f"10.231.{number}.2", "--nthreads", "1", "--no-nanny", "--no-dashboard", *tls]),
            **common))
        return started[-1]

    output = tmp_path / "out" / "farmed.mkv"
    output.parent.mkdir()
    try:
        scheduler_file = tmp_path / "scheduler.json"
        started.append(subprocess.Popen(hosts.on("s", [
            python, "-m", "distributed.cli.dask_scheduler", "--protocol", "tls", "--host",
            "10.231.0.1", "--port", "0", "--no-dashboard", "--scheduler-file",
            str(scheduler_file), *tls]), **common))
        wait_for(scheduler_file, started[0])
        address = json.loads(scheduler_file.read_text())["address"]
        on_a, on_b = worker("a", 1), worker("b", 2)
        job = subprocess.Popen(hosts.on("s", [
            farm, clips["av.mp4"], str(output), "--lossless", "--scheduler", address,
            "--telvo", str(stand_in), "--segment-frames", str(SEGMENT), *tls]),
            env=env, stderr=subprocess.PIPE, text=True, start_new_session=True)
        # One held segment on each host: tell them apart by the worker that runs them.
        held = {}
        for start in (0, SEGMENT):
            wait_for(tmp_path / f"held-{start}", job)
            pid, parent = map(int, (tmp_path / f"held-{start}").read_text().split())
            held[parent] = pid
        assert set(held) == {on_a.pid, on_b.pid}, "both hosts run a segment"
        hosts.ip("-n", hosts.namespaces["a"], "link", "set", "up0", "down")
        os.kill(on_b.pid, signal.SIGKILL)
        assert gone(held[on_b.pid]), "the killed worker's telvo runs on"
        worker("b", 2)  # the host's worker started again, as a service manager would
        _, errors = job.communicate(timeout=TIMEOUT)
        assert job.returncode == 0, errors
        single = tmp_path / "single.mkv"
        assert run([telvo, clips["av.mp4"], str(single), "--lossless", "-q"]).returncode == 0
        assert frame_hashes(str(output)) == frame_hashes(str(single))
        assert leftovers(output.parent, "farmed.mkv") == []
        # The cut-off host's telvo ends with its worker.
        os.kill(on_a.pid, signal.SIGKILL)
        assert gone(held[on_a.pid])
    finally:
        for process in reversed(started):
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            process.wait()
        hosts.close()
