# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""telvo-farm --two-pass: the first pass measures segments on the cluster (telvo
--analyse over each range, its pre-roll covering what the cut detector looks back at)
and joins their measurements; this machine plans with telvo --plan-from, the one
planner; the second pass corrects segments on the cluster with telvo --plan, which
needs no pre-roll. Each pass is an ordinary farm run, so resuming and the faults it
handles hold for both; the joined measurements are kept until the result is in, so a
rerun after an interrupted second pass does not measure again."""

import hashlib
import json
import os
import subprocess
from dataclasses import replace

from telvo_farm.errors import EXIT_OK, FarmError
from telvo_farm.workdir import MEASURES_EXT

# telvo's output options: the first pass writes no video.
_VIDEO_OPTIONS = {"-f", "--format", "--codec", "--crf"}
_VIDEO_FLAGS = {"--lossless", "--histogram", "--disable", "--timing"}


def plan_path(output):
    return os.path.splitext(os.path.abspath(output))[0] + ".plan.csv"


def _first_pass_options(options):
    kept, i = [], 0
    while i < len(options):
        name = options[i].split("=", 1)[0]
        takes_value = name in _VIDEO_OPTIONS and "=" not in options[i]
        if name not in _VIDEO_OPTIONS and name not in _VIDEO_FLAGS:
            kept.append(options[i])
        i += 2 if takes_value else 1
    return kept


def _planning(options):
    planning = "scene"
    for i, option in enumerate(options):
        if option == "--planning" and i + 1 < len(options):
            planning = options[i + 1]
        elif option.startswith("--planning="):
            planning = option.split("=", 1)[1]
    return planning


def _measures_path(o, options):
    """Named after everything the measurements depend on: a rerun with the same input
    and settings finds them."""
    status = os.stat(o.inputs[0])
    key = json.dumps([os.path.abspath(o.inputs[0]), status.st_size, status.st_mtime_ns,
                      options], sort_keys=True)
    digest = hashlib.sha256(key.encode()).hexdigest()[:12]
    folder, name = os.path.split(os.path.abspath(o.output))
    return os.path.join(folder, f".{name}.{digest}{MEASURES_EXT}")


def _client_telvo(o, program):
    here = os.path.join(os.path.dirname(os.path.abspath(program)), "telvo") if program else ""
    for telvo in (o.telvo, here):
        if telvo and os.access(telvo, os.X_OK):
            return telvo
    raise FarmError(f"no telvo at '{o.telvo}' runs on this machine to plan with")


def run_two_pass(o, run, program):
    options = _first_pass_options(o.telvo_options)
    measures = _measures_path(o, options)
    if not os.path.exists(measures):
        first = replace(o, output="-", format="null", stats=measures, measure=True, start=0,
                        frames=None, telvo_options=options, two_pass=False)
        code = run(first)
        if code != EXIT_OK:
            return code
    plan = plan_path(o.output)
    done = subprocess.run([_client_telvo(o, program), "--plan-from", measures, "--analyse", plan,
                           "--planning", _planning(o.telvo_options)],
                          capture_output=True, text=True, check=False, stdin=subprocess.DEVNULL)
    if done.returncode != 0:
        raise FarmError(f"planning failed: {done.stderr.strip() or done.returncode}",
                        done.returncode)
    second = replace(o, telvo_options=[*o.telvo_options, "--plan", plan], two_pass=False)
    code = run(second)
    if code == EXIT_OK:
        os.remove(measures)
    return code
