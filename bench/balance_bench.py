#!/usr/bin/python3
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors
"""The balance correction's bench: cast families, pictures without a cast and small saturated
objects in neutral scenes, on a tuning set and a held-out set of photographs, with telvo's
defaults, telvo --balance and FFmpeg's grayworld, greyedge, normalize and
colorcorrect=analyze=average side by side in one run.

Photographs: scikit-image's five (python3-skimage) and thirteen from Debian's wallpaper
packages (mate-backgrounds' nature folder, lomiri-wallpapers-20.04), fetched with apt-get
download and unpacked into the cache folder, never installed. They are split once, by name,
into the TUNING set (the method's choices were made on it) and the HELD_OUT set (only
measured); a quality claim is made on the held-out set only. Footage, a third set, only
measured: real camera clips and photographs in their own light from opencv-doc,
mrpt-common, python3-imageio, python3-hug-doc, kphotoalbum and mrpt-doc, each with a neutral
surface picked by hand (FOOTAGE).

Every picture is scaled and cropped to 360x240, shown to each tool as five identical frames
(telvo's five-frame average has then settled) and the fifth is measured; all pictures of a
set go through a tool as one clip.

Measures (degrees):
  cast families   the chart's six grey patches: mean angle of each patch's colour from grey
                  (bench/cast_families.py has the families and the chart)
  uncast          the photographs as they are: the angle between the mean colours of the
                  result and of the picture (the harm done)
  small object    a neutral scene (grey 108 with grain, a greyscale photograph as a dim
                  room, levels 30..170) with one
                  saturated square of 0.03 to 5% of the frame: the angle the neutral area's
                  mean colour moved; and a clip where a 0.2% square enters and leaves: the
                  largest movement over its frames, and the largest step between frames
                  (levels), which is the drift
  strong          casts three times the families' (bench/cast_families.py STRONG_FAMILY), as
                  a camera left on the wrong light gives; the chart's grey patches as above
  pan             each photograph, as it is and under the warm cast, seen through a window
                  of the frame's size panning across it at twice the size: per shot the
                  median frame-to-frame change of the frame's mean shift, output less
                  input (levels), the steadiness within a shot whose content moves; and
                  per shot the largest such step, where a correction pops
  footage         the neutral surface's mean colour: its angle from grey, per measured frame

Usage: /usr/bin/python3 bench/balance_bench.py [--telvo build/cli/telvo] [--cache DIR]
       [--set tuning|held-out|footage|both] [--out FILE] [--no-peers]
       [--footage-picture JPEG]
       [--extra "LABEL=ARGS"]... [--old OTHER_TELVO]
Needs ffmpeg, numpy and apt-get; about two minutes a set on two busy cores.
"""

import argparse
import datetime
import os
import shlex
import subprocess
import sys
import tempfile

import numpy as np

import cast_families as cf

W, H, FRAMES = 360, 240, 5
PAN = 36  # frames of a pan across a photograph

SOURCES = {  # package -> folder inside it
    "python3-skimage": "usr/lib/python3/dist-packages/skimage/data",
    "mate-backgrounds": "usr/share/backgrounds/mate/nature",
    "lomiri-wallpapers-20.04": "usr/share/backgrounds",
    "opencv-doc": "usr/share/doc/opencv-doc/examples/data",
    "mrpt-common": "usr/share/mrpt/datasets",
    "python3-imageio": "usr/lib/python3/dist-packages/imageio/resources/images",
    "python3-hug-doc": "usr/share/doc/python3-hug/examples/streaming_movie_server",
    "kphotoalbum": "usr/share/kphotoalbum/demo",
    "mrpt-doc": "usr/share/doc/mrpt-doc/samples",
}
TUNING = [("python3-skimage", n) for n in
          ["astronaut.png", "chelsea.png", "coffee.png", "rocket.jpg", "motorcycle_left.png"]] + \
         [("mate-backgrounds", n) for n in
          ["Aqua.jpg", "Blinds.jpg", "Garden.jpg", "LadyBird.jpg", "YellowFlower.jpg"]]
HELD_OUT = [("mate-backgrounds", n) for n in
            ["Dune.jpg", "FreshFlower.jpg", "GreenMeadow.jpg", "RainDrops.jpg", "Storm.jpg",
             "TwoWings.jpg", "Wood.jpg"]] + \
           [("lomiri-wallpapers-20.04", "Kleiber_by_Lukas_Baubkus.jpg")]
# The greyscale photograph each set's small-object scenes are made from.
GREY_SCENE = {"tuning": "coffee", "held-out": "Storm"}
OBJECTS = {"blue": (30, 60, 230), "orange": (240, 120, 20), "red light": (255, 40, 30)}
OBJECT_SHARES = [0.0003, 0.002, 0.01, 0.05]

