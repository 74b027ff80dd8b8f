#!/usr/bin/python3
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors
"""Picture quality and steadiness: telvo (one pass, with and without the cut detector, and
two passes with each planning) next to FFmpeg's grayworld, greyedge, normalize and
colorcorrect=analyze=average, on the same inputs in one run.

Inputs are photographs from a Debian package (fetched with apt-get download and unpacked
into the cache folder, never installed), each with known casts applied and with none, and
clips generated from them: slow pans with grain, hard cuts, a one- and a two-frame flash,
a fade to black and back, a cross-dissolve.

Measures (angles in degrees between RGB vectors, lower is better):
  cast left      angle between the result's mean RGB and the uncast original's, and the
                 median per-pixel angle, on cast pictures
  harm           the same on pictures that had no cast
  steadiness     within shots, the mean frame-to-frame change of the applied correction:
                 telvo's own values from --stats (% of full scale), and for every tool the
                 output's mean colour less the input's (levels)
  cut response   frames after a hard cut until the correction is within 1% of the new
                 shot's steady values (0: the first frame of the new shot already is)

Usage: /usr/bin/python3 bench/quality.py [--telvo build/cli/telvo] [--cache DIR] [--out FILE]
Needs ffmpeg, numpy (python3-numpy) and apt-get; takes a few minutes on two cores.
The cast families with the chart and the balance targets: bench/cast_families.py.
"""

import argparse
import datetime
import os
import platform
import subprocess
import sys
import tempfile

import numpy as np

import cast_families

PHOTO_PACKAGE = "python3-skimage"
PHOTO_DIR = "usr/lib/python3/dist-packages/skimage/data"
PHOTOS = ["astronaut.png", "chelsea.png", "coffee.png", "rocket.jpg", "motorcycle_left.png"]

PEERS = {
    "grayworld": "grayworld",
    "greyedge": "greyedge",
    "normalize": "normalize",
    "colorcorrect": "colorcorrect=analyze=average",
}

# Known casts: per-channel gain and black lift (levels), or per-channel gamma.
CASTS = {
    "none": None,
    "gain+lift warm": ("gain", (1.12, 1.0, 0.78), (0.0, 6.0, 22.0)),
    "gain+lift cool": ("gain", (0.80, 0.95, 1.15), (20.0, 6.0, 0.0)),
    "gamma warm": ("gamma", (0.80, 1.0, 1.30)),
    "gamma cool": ("gamma", (1.30, 1.05, 0.80)),
}

SCENE_CUTS = 85  # telvo's recommended sensitivity, the one the sweep below supports
SWEEP = [60, 70, 75, 80, 85, 88, 90, 95]
TWO_PASS = ["scene", "smooth:9"]  # telvo --analyse --planning MODE, then --plan
STILL_FRAMES = 6  # telvo's average settles after five frames; the last one is measured
CLIP_W, CLIP_H = 320, 240
SETTLE = 6  # frames after an event left out of the steadiness


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


# ---------------------------------------------------------------- inputs


def fetch_photos(cache):
    """The photographs as uint8 HxWx3 arrays, from the package unpacked in `cache`."""
    unpacked = os.path.join(cache, "unpacked")
    if not os.path.isdir(os.path.join(unpacked, PHOTO_DIR)):
        os.makedirs(cache, exist_ok=True)
        run(["apt-get", "download", PHOTO_PACKAGE], cwd=cache)
        debs = sorted(f for f in os.listdir(cache) if f.startswith(PHOTO_PACKAGE + "_"))
        run(["dpkg-deb", "-x", os.path.join(cache, debs[-1]), unpacked])
    photos = {}
    for name in PHOTOS:
        photos[name.split(".")[0]] = decode_image(os.path.join(unpacked, PHOTO_DIR, name))
    return photos


