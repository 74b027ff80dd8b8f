# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""Faults: a worker killed mid-segment, an interrupted job that resumes, a telvo that
fails, a scheduler nobody runs. Each ends with nothing lost, duplicated or left."""

import os
import signal
import socket
import subprocess

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
    # One worker takes the segments in order: two are done when the third is held.
    job = subprocess.Popen(command, env=stand_in_env(tmp_path, hold=2 * SEGMENT),
                           stderr=subprocess.PIPE, text=True, start_new_session=True)
    wait_for(tmp_path / "held", job)
    held = int((tmp_path / "held").read_text().split()[0])
    second = run(command, env=stand_in_env(tmp_path))
    assert second.returncode == 1, second.stderr
    assert f"another telvo-farm is writing {output}" in second.stderr
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
    done = run(command, env=stand_in_env(tmp_path))
    assert done.returncode == 0, done.stderr
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