# Real camera footage in its own light, from Debian's packages: (label, package, files, a
# video's frames as (count, every n-th), the neutral surface picked by hand as x0, y0, x1, y1
# on the 360x240 picture of each file). Only measured, never used to choose anything.
FOOTAGE = [
    ("street, overcast daylight (asphalt)", "opencv-doc", ["vtest.avi"], (100, 3),
     [(260, 140, 350, 190)]),
    ("lab, indoor light (checkerboard on a white board)", "mrpt-common",
     [f"stereo-calib/{k}_left.jpg" for k in range(4)], None,
     [(120, 50, 310, 210), (120, 20, 320, 200), (70, 20, 200, 220), (150, 80, 330, 220)]),
    ("desk, indoor light (white disc)", "opencv-doc", ["stuff.jpg"], None,
     [(200, 65, 245, 115)]),
    ("room by a window, mixed light (pillar between windows), panning", "python3-imageio",
     ["realshort.mp4"], (36, 1), [(215, 35, 255, 90)]),
    # Strong casts: a camera left on daylight under tungsten, and two robot cameras whose
    # colour is far off; the surfaces are paper, a painted wall and a white board.
    ("model on a paper sweep, tungsten light (the sweep)", "python3-hug-doc", ["movie.mp4"],
     (40, 4), [(300, 100, 350, 150)]),
    ("webcam, tungsten room light (wall behind the speaker)", "kphotoalbum", ["movie.avi"],
     (68, 1), [(290, 40, 355, 80)]),
    ("office, magenta cast (white wall), stereo pair", "mrpt-doc",
     ["vision_feature_extraction/imgs/imL_p01.jpg", "vision_feature_extraction/imgs/imR_p01.jpg"],
     None, [(300, 25, 335, 70), (290, 20, 318, 70)]),
    ("box in a dark room, green cast (its white side)", "mrpt-doc",
     ["vision_multiple_checkerboards/test_3_checkerboards_5x4.jpg"], None, [(45, 40, 95, 140)]),
]

PEERS = {"grayworld": "grayworld", "greyedge": "greyedge", "normalize": "normalize",
         "colorcorrect": "colorcorrect=analyze=average"}


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


def fetch(cache, package):
    """The package unpacked in the cache (downloaded on first use); None when apt-get cannot."""
    unpacked = os.path.join(cache, "unpacked")
    if not os.path.isdir(os.path.join(unpacked, SOURCES[package])):
        os.makedirs(cache, exist_ok=True)
        try:
            run(["apt-get", "download", package], cwd=cache)
        except (subprocess.CalledProcessError, OSError) as e:
            print(f"balance_bench: cannot fetch {package} ({e}); its pictures are skipped",
                  file=sys.stderr)
            return None
        debs = sorted(f for f in os.listdir(cache) if f.startswith(package + "_"))
        run(["dpkg-deb", "-x", os.path.join(cache, debs[-1]), unpacked])
    return os.path.join(unpacked, SOURCES[package])


def decode(path):
    raw = run(["ffmpeg", "-v", "error", "-i", path, "-vf",
               f"scale={W}:{H}:force_original_aspect_ratio=increase,crop={W}:{H}",
               "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"]).stdout
    return np.frombuffer(raw, np.uint8).reshape(H, W, 3)


def photographs(cache, names):
    out = {}
    for package, name in names:
        folder = fetch(cache, package)
        if folder:
            out[name.split(".")[0].split("_")[0]] = decode(os.path.join(folder, name))
    return out


def decode_frames(path, frames=None):
    """A video's frames, (count, every n-th), or a still; scaled and cropped as every picture."""
    pick = f"select='not(mod(n,{frames[1]}))'," if frames else ""
    raw = run(["ffmpeg", "-v", "error", "-i", path, "-vf",
               f"{pick}scale={W}:{H}:force_original_aspect_ratio=increase,crop={W}:{H}",
               "-frames:v", str(frames[0] if frames else 1), "-vsync", "0",
               "-f", "rawvideo", "-pix_fmt", "rgb24", "-"]).stdout
    return np.frombuffer(raw, np.uint8).reshape(-1, H, W, 3)


