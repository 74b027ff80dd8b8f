# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors
"""Cast families for the quality bench: photographs with a colour chart placed in them and
known casts applied, and pictures without a cast, neutral or with a colour of their own.

The chart is the 24-patch chart from its reference values (CIELAB, D50; Debian's argyll-ref,
fetched with apt-get download and unpacked, never installed), converted to sRGB. Its six grey
patches are neutral whatever the photograph around them, so the angle of their mean colours
from grey measures the cast a tool leaves, independent of the photograph's own colours.

Families (all on the five photographs with the chart):
  gain        an illuminant change: per-channel gain in linear light
  gain+lift   per-channel gain and a lifted black on the encoded levels (faded film)
  mid-tone    per-channel gamma with the ends untouched
  exposure    under- and over-exposure with an illuminant cast
  clipped     an illuminant cast with the exposure doubled and more: highlights clip
Uncast: the same photographs with the chart (harm: change of the mean colour), and pictures
whose colour is the scene's own: a fundus photograph, stained tissue and a deep-sky image
from the photograph package, and a generated sunset, forest and red-lit stage.
"""

import os

import numpy as np

CHART_PACKAGE = "argyll-ref"
CHART_FILE = "usr/share/color/argyll/ref/ColorChecker.cie"
OWN_COLOUR_PHOTOS = ["retina.jpg", "ihc.png", "hubble_deep_field.jpg"]


def to_linear(v):
    v = np.asarray(v, np.float64) / 255.0
    return np.where(v <= 0.04045, v / 12.92, ((v + 0.055) / 1.055) ** 2.4)


def to_encoded(lin):
    lin = np.clip(lin, 0.0, 1.0)
    return 255.0 * np.where(lin <= 0.0031308, 12.92 * lin, 1.055 * lin ** (1 / 2.4) - 0.055)


def to_uint8(v):
    return np.clip(np.rint(v), 0, 255).astype(np.uint8)


# ---------------------------------------------------------------- the chart


def fetch_chart(cache, run):
    """The 24 patches as sRGB levels (24 x 3), rows in the chart's order; the last six grey."""
    unpacked = os.path.join(cache, "unpacked")
    path = os.path.join(unpacked, CHART_FILE)
    if not os.path.exists(path):
        os.makedirs(cache, exist_ok=True)
        run(["apt-get", "download", CHART_PACKAGE], cwd=cache)
        debs = sorted(f for f in os.listdir(cache) if f.startswith(CHART_PACKAGE + "_"))
        run(["dpkg-deb", "-x", os.path.join(cache, debs[-1]), unpacked])
    lab, inside = [], False
    with open(path) as f:
        for line in f:
            if line.startswith("BEGIN_DATA") and "FORMAT" not in line:
                inside = True
            elif line.startswith("END_DATA") and "FORMAT" not in line:
                break
            elif inside:
                lab.append([float(x) for x in line.split()[1:4]])
    return to_uint8(lab_to_srgb(np.array(lab)))


def lab_to_srgb(lab):
    """CIELAB (D50) to sRGB levels (D65) through the Bradford adaptation."""
    L, a, b = lab.T
    fy = (L + 16) / 116
    f = lambda t: np.where(t ** 3 > 0.008856, t ** 3, (t - 16 / 116) / 7.787)
    xyz = np.stack([0.9642 * f(fy + a / 500), f(fy), 0.8249 * f(fy - b / 200)], 1)
    bradford = np.array([[0.9555766, -0.0230393, 0.0631636], [-0.0282895, 1.0099416, 0.0210077],
                         [0.0122982, -0.0204830, 1.3299098]])
    to_rgb = np.array([[3.2404542, -1.5371385, -0.4985314], [-0.9692660, 1.8760108, 0.0415560],
                       [0.0556434, -0.2040259, 1.0572252]])
    return to_encoded(xyz @ bradford.T @ to_rgb.T)


def place_chart(img, patches, share=0.4):
    """The chart (6 x 4 patches on a dark card) in the bottom right corner, `share` of the
    width; returns the picture and the grey patches' regions (inner parts, edges left out)."""
    img = img.copy()
    h, w, _ = img.shape
    p = int(w * share) // 6
    x0, y0 = w - 6 * p - 4, h - 4 * p - 4
    img[y0 - 2:y0 + 4 * p + 2, x0 - 2:x0 + 6 * p + 2] = 30
    greys = []
    for k, colour in enumerate(patches):
        r, c = divmod(k, 6)
        ys = slice(y0 + r * p + 2, y0 + (r + 1) * p - 2)
        xs = slice(x0 + c * p + 2, x0 + (c + 1) * p - 2)
        img[ys, xs] = colour
        if k >= 18:
            greys.append((ys, xs))
    return img, greys