def decode_image(path, size=None):
    scale = f"scale={size[0]}:{size[1]}," if size else ""
    probe = run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                 "stream=width,height", "-of", "csv=p=0", path]).stdout.decode().split(",")
    w, h = size if size else (int(probe[0]) // 2 * 2, int(probe[1]) // 2 * 2)
    raw = run(["ffmpeg", "-v", "error", "-i", path, "-vf", f"{scale}crop={w}:{h}:0:0",
               "-f", "rawvideo", "-pix_fmt", "rgb24", "-"]).stdout
    return np.frombuffer(raw, np.uint8).reshape(h, w, 3)


def apply_cast(img, cast):
    v = img.astype(np.float64)
    if cast is None:
        return img.copy()
    if cast[0] == "gain":
        v = v * np.array(cast[1]) + np.array(cast[2])
    else:
        v = 255.0 * (v / 255.0) ** np.array(cast[1])
    return np.clip(np.rint(v), 0, 255).astype(np.uint8)


# ---------------------------------------------------------------- tools


def write_clip(frames, path):
    """Frames (N x H x W x 3 uint8) as lossless raw RGB in NUT, which every tool reads."""
    n, h, w, _ = frames.shape
    run(["ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", f"{w}x{h}",
         "-framerate", "25", "-i", "-", "-c:v", "rawvideo", path], input=frames.tobytes())


def read_frames(path, w, h):
    raw = run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24",
               "-"]).stdout
    return np.frombuffer(raw, np.uint8).reshape(-1, h, w, 3)


def run_peer(filt, clip, w, h):
    raw = run(["ffmpeg", "-v", "error", "-i", clip, "-vf", filt, "-f", "rawvideo", "-pix_fmt",
               "rgb24", "-"]).stdout
    return np.frombuffer(raw, np.uint8).reshape(-1, h, w, 3)


def run_telvo(telvo, clip, w, h, work, extra=()):
    """Output frames and the --stats rows (a dict of columns) of one telvo run; with
    `--planning MODE` among `extra`, of two: --analyse with that planning, then --plan."""
    out = os.path.join(work, "telvo-out.mkv")
    stats = os.path.join(work, "telvo-stats.csv")
    extra = list(extra)
    if "--planning" in extra:
        plan = os.path.join(work, "telvo.plan.csv")
        run([telvo, clip, "--analyse", plan, "-q", *extra])
        extra = ["--plan", plan]
    run([telvo, clip, out, "--lossless", "-q", "--stats", stats, *extra])
    with open(stats) as f:
        header = f.readline().strip().split(",")
        rows = np.array([[float(x) for x in line.split(",")] for line in f if line.strip()])
    return read_frames(out, w, h), {name: rows[:, i] for i, name in enumerate(header)}


def telvo_has(telvo, option):
    return option in run([telvo, "--help"]).stdout.decode()


# ---------------------------------------------------------------- measures


def angle_deg(a, b):
    a = a.astype(np.float64) + 1.0  # keeps black away from the zero vector
    b = b.astype(np.float64) + 1.0
    cos = (a * b).sum(-1) / np.sqrt((a * a).sum(-1) * (b * b).sum(-1))
    return np.degrees(np.arccos(np.clip(cos, -1.0, 1.0)))


def cast_angles(result, original):
    mean = angle_deg(result.reshape(-1, 3).mean(0), original.reshape(-1, 3).mean(0))
    return float(mean), float(np.median(angle_deg(result, original)))


def applied_matrix(stats):
    """telvo's nine applied values per frame, scaled so that 1.0 is full scale."""
    cols = [f"{k}{c}" for k in ("black", "white", "curve") for c in "RGB"]
    scale = np.array([255.0] * 6 + [1.0] * 3)
    return np.stack([stats[c] for c in cols], axis=1) / scale


def colour_shift(inp, out):
    """Per frame, the output's mean colour less the input's (levels): what a tool applied."""
    return out.reshape(len(out), -1, 3).mean(1) - inp.reshape(len(inp), -1, 3).mean(1)


def steadiness(series, quiet):
    """Mean over consecutive quiet frames of the largest change of any component."""
    steps = [np.abs(series[k] - series[k - 1]).max() for k in range(1, len(series))
             if quiet[k] and quiet[k - 1]]
    return float(np.mean(steps)) if steps else float("nan")


