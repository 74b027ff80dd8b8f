# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""telvo-farm's command line: its own options, and telvo's, which go to every segment."""

import os
import subprocess
import textwrap
from dataclasses import dataclass, field

from telvo_farm.errors import FarmError, UsageError
from telvo_farm.output_place import follow_links, hidden_beside, same_file
from telvo_farm.plan import SHORTEST_SEGMENT

DEFAULT_SEGMENT_FRAMES = 500

SYNOPSIS = "telvo-farm INPUT... OUTPUT [options]"
SUMMARY = "runs telvo on a Dask cluster, segment by segment, and joins the segments"
DESCRIPTION = (
    "Runs telvo over long videos or many files on a Dask cluster, segment by segment, and "
    "joins the segments into the same result a single telvo run gives.",
    "One INPUT: OUTPUT is a file. Several: OUTPUT is a folder, and each result keeps its "
    "input's name (with .mkv for --lossless).",
)
# telvo-farm's own options, (name, argument or None, help): --help and the manual page
# telvo-farm.1 (telvo_farm.man_page) are both made from these rows.
FARM_OPTIONS = (
    ("--scheduler", "ADDRESS", "an existing Dask scheduler, tcp://HOST:PORT or "
     "tls://HOST:PORT; without it a local cluster on 127.0.0.1 runs the job"),
    ("--workers", "N", "workers of the local cluster (default: one per core)"),
    ("--segment-frames", "N", f"frames per segment (default {DEFAULT_SEGMENT_FRAMES}); "
     f"at least {SHORTEST_SEGMENT}, and a shorter rest at the end joins the segment before"),
    ("--telvo", "PATH", "telvo on the workers (default: the telvo next to telvo-farm)"),
    ("--tls-ca-file", "FILE", "TLS: the certificate authority that signed every certificate"),
    ("--tls-cert", "FILE", "TLS: this client's certificate (the local cluster uses it for "
     "the scheduler and workers too)"),
    ("--tls-key", "FILE", "TLS: the key of --tls-cert"),
    ("--connect-timeout", "S", "seconds to wait for the scheduler (default 20)"),
    ("--two-pass", None, "measure every frame on the cluster, plan on this machine "
     "(telvo --planning), then correct on the cluster; the plan is kept as NAME.plan.csv "
     "beside the result"),
    ("-h, --help", None, "print this usage and exit"),
    ("--version", None, "print the version and exit"),
)
TELVO_OPTIONS_TEXT = (
    "Every telvo option (see telvo --help) applies to each segment; --stats is joined in "
    "frame order; --start and --frames choose the frames of the job. --preview and --plot, "
    "which draw one picture, are telvo's alone."
)
EXIT_TEXT = "Exit codes: 0 success, 1 failure, 2 usage error."


def _usage():
    width = 88
    lines = [f"usage: {SYNOPSIS}"]
    for paragraph in DESCRIPTION:
        lines += textwrap.wrap(paragraph, width)
    lines += ["", "Farm options:"]
    for name, argument, text in FARM_OPTIONS:
        label = f"  {name} {argument}" if argument else f"  {name}"
        lines += textwrap.wrap(text, width, initial_indent=label.ljust(24),
                               subsequent_indent=" " * 24)
    lines += [""] + textwrap.wrap(TELVO_OPTIONS_TEXT, width) + ["", EXIT_TEXT]
    return "\n".join(lines) + "\n"


USAGE = _usage()

FARM_VALUE_OPTIONS = {name for name, argument, _ in FARM_OPTIONS if argument}
FARM_FLAGS = {"--two-pass"}
IMAGE_EXTENSIONS = {
    ".png", ".jpg", ".jpeg", ".bmp", ".tif", ".tiff", ".webp", ".ppm", ".pgm", ".tga",
    ".dpx", ".exr",
}
INT32_MAX = 2**31 - 1