def grey_angle(img, greys):
    """Mean over the grey patches of the angle (degrees) of the patch's mean colour from grey."""
    angles = []
    for ys, xs in greys:
        m = img[ys, xs].reshape(-1, 3).mean(0) + 1.0
        angles.append(np.degrees(np.arccos(min(1.0, m.sum() / np.sqrt(3 * (m @ m))))))
    return float(np.mean(angles))


# ---------------------------------------------------------------- casts


def illuminant(gain, exposure=1.0):
    return lambda img: to_uint8(to_encoded(to_linear(img) * np.array(gain) * exposure))


def gain_lift(gain, lift):
    return lambda img: to_uint8(img * np.array(gain) + np.array(lift))


def midtone(gammas):
    return lambda img: to_uint8(255.0 * (img / 255.0) ** np.array(gammas))


WARM, COOL = (1.25, 1.0, 0.65), (0.75, 0.92, 1.3)
GREEN, MAGENTA = (0.8, 1.15, 0.8), (1.1, 0.8, 1.1)

FAMILIES = {
    "gain": {"warm": illuminant(WARM), "cool": illuminant(COOL), "green": illuminant(GREEN),
             "magenta": illuminant(MAGENTA)},
    "gain+lift": {"warm": gain_lift((1.12, 1.0, 0.78), (0, 6, 22)),
                  "cool": gain_lift((0.80, 0.95, 1.15), (20, 6, 0)),
                  "faded": gain_lift((0.85, 0.9, 0.8), (30, 22, 38))},
    "mid-tone": {"warm": midtone((0.8, 1.0, 1.3)), "cool": midtone((1.3, 1.05, 0.8)),
                 "green": midtone((1.15, 0.85, 1.15))},
    "exposure": {"dark warm": illuminant(WARM, 0.45), "bright cool": illuminant(COOL, 1.6)},
    "clipped": {"warm": illuminant(WARM, 2.5), "green": illuminant(GREEN, 2.5)},
}
# Casts of the strength real footage shows when a camera is left on the wrong light (15 to
# 20 degrees on the chart's greys, three times the families above): tungsten on a daylight
# setting, shade on a tungsten setting and a green-cast sensor. Only the balance bench
# shows them; the families above stay the quality bench's.
STRONG_FAMILY = {"strong": {"tungsten": illuminant((2.0, 1.0, 0.35)),
                            "shade": illuminant((0.5, 0.9, 2.0)),
                            "green": illuminant((0.65, 1.5, 0.5))}}
# The families the targets are set on; the other two are shown, not targeted.
TARGET_FAMILIES = ["gain", "gain+lift", "mid-tone"]


# ---------------------------------------------------------------- pictures without a cast