def cut_response(series, cut, end, tolerance):
    """Frames from `cut` until the series is within `tolerance` of the shot's settled value
    (the mean of its last ten frames)."""
    settled = series[end - 10:end].mean(0)
    for k in range(cut, end):
        if np.abs(series[k] - settled).max() <= tolerance:
            return k - cut
    return end - cut


# ---------------------------------------------------------------- clips


def pan(photo, n, cast, seed):
    """n frames panning slowly across `photo` (scaled to 400x300) with grain."""
    rng = np.random.default_rng(seed)
    base = apply_cast(photo, CASTS[cast]).astype(np.float64)
    frames = np.empty((n, CLIP_H, CLIP_W, 3))
    for k in range(n):
        x, y = int(k * 0.75) % 80, int(k * 0.4) % 60
        frames[k] = base[y:y + CLIP_H, x:x + CLIP_W] + rng.normal(0.0, 3.0, (CLIP_H, CLIP_W, 3))
    return frames


def to_uint8(frames):
    return np.clip(np.rint(frames), 0, 255).astype(np.uint8)


def make_clips(scenes):
    """name -> (frames, cuts, events, quiet): cuts are (frame, shot end) pairs; every event
    frame and the SETTLE frames after it are left out of the steadiness."""
    a = lambda n, s=1: pan(scenes["astronaut"], n, "gain+lift warm", s)
    b = lambda n, s=2: pan(scenes["coffee"], n, "gamma cool", s)
    c = lambda n, s=3: pan(scenes["motorcycle_left"], n, "none", s)
    clips = {}
    clips["hard cuts"] = (np.concatenate([a(40), b(40), c(40)]), [(40, 80), (80, 120)], [40, 80])
    for name, flash in (("one-frame flash", [30]), ("two-frame flash", [30, 31])):
        f = a(60)
        for k in flash:
            f[k] = 90.0 + 1.5 * f[k]
        clips[name] = (f, [], flash)
    f = a(76)
    gain = np.ones(76)
    gain[30:41] = np.linspace(1.0, 0.0, 11)  # out over ten frames (30 is the last full one),
    gain[41:45] = 0.0  # black,
    gain[44:55] = np.linspace(0.0, 1.0, 11)  # back in over ten
    clips["fade to black and back"] = (f * gain[:, None, None, None], [],
                                       list(range(30, 55)))
    t = np.clip((np.arange(70) - 30) / 10.0, 0.0, 1.0)[:, None, None, None]
    clips["dissolve"] = ((1 - t) * a(70) + t * b(70), [], list(range(30, 41)))
    out = {}
    for name, (frames, cuts, events) in clips.items():
        quiet = np.ones(len(frames), bool)
        for e in events:
            quiet[e:e + SETTLE] = False
        out[name] = (to_uint8(frames), cuts, events, quiet)
    return out


# ---------------------------------------------------------------- the bench


def still_rows(photos, tools, work):
    """tool -> cast -> list of (mean angle, median angle) over the photographs."""
    results = {t: {c: [] for c in CASTS} for t in ["input"] + list(tools)}
    clip = os.path.join(work, "still.nut")
    for name, photo in photos.items():
        h, w, _ = photo.shape
        for cast_name, cast in CASTS.items():
            cast_img = apply_cast(photo, cast)
            write_clip(np.repeat(cast_img[None], STILL_FRAMES, axis=0), clip)
            results["input"][cast_name].append(cast_angles(cast_img, photo))
            for tool, runner in tools.items():
                frames = runner(clip, w, h)
                results[tool][cast_name].append(cast_angles(frames[-1], photo))
    return results