@dataclass
class FarmOptions:
    inputs: list = field(default_factory=list)
    output: str = ""
    telvo_options: list = field(default_factory=list)  # passed to every segment
    start: int = 0
    frames: int = None  # None: to the end
    stats: str = ""
    format: str = ""
    lossless: bool = False
    quiet: bool = False
    verbose: bool = False
    timing: bool = False
    scheduler: str = ""
    workers: int = 0  # 0: one per core
    segment_frames: int = DEFAULT_SEGMENT_FRAMES
    telvo: str = ""
    tls_ca_file: str = ""
    tls_cert: str = ""
    tls_key: str = ""
    connect_timeout: float = 20.0
    two_pass: bool = False
    measure: bool = False  # a first pass: segments measure (telvo --analyse) into `stats`
    help: bool = False
    version: bool = False
    listing: object = None  # TelvoListing: telvo's options as telvo lists them

    @property
    def discard(self):
        return self.format == "null"

    @property
    def several(self):
        return len(self.inputs) > 1

    @property
    def tls(self):
        return bool(self.tls_ca_file or self.tls_cert or self.tls_key)


def _integer(option, text, low, high):
    try:
        value = int(text, 10)
    except ValueError:
        value = None
    if value is None or not low <= value <= high:
        raise UsageError(f"{option}: '{text}' is not an integer in {low}..{high}")
    return value


def _take_farm_option(o, name, value):
    if name == "--scheduler":
        if "://" not in value:
            raise UsageError(f"--scheduler: '{value}' is not an address such as tcp://HOST:8786")
        o.scheduler = value
    elif name == "--workers":
        o.workers = _integer(name, value, 1, 1024)
    elif name == "--segment-frames":
        o.segment_frames = _integer(name, value, 1, INT32_MAX)
    elif name == "--connect-timeout":
        o.connect_timeout = _integer(name, value, 1, 3600)
    else:
        setattr(o, name[2:].replace("-", "_"), value)


def _take_telvo_option(o, name, value):
    """Options the farm acts on itself; the others pass through to telvo."""
    if name in ("--preview", "--plot"):
        raise UsageError(f"{name} draws one picture over one run; use telvo for it")
    if name == "--start":
        o.start = _integer(name, value, 0, INT32_MAX)
    elif name == "--frames":
        o.frames = _integer(name, value, 1, INT32_MAX)
    elif name == "--stats":
        if os.path.splitext(value)[1] not in (".csv", ".jsonl"):
            raise UsageError(f"--stats: '{value}' must end in .csv or .jsonl")
        o.stats = value
    elif name in ("-q", "--quiet"):
        o.quiet = True
    elif name in ("-v", "--verbose"):
        o.verbose = True
    else:
        if name in ("-f", "--format"):
            o.format = value
        elif name == "--lossless":
            o.lossless = True
        elif name == "--timing":
            o.timing = True
        o.telvo_options += [name] if value is None else [name, value]


def telvo_listing(telvo):
    """telvo's options as the telvo at `telvo` lists them (telvo --list-options):
    {name: (kind, range, use)}, kind "flag", "text", "integer" or "exit", range "LOW..HIGH"
    for an integer, use "video", "planning" or "" (see docs/cli.md); None when it cannot
    be run."""
    try:
        done = subprocess.run([telvo, "--list-options"], capture_output=True, text=True,
                              timeout=60, stdin=subprocess.DEVNULL)
    except (OSError, subprocess.TimeoutExpired):
        return None
    if done.returncode != 0:
        return None
    listing = {}
    for line in done.stdout.splitlines():
        fields = line.split("\t") + ["", ""]
        if fields[1]:
            listing[fields[0]] = tuple(fields[1:4])
    return listing


def telvo_options(telvo):
    """{name: kind} of telvo --list-options; None when it cannot be run."""
    listing = telvo_listing(telvo)
    return None if listing is None else {name: row[0] for name, row in listing.items()}