def footage(cache):
    """label -> (frames, each frame's neutral rectangle, the frames measured): a still is held
    for FRAMES frames and its last measured, a video from its FRAMES-th frame on, so that
    telvo's five-frame average has settled."""
    out = {}
    for label, package, files, frames, rects in FOOTAGE:
        folder = fetch(cache, package)
        if not folder:
            continue
        pictures, areas = [], []
        for i, name in enumerate(files):
            got = decode_frames(os.path.join(folder, name), frames)
            pictures.append(got if frames else np.repeat(got, FRAMES, axis=0))
            areas += [rects[i]] * len(pictures[-1])
        kept = list(range(FRAMES, len(areas))) if frames else \
            list(range(FRAMES - 1, len(areas), FRAMES))
        out[label] = (np.concatenate(pictures), areas, kept)
    return out


def from_grey(frame, rect):
    x0, y0, x1, y1 = rect
    m = frame[y0:y1, x0:x1].reshape(-1, 3).mean(0) + 1.0
    return float(np.degrees(np.arccos(min(1.0, m.sum() / np.sqrt(3 * (m @ m))))))


SHOWN = ["input", "telvo", "telvo --balance", "grayworld"]  # the footage picture's columns


def outlined(frame, rect):
    x0, y0, x1, y1 = rect
    out = frame.copy()
    for ys, xs in ((slice(y0, y1), [x0, x0 + 1, x1 - 2, x1 - 1]),  # two pixels: shown at half size
                   ([y0, y0 + 1, y1 - 2, y1 - 1], slice(x0, x1))):
        out[ys, xs] = (255, 0, 255)
    return out


def footage_picture(shown, path):
    """Each clip's last measured frame, a row each, the neutral surface outlined; half size."""
    rows = [np.concatenate([outlined(f, rect)[::2, ::2] for f in frames], 1)
            for frames, rect in shown]
    sheet = np.ascontiguousarray(np.concatenate(rows, 0))
    h, w, _ = sheet.shape
    run(["ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", f"{w}x{h}",
         "-i", "-", "-q:v", "3", path], input=sheet.tobytes())


def measure_footage(clips, tools, work, shown):
    """label -> tool -> the neutral surface's angle from grey in each measured frame; `shown`
    gets each clip's last measured frame from the SHOWN tools."""
    rows = {}
    clip = os.path.join(work, "footage.nut")
    for label, (frames, areas, kept) in clips.items():
        write_clip(frames, clip)
        rows[label] = {"input": [from_grey(frames[k], areas[k]) for k in kept]}
        last = [frames[kept[-1]]]
        steady = f"{label.split(',')[0]}: steadiness (levels/frame)"
        if len(set(areas)) == 1 and len(kept) > 1:  # a video: how the surface's shift moves
            rows[steady] = {"input": [0.0]}
        for tool, runner in tools.items():
            out = runner(clip, work)
            rows[label][tool] = [from_grey(out[k], areas[k]) for k in kept]
            if tool in SHOWN:
                last.append(out[kept[-1]])
            if steady in rows:
                x0, y0, x1, y1 = areas[0]
                shift = [out[k, y0:y1, x0:x1].reshape(-1, 3).mean(0) -
                         frames[k, y0:y1, x0:x1].reshape(-1, 3).mean(0) for k in kept]
                rows[steady][tool] = list(np.abs(np.diff(shift, axis=0)).max(1))
        shown.append((last, areas[kept[-1]]))
    return rows


# ---------------------------------------------------------------- tools


def write_clip(frames, path):
    n, h, w, _ = frames.shape
    run(["ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", f"{w}x{h}",
         "-framerate", "25", "-i", "-", "-c:v", "rawvideo", path], input=frames.tobytes())


def read_frames(raw):
    return np.frombuffer(raw, np.uint8).reshape(-1, H, W, 3)


def peer(filt):
    return lambda clip, work: read_frames(run(["ffmpeg", "-v", "error", "-i", clip, "-vf", filt,
                                               "-f", "rawvideo", "-pix_fmt", "rgb24",
                                               "-"]).stdout)


def telvo(binary, args):
    def go(clip, work):
        out = os.path.join(work, "out.mkv")
        run([binary, clip, out, "--lossless", "-q", *args])
        return read_frames(run(["ffmpeg", "-v", "error", "-i", out, "-f", "rawvideo",
                                "-pix_fmt", "rgb24", "-"]).stdout)
    return go


def telvo_two_pass(binary, args):
    """telvo --analyse, then --plan: one correction per scene."""
    def go(clip, work):
        out, plan = os.path.join(work, "out.mkv"), os.path.join(work, "plan.csv")
        run([binary, clip, "--analyse", plan, "-q", *args])
        run([binary, clip, out, "--plan", plan, "--lossless", "-q"])
        return read_frames(run(["ffmpeg", "-v", "error", "-i", out, "-f", "rawvideo",
                                "-pix_fmt", "rgb24", "-"]).stdout)
    return go