def clip_rows(clips, tools, telvo_runs, work):
    """Per clip: per tool the colour-shift steadiness and cut response; per telvo run also
    the steadiness of its applied values and the scene events it reported."""
    path = os.path.join(work, "clip.nut")
    rows = {}
    for name, (frames, cuts, events, quiet) in clips.items():
        write_clip(frames, path)
        per = {}
        for tool, runner in tools.items():
            out = runner(path, CLIP_W, CLIP_H)
            shift = colour_shift(frames, out)
            per[tool] = {"steady": steadiness(shift, quiet),
                         "cut": [cut_response(shift, c, e, 2.55) for c, e in cuts]}
        for label, extra in telvo_runs.items():
            _, stats = run_telvo(TELVO, path, CLIP_W, CLIP_H, work, extra)
            applied = applied_matrix(stats)
            scene = stats.get("restart", np.zeros(len(frames)))
            per[label]["applied_steady"] = steadiness(applied, quiet) * 100
            per[label]["applied_cut"] = [cut_response(applied, c, e, 0.01) for c, e in cuts]
            per[label]["restarts"] = [int(k) for k in np.nonzero(scene == 1)[0]]
            per[label]["undone"] = [int(k) for k in np.nonzero(scene == 2)[0]]
        rows[name] = per
    return rows


def sweep(clips, telvo, sensitivities, work):
    """sensitivity -> clip -> (restarts, flashes undone)."""
    path = os.path.join(work, "clip.nut")
    found = {s: {} for s in sensitivities}
    for name, (frames, *_rest) in clips.items():
        write_clip(frames, path)
        for s in sensitivities:
            _, stats = run_telvo(telvo, path, CLIP_W, CLIP_H, work, ["--scene-cuts", str(s)])
            found[s][name] = (int((stats["restart"] == 1).sum()), int((stats["restart"] == 2).sum()))
    return found


def fmt(x, digits=2):
    return "–" if x is None or (isinstance(x, float) and np.isnan(x)) else f"{x:.{digits}f}"


def report(still, clips_out, clips, swept, tools):
    lines = []
    add = lines.append
    add("### Casts on photographs: angle left (degrees; mean colour / median per pixel)\n")
    add("| tool | " + " | ".join(CASTS) + " |")
    add("|---" * (len(CASTS) + 1) + "|")
    for tool, per_cast in still.items():
        cells = []
        for cast in CASTS:
            v = np.array(per_cast[cast])
            cells.append(f"{v[:, 0].mean():.2f} / {v[:, 1].mean():.2f}")
        add(f"| {tool} | " + " | ".join(cells) + " |")
    add("\n`none` is the harm done to pictures without a cast; `input` the cast as given.\n")

    add("### Clips: steadiness within shots and cut response\n")
    add("Steadiness: mean frame-to-frame change, within shots, of the output's mean colour "
        "less the input's (levels), and for telvo also of its applied values (% of full "
        "scale). Cut response: frames after each hard cut until the correction is within 1% "
        "of the new shot's settled value (colour shift for every tool / telvo's applied "
        "values). Events: frames where telvo restarted its history (R) or undid a flash (U).\n")
    names = list(clips)
    add("| tool | " + " | ".join(names) + " | cut response | events |")
    add("|---" * (len(names) + 3) + "|")
    for tool in tools:
        cells = []
        for n in names:
            r = clips_out[n][tool]
            cell = fmt(r["steady"])
            if "applied_steady" in r:
                cell += f" / {fmt(r['applied_steady'], 3)}%"
            cells.append(cell)
        r = clips_out["hard cuts"][tool]
        response = ", ".join(str(x) for x in r["cut"])
        if "applied_cut" in r:
            response += " / " + ", ".join(str(x) for x in r["applied_cut"])
        events = []
        for n in names:
            r = clips_out[n][tool]
            if r.get("restarts") or r.get("undone"):
                parts = [f"R{k}" for k in r["restarts"]] + [f"U{k}" for k in r["undone"]]
                events.append(f"{n}: " + " ".join(parts))
        add(f"| {tool} | " + " | ".join(cells) + f" | {response} | {'; '.join(events)} |")
    add("\nHard cuts at frames 40 and 80; flashes at 30 (and 31); the fade goes out over "
        "frames 31–40 and back in over 45–54, the dissolve runs over frames 31–40.\n")

    if swept:
        add("### --scene-cuts sensitivity: restarts / flashes undone per clip\n")
        add("| sensitivity | threshold (levels) | " + " | ".join(names) + " |")
        add("|---" * (len(names) + 2) + "|")
        for s, per in swept.items():
            cells = [f"{per[n][0]} / {per[n][1]}" for n in names]
            add(f"| {s} | {101 - s} | " + " | ".join(cells) + " |")
        add("\nWanted: 2 / 0 on the hard cuts, 1 / 1 on each flash, 0 / 0 on the fade and "
            "the dissolve.\n")
    return "\n".join(lines)