def _given_telvo(argv):
    """The --telvo of a command line, before it is parsed: the farm must know telvo's
    options to parse the rest."""
    for i, arg in enumerate(argv):
        if arg == "--":
            break
        if arg.startswith("--telvo="):
            return arg.split("=", 1)[1]
        if arg == "--telvo" and i + 1 < len(argv):
            return argv[i + 1]
    return ""


class TelvoListing:
    """telvo's options, asked the first time they are needed: the --telvo given, or the
    telvo next to telvo-farm when that one does not run here (it may be a path on the
    workers only). `telvo` is the one that answered: the farm checks command lines
    with it."""

    def __init__(self, argv, program):
        here = os.path.join(os.path.dirname(os.path.abspath(program)), "telvo") if program \
            else "telvo"
        self.candidates = [t for t in (_given_telvo(argv), here) if t]
        self.rows = None
        self.telvo = None

    def _row(self, name):
        if self.rows is None:
            for telvo in self.candidates:
                self.rows = telvo_listing(telvo)
                if self.rows is not None:
                    self.telvo = os.path.abspath(telvo)
                    break
            else:
                raise FarmError(f"no telvo at '{self.candidates[0]}' answers --list-options; "
                                "give its path with --telvo")
        return self.rows.get(name, (None, "", ""))

    def kind(self, name):
        return self._row(name)[0]

    def use(self, name):
        return self._row(name)[2]

    def check_integer(self, name, text):
        """A value out of telvo's range is refused here, as telvo words it, before any
        cluster starts: on a worker it would be a segment failure."""
        low, _, high = self._row(name)[1].partition("..")
        if low and high:
            _integer(name, text, int(low), int(high))

    def answers(self, name):
        """Whether the telvo that answered knows `name` (an older one may not)."""
        self._row(name)
        return name in self.rows


def parse_arguments(argv, program=None):
    """`program`: telvo-farm's own path, next to which its telvo is found."""
    o = FarmOptions()
    telvo = TelvoListing(argv, program)
    o.listing = telvo
    positional = []
    only_positional = False
    i = 0
    while i < len(argv):
        arg = argv[i]
        i += 1
        if only_positional or arg == "-" or not arg.startswith("-"):
            positional.append(arg)
            continue
        if arg == "--":
            only_positional = True
            continue
        if arg in ("-h", "--help"):
            o.help = True
            return o
        if arg == "--version":
            o.version = True
            return o
        if arg in FARM_FLAGS:
            o.two_pass = True
            continue
        name, inline = arg, None
        if arg.startswith("--") and "=" in arg:
            name, inline = arg.split("=", 1)
        kind = "text" if name in FARM_VALUE_OPTIONS else telvo.kind(name)
        if kind not in ("flag", "text", "integer"):
            raise UsageError(f"unknown option '{name}' (see telvo-farm --help)")
        takes_value = kind != "flag"
        value = inline
        if takes_value and value is None:
            if i >= len(argv):
                raise UsageError(f"{name} needs a value")
            value = argv[i]
            i += 1
        elif not takes_value and inline is not None:
            raise UsageError(f"{name} takes no value")
        if name in FARM_VALUE_OPTIONS:
            _take_farm_option(o, name, value)
        else:
            if kind == "integer":
                telvo.check_integer(name, value)
            _take_telvo_option(o, name, value)
    if len(positional) < 2:
        raise UsageError(
            "missing INPUT and OUTPUT (see telvo-farm --help)"
            if not positional
            else "missing OUTPUT (see telvo-farm --help)"
        )
    o.inputs, o.output = positional[:-1], positional[-1]
    _check(o)
    return o