# ---------------------------------------------------------------- pictures


def grey_scenes(photos, set_name, seed=7):
    rng = np.random.default_rng(seed)
    flat = np.clip(np.rint(108 + rng.normal(0, 5.0, (H, W, 1))), 0, 255)
    src = photos[GREY_SCENE[set_name]].astype(np.float64) @ np.array([0.299, 0.587, 0.114])
    dim = 30 + 140 * (src - src.min()) / max(1.0, np.ptp(src))  # a dim room: 30..170
    return {"flat grey": np.repeat(flat, 3, 2).astype(np.uint8),
            "grey photo": np.repeat(np.rint(dim)[..., None], 3, 2).astype(np.uint8)}


def with_object(scene, colour, share):
    side = max(1, int(round(np.sqrt(share * W * H))))
    y0, x0 = H // 3, W // 2
    mask = np.zeros((H, W), bool)
    mask[y0:y0 + side, x0:x0 + side] = True
    out = scene.copy()
    out[mask] = colour
    return out, mask


def neutral_move(result, scene, mask):
    return cf.mean_angle(result[~mask][None], scene[~mask][None])


def stills(photos, set_name, patches):
    """(picture, measure) pairs, each measure a function of the result giving (row, value)."""
    items = []
    for name, photo in photos.items():
        charted, greys = cf.place_chart(photo, patches, share=0.4)
        for family, casts in {**cf.FAMILIES, **cf.STRONG_FAMILY}.items():
            for cast in casts.values():
                items.append((cast(charted), lambda r, f=family, g=greys: (f, cf.grey_angle(r, g))))
        items.append((photo, lambda r, p=photo: ("uncast", cf.mean_angle(r, p))))
    for scene_name, scene in grey_scenes(photos, set_name).items():
        for colour in OBJECTS.values():
            for share in OBJECT_SHARES:
                picture, mask = with_object(scene, colour, share)
                items.append((picture, lambda r, s=scene, m=mask:
                              ("small object", neutral_move(r, s, m))))
    return items