def generated_scenes(seed=0, h=300, w=400):
    """A sunset, a forest and a red-lit stage, made in linear light with a little grain."""
    rng = np.random.default_rng(seed)
    y = np.linspace(0, 1, h)[:, None, None]
    x = np.linspace(0, 1, w)[None, :, None]
    scenes = {}
    sky = (1 - y) * np.array([0.35, 0.08, 0.12]) + y * np.array([1.0, 0.55, 0.15])
    sun = np.exp(-((x - 0.6) ** 2 + (y - 0.62) ** 2) / 0.004) * np.array([0.0, 0.45, 0.35])
    scenes["sunset"] = np.where(y > 0.7, np.array([0.04, 0.02, 0.03]), sky + sun)
    blotches = rng.random((h // 10 + 1, w // 10 + 1))
    blotches = np.kron(blotches, np.ones((10, 10)))[:h, :w, None]
    leaves = np.array([0.05, 0.22, 0.04]) * (0.3 + 1.4 * blotches)
    trunks = (np.sin(x * 60) > 0.85) & (y > 0.3)
    forest = np.where(trunks, np.array([0.10, 0.06, 0.03]), leaves)
    scenes["forest"] = np.where((blotches > 0.93) & (y < 0.3), np.array([0.7, 0.8, 0.9]), forest)
    r = np.sqrt((x - 0.5) ** 2 + ((y - 0.5) * 0.75) ** 2)
    spot = np.clip(1 - r / 0.25, 0, 1) ** 1.5
    rim = (blotches > 0.97) * np.array([0.05, 0.05, 0.12])
    scenes["red stage"] = 0.005 + spot * np.array([0.9, 0.05, 0.06]) + rim
    return {k: to_uint8(to_encoded(v + rng.normal(0, 0.004, v.shape))) for k, v in scenes.items()}


def own_colour_pictures(photo_dir, decode_image):
    pictures = {n.split(".")[0]: decode_image(os.path.join(photo_dir, n))
                for n in OWN_COLOUR_PHOTOS}
    pictures.update(generated_scenes())
    return pictures


# ---------------------------------------------------------------- the rows


def mean_angle(result, original):
    a = result.reshape(-1, 3).mean(0) + 1.0
    b = original.reshape(-1, 3).mean(0) + 1.0
    return float(np.degrees(np.arccos(min(1.0, (a @ b) / np.sqrt((a @ a) * (b @ b))))))


def family_rows(photos, own_colour, patches, tools, still):
    """family -> tool -> list of angles, one per picture and cast. `still(picture, runner)`
    runs a tool on a still of the picture and returns the measured frame. Cast families
    measure the grey patches; "neutral" and "own colour" the change of the mean colour."""
    rows = {}

    def add(family, tool, value):
        rows.setdefault(family, {}).setdefault(tool, []).append(value)

    for name, photo in photos.items():
        charted, greys = place_chart(photo, patches)
        for family, casts in FAMILIES.items():
            for cast in casts.values():
                picture = cast(charted)
                add(family, "input", grey_angle(picture, greys))
                for tool, runner in tools.items():
                    add(family, tool, grey_angle(still(picture, runner), greys))
        add("neutral", "input", 0.0)
        for tool, runner in tools.items():
            add("neutral", tool, mean_angle(still(charted, runner), charted))
    for name, picture in own_colour.items():
        add("own colour", "input", 0.0)
        for tool, runner in tools.items():
            add("own colour", tool, mean_angle(still(picture, runner), picture))
    return rows


def family_report(rows):
    tools = list(next(iter(rows.values())))
    lines = ["### Cast families: median / worst angle left (degrees)\n",
             "Cast families: the grey patches' angle from grey. `neutral` (photographs with the "
             "chart, no cast) and `own colour`: the change of the mean colour a tool made.\n",
             "| family | " + " | ".join(tools) + " |", "|---" * (len(tools) + 1) + "|"]
    for family, per_tool in rows.items():
        cells = [f"{np.median(v):.2f} / {np.max(v):.1f}" for v in per_tool.values()]
        lines.append(f"| {family} | " + " | ".join(cells) + " |")
    return "\n".join(lines) + "\n"


def still_runner(write_clip, work, frames):
    """still(picture, runner): the last frame a tool makes of `frames` copies of the picture
    (telvo's average has settled by then)."""
    def still(picture, runner):
        h, w, _ = picture.shape
        clip = os.path.join(work, "family.nut")
        write_clip(np.repeat(picture[None], frames, axis=0), clip)
        return runner(clip, w, h)[-1]
    return still


def target_summary(rows, clips_out, peers, tool="telvo --balance", default="telvo"):
    """The issue's targets, each with the measured numbers and whether it is met."""
    if tool not in rows["gain"]:
        return ""
    lines = [f"### Targets for `{tool}`\n"]
    verdict = lambda ok: "met" if ok else "**missed**"
    for family in TARGET_FAMILIES:
        per = rows[family]
        best = min(peers, key=lambda p: np.median(per[p]))
        ours, theirs = np.median(per[tool]), np.median(per[best])
        lines.append(f"- {family}: median {ours:.2f}° against the best peer's ({best}) "
                     f"{theirs:.2f}°: {verdict(ours <= theirs)}")
    uncast = rows["neutral"][tool] + rows["own colour"][tool]
    lines.append(f"- uncast pictures: median change {np.median(uncast):.2f}° (at most 1°), worst "
                 f"{np.max(uncast):.2f}° (at most 6°): "
                 f"{verdict(np.median(uncast) <= 1 and np.max(uncast) <= 6)}")
    for name, per in clips_out.items():
        if tool not in per:
            continue
        ours, theirs = per[tool]["steady"], per[default]["steady"]
        lines.append(f"- steadiness, {name}: {ours:.2f} against {default}'s {theirs:.2f} "
                     f"(levels of the mean colour shift per frame): {verdict(ours <= theirs)}")
    return "\n".join(lines) + "\n"