def _check(o):
    if o.tls and not (o.tls_ca_file and o.tls_cert and o.tls_key):
        raise UsageError("TLS needs all three of --tls-ca-file, --tls-cert and --tls-key")
    if o.tls and o.scheduler and not o.scheduler.startswith("tls://"):
        raise UsageError("with TLS the scheduler's address starts with tls://")
    if o.scheduler and o.workers:
        raise UsageError("--workers sizes the local cluster; an existing one has its own")
    if o.two_pass and (o.discard or o.several):
        raise UsageError("--two-pass takes one INPUT and an OUTPUT file")
    if o.discard:
        if o.output != "-":
            raise UsageError("-f null discards the frames; its OUTPUT is '-'")
        if o.several and o.stats:
            raise UsageError("--stats with several inputs needs an OUTPUT folder, not -f null")
        _check_clashes(o)
        return
    if o.output == "-":
        raise UsageError("output '-' is only for -f null")
    targets = [o.output] if not o.several else o.inputs
    for name in targets:
        if "%" in name or os.path.splitext(name)[1].lower() in IMAGE_EXTENSIONS or o.format in (
            "image2",
            "apng",
        ):
            raise UsageError(f"'{name}': telvo-farm writes video files; use telvo for images")
    if o.several:
        names = [output_name(o, path) for path in o.inputs]
        if len(set(names)) != len(names):
            raise UsageError("two inputs have the same file name; their results would collide")
    elif os.path.isdir(o.output):
        raise UsageError(f"OUTPUT '{o.output}' is a folder; with one INPUT it names the "
                         "result file")
    elif not os.path.splitext(o.output)[1] and not o.format:
        raise UsageError(f"cannot tell the output format from '{o.output}'; give a known "
                         "extension or -f FORMAT")
    _check_clashes(o)


def plan_path(output):
    """Where --two-pass keeps its plan: beside the result, with .plan.csv for its
    extension."""
    return os.path.splitext(os.path.abspath(output))[0] + ".plan.csv"


def given_plan(options):
    """The --plan file among telvo's options, or ""."""
    for i, option in enumerate(options):
        if option == "--plan" and i + 1 < len(options):
            return options[i + 1]
        if option.startswith("--plan="):
            return option.split("=", 1)[1]
    return ""


def written_names(o):
    """(what, name) of every file the job writes: results, stats, the plan of --two-pass."""
    names = []
    for path in o.inputs:
        if not o.discard:
            video = os.path.join(o.output, output_name(o, path)) if o.several else o.output
            names.append((f"OUTPUT of '{path}'" if o.several else "OUTPUT", video))
        if o.stats:
            names.append((f"--stats of '{path}'", stats_name(o, path)))
    if o.two_pass:
        names.append(("the plan of --two-pass", plan_path(o.output)))
    return names


def _check_clashes(o):
    """Every file the job writes stands apart, from each other (two of them on one name
    would leave only the one renamed last) and from every file it reads: the inputs and
    a --plan. Names are compared where a write lands, through symbolic links."""
    written = {}
    for what, name in written_names(o):
        key = follow_links(name)
        if key in written:
            raise UsageError(f"'{name}' would be written twice ({written[key][0]} and {what})")
        written[key] = (what, name)
    read = [("the input", path) for path in o.inputs]
    plan = given_plan(o.telvo_options)
    if plan:
        read.append(("the plan (--plan)", plan))
    for key, (what, name) in written.items():
        work = (hidden_beside(key, ".farm"), hidden_beside(key, ".farm.lock"))
        for kind, path in read:
            inside_work = os.path.realpath(path).startswith(os.path.realpath(work[0]) + os.sep)
            if same_file(key, path) or same_file(work[1], path) or inside_work:
                raise UsageError(f"{what} '{name}' would be written over {kind} '{path}'; "
                                 "choose another name")


def output_name(o, input_path):
    """The result's name inside the OUTPUT folder for one of several inputs."""
    stem, ext = os.path.splitext(os.path.basename(input_path))
    return stem + (".mkv" if o.lossless else ext)


def stats_name(o, input_path):
    """With several inputs each gets its own stats file in the OUTPUT folder; the name
    given picks the kind."""
    if not o.stats:
        return ""
    if not o.several:
        return o.stats
    stem = os.path.splitext(output_name(o, input_path))[0]
    return os.path.join(o.output, stem + "-stats" + os.path.splitext(o.stats)[1])