def pan_clip(cache, names):
    """Each photograph under no cast and under the warm one, a window of the frame's size
    panning diagonally across it at twice the size in PAN frames: the shots, one after the
    other, and where each starts."""
    shots = []
    for package, name in names:
        folder = fetch(cache, package)
        if not folder:
            continue
        raw = run(["ffmpeg", "-v", "error", "-i", os.path.join(folder, name), "-vf",
                   f"scale={2 * W}:{2 * H}:force_original_aspect_ratio=increase,crop={2 * W}:{2 * H}",
                   "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"]).stdout
        big = np.frombuffer(raw, np.uint8).reshape(2 * H, 2 * W, 3)
        for picture in (big, cf.illuminant(cf.WARM)(big)):
            at = [(k * H // (PAN - 1), k * W // (PAN - 1)) for k in range(PAN)]
            shots.append(np.stack([picture[y:y + H, x:x + W] for y, x in at]))
    return np.concatenate(shots), [k * PAN for k in range(len(shots))]


def pan_steps(out, frames, starts):
    """Per shot, from its sixth frame on: the largest channel's frame-to-frame change of the
    frame's mean shift, output less input (levels), each frame's."""
    shift = (out.astype(np.float64) - frames).reshape(len(frames), -1, 3).mean(1)
    return [np.abs(np.diff(shift[s + FRAMES:s + PAN], axis=0)).max(1) for s in starts]


def drift_clip(photos, set_name):
    scene = grey_scenes(photos, set_name)["grey photo"]
    picture, mask = with_object(scene, OBJECTS["blue"], 0.002)
    frames = np.stack([scene] * 12 + [picture] * 12 + [scene] * 12)
    return frames, mask, scene


# ---------------------------------------------------------------- the bench


def measure_set(photos, set_name, patches, tools, work, cache, names):
    items = stills(photos, set_name, patches)
    clip = os.path.join(work, "stills.nut")
    write_clip(np.repeat(np.stack([p for p, _ in items]), FRAMES, axis=0), clip)
    rows = {}
    for i, (picture, measure) in enumerate(items):
        row, value = measure(picture)
        rows.setdefault(row, {}).setdefault("input", []).append(value)
    for tool, runner in tools.items():
        out = runner(clip, work)
        for i, (_, measure) in enumerate(items):
            row, value = measure(out[i * FRAMES + FRAMES - 1])
            rows[row].setdefault(tool, []).append(value)
    frames, mask, scene = drift_clip(photos, set_name)
    write_clip(frames, clip)
    rows["object enters/leaves"] = {"input": [0.0]}
    rows["drift (levels/frame)"] = {"input": [0.0]}
    for tool, runner in tools.items():
        out = runner(clip, work).astype(np.float64)
        moves = [neutral_move(o, scene, mask) for o in out]
        means = np.array([o[~mask].mean(0) for o in out])
        rows["object enters/leaves"][tool] = [max(moves)]
        rows["drift (levels/frame)"][tool] = [float(np.abs(np.diff(means, axis=0)).max())]
    frames, starts = pan_clip(cache, names)
    write_clip(frames, clip)
    typical, largest = "pan: steadiness (levels/frame)", "pan: largest step (levels)"
    rows[typical] = {"input": [0.0] * len(starts)}
    rows[largest] = {"input": [0.0] * len(starts)}
    for tool, runner in tools.items():
        steps = pan_steps(runner(clip, work), frames, starts)
        rows[typical][tool] = [float(np.median(s)) for s in steps]
        rows[largest][tool] = [float(s.max()) for s in steps]
    return rows


def table(rows, set_name, names):
    tools = list(next(iter(rows.values())))
    lines = [f"### {set_name}: median / worst (degrees; drift in levels)\n",
             f"Pictures: {', '.join(names)}.\n",
             "| row | " + " | ".join(tools) + " |", "|---" * (len(tools) + 1) + "|"]
    for row, per in rows.items():
        cells = [f"{np.median(per[t]):.2f} / {np.max(per[t]):.2f}" for t in tools]
        lines.append(f"| {row} | " + " | ".join(cells) + " |")
    return "\n".join(lines) + "\n"


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--telvo", default=os.path.join(root, "build/cli/telvo"))
    ap.add_argument("--cache", default=os.path.join(root, "build/quality-cache"))
    ap.add_argument("--set", default="both", choices=["tuning", "held-out", "both", "footage"],
                    help="both: the two photograph sets and the footage")
    ap.add_argument("--extra", action="append", default=[],
                    help="one more telvo row: LABEL=ARGS; a LABEL starting with 'old' runs "
                         "the --old binary (e.g. 'old --balance=--balance')")
    ap.add_argument("--old", help="a second telvo binary, for --extra rows labelled old...")
    ap.add_argument("--no-peers", action="store_true")
    ap.add_argument("--out")
    ap.add_argument("--footage-picture", metavar="JPEG",
                    help="also write each clip's last measured frame: " + ", ".join(SHOWN))
    args = ap.parse_args()
    if not os.access(args.telvo, os.X_OK):
        sys.exit(f"balance_bench: no telvo at {args.telvo} (build it, or give --telvo)")
    tools = {"telvo": telvo(args.telvo, []), "telvo --balance": telvo(args.telvo, ["--balance"])}
    for spec in args.extra:
        label, _, extra = spec.partition("=")
        binary = args.old if label.startswith("old") and args.old else args.telvo
        tools[label] = telvo(binary, shlex.split(extra))
    if not args.no_peers:
        tools.update({name: peer(f) for name, f in PEERS.items()})
    patches = cf.fetch_chart(args.cache, run)
    sets = {"tuning": TUNING, "held-out": HELD_OUT}
    chosen = list(sets) if args.set == "both" else [args.set] if args.set in sets else []
    text = f"Measured {datetime.datetime.utcnow():%Y-%m-%d %H:%M} UTC, {os.cpu_count()} cores.\n\n"
    with tempfile.TemporaryDirectory() as work:
        for set_name in chosen:
            photos = photographs(args.cache, sets[set_name])
            if not photos:
                print(f"balance_bench: no pictures for the {set_name} set", file=sys.stderr)
                continue
            rows = measure_set(photos, set_name, patches, tools, work, args.cache,
                               sets[set_name])
            text += table(rows, set_name, list(photos)) + "\n"
        # Two passes on footage only: the photographs' stills clip runs one picture's casts
        # one after the other, which a cut detector rightly takes for one scene.
        first = ("telvo", "telvo --balance")
        tools = {**{k: tools[k] for k in first},
                 "--balance, two passes": telvo_two_pass(args.telvo, ["--balance"]),
                 **{k: v for k, v in tools.items() if k not in first}}
        if args.set in ("both", "footage"):
            clips = footage(args.cache)
            if clips:
                shown = []
                rows = measure_footage(clips, tools, work, shown)
                if args.footage_picture:
                    footage_picture(shown, args.footage_picture)
                text += table(rows, "footage (neutral surface's angle from grey)",
                              [f"{p}: {', '.join(f)}" for _, p, f, _, _ in FOOTAGE]) + "\n"
    print(text)
    if args.out:
        with open(args.out, "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