def machine():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            model = next(l.split(":", 1)[1].strip() for l in f if l.startswith("model name"))
    except (OSError, StopIteration):
        pass
    ffmpeg = run(["ffmpeg", "-version"]).stdout.decode().splitlines()[0].split(" Copyright")[0]
    return f"{model}, {os.cpu_count()} cores, {platform.system()} {platform.release()}; {ffmpeg}"


def main():
    global TELVO
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(here)
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--telvo", default=os.environ.get("TELVO",
                                                          os.path.join(root, "build/cli/telvo")))
    parser.add_argument("--cache", default=os.path.join(root, "build/quality-cache"))
    parser.add_argument("--out", help="also write the tables to this file")
    args = parser.parse_args()
    TELVO = args.telvo
    if not os.access(TELVO, os.X_OK):
        sys.exit(f"quality: no telvo at {TELVO} (build it, or give --telvo)")

    photos = fetch_photos(args.cache)
    unpacked = os.path.join(args.cache, "unpacked", PHOTO_DIR)
    scenes = {n.split(".")[0]: decode_image(os.path.join(unpacked, n), (400, 300))
              for n in PHOTOS}
    with tempfile.TemporaryDirectory() as work:
        tools = {"telvo": lambda clip, w, h: run_telvo(TELVO, clip, w, h, work)[0]}
        telvo_runs = {"telvo": []}
        if telvo_has(TELVO, "--balance"):
            tools["telvo --balance"] = lambda clip, w, h: run_telvo(TELVO, clip, w, h, work,
                                                                    ["--balance"])[0]
            telvo_runs["telvo --balance"] = ["--balance"]
        has_cuts = telvo_has(TELVO, "--scene-cuts")
        cuts_on = ["--scene-cuts", str(SCENE_CUTS)]
        label = "telvo " + " ".join(cuts_on)
        if has_cuts:
            tools[label] = lambda clip, w, h: run_telvo(TELVO, clip, w, h, work, cuts_on)[0]
            telvo_runs[label] = cuts_on
        if telvo_has(TELVO, "--analyse"):
            for planning in TWO_PASS:
                two = ["--planning", planning]
                tools[f"telvo two-pass {planning}"] = \
                    lambda clip, w, h, two=two: run_telvo(TELVO, clip, w, h, work, two)[0]
                telvo_runs[f"telvo two-pass {planning}"] = two
        for name, filt in PEERS.items():
            tools[name] = lambda clip, w, h, filt=filt: run_peer(filt, clip, w, h)

        # A still repeats one picture: the cut detector has nothing to do there.
        still = still_rows(photos, {k: v for k, v in tools.items() if k != label}, work)
        clips = make_clips(scenes)
        clips_out = clip_rows(clips, tools, telvo_runs, work)
        # The cast families on stills of the full-size photographs, the chart placed in each;
        # a still is one scene, so the two-pass rows would repeat the one-pass one.
        patches = cast_families.fetch_chart(args.cache, run)
        own = cast_families.own_colour_pictures(unpacked, decode_image)
        families = cast_families.family_rows(
            photos, own, patches,
            {k: v for k, v in tools.items() if k != label and "two-pass" not in k},
            cast_families.still_runner(write_clip, work, STILL_FRAMES))
        swept = sweep(clips, TELVO, SWEEP, work) if has_cuts else {}

    text = (f"Measured {datetime.date.today().isoformat()} on {machine()}.\n\n"
            + report(still, clips_out, clips, swept, tools) + "\n"
            + cast_families.family_report(families) + "\n"
            + cast_families.target_summary(families, clips_out, list(PEERS)))
    print(text)
    if args.out:
        with open(args.out, "w") as f:
            f.write(text + "\n")


if __name__ == "__main__":
    main()
