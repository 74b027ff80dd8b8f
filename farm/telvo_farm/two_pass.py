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

from telvo_farm.command_line import plan_path
from telvo_farm.errors import EXIT_OK, FarmError
from telvo_farm.run import check_with_telvo
from telvo_farm.segment_task import telvo_command
from telvo_farm.workdir import MEASURES_EXT


def _split_options(o):
    """telvo's options as telvo lists their use (--list-options): those of the first
    pass (not the ones that shape the written video), the planner's, and the second
    pass's (not the planner's)."""
    first, planner, second = [], [], []
    options, i = o.telvo_options, 0
    while i < len(options):
        name = options[i].split("=", 1)[0]
        takes_value = "=" not in options[i] and o.listing.kind(name) in ("text", "integer")
        words = options[i:i + 2] if takes_value else options[i:i + 1]
        use = o.listing.use(name)
        if use != "video":
            first += words
        if use == "planning":
            planner += words
        else:
            second += words
        i += len(words)
    return first, planner, second


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
    first_options, planner_options, second_options = _split_options(o)
    measures = _measures_path(o, first_options)
    plan = plan_path(o.output)
    planning = [_client_telvo(o, program), "--plan-from", measures, "--analyse", plan,
                *planner_options]
    second = replace(o, telvo_options=[*second_options, "--plan", plan], two_pass=False)
    # All three commands are telvo's to judge, before the first pass starts.
    check_with_telvo(o, planning)
    check_with_telvo(o, telvo_command(o.telvo, o.inputs[0], o.output, o.stats,
                                      second.telvo_options, 0, 1, False))
    if not os.path.exists(measures):
        first = replace(o, output="-", format="null", stats=measures, measure=True, start=0,
                        frames=None, telvo_options=first_options, two_pass=False)
        code = run(first)
        if code != EXIT_OK:
            return code
    done = subprocess.run(planning, capture_output=True, text=True, check=False,
                          stdin=subprocess.DEVNULL)
    if done.returncode != 0:
        raise FarmError(f"planning failed: {done.stderr.strip() or done.returncode}",
                        done.returncode)
    code = run(second)
    if code == EXIT_OK:
        os.remove(measures)
    return code
