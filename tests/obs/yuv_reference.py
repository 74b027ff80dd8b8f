# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""BT.709 limited-range 4:2:0 video and full-range RGB, both ways, from the standard's
formulas: the reference the OBS module's conversions are held to.

  yuv_reference.py to-rgb W H BITS YUV RGB
      planar 4:2:0 (yuv420p, or yuv420p10le for 10 bits) into packed RGB (bgr24, or
      rgb48le), chroma repeated over the pixels it covers
  yuv_reference.py compare W H BITS EXPECTED_RGB ACTUAL_YUV INPUT_YUV
      EXPECTED_RGB into 4:2:0 (each chroma sample the mean of its pixels) against
      ACTUAL_YUV; exit 1 when they are further apart than the two conversions' rounding
      (1 code of 8 bits, 0.02 on average) or INPUT_YUV is not clearly further off
"""
import sys

import numpy as np

KR, KB = 0.2126, 0.0722


def planes(path, w, h, deep):
    v = np.fromfile(path, np.uint16 if deep else np.uint8).astype(np.float64)
    v = v.reshape(-1, w * h * 3 // 2)
    n = len(v)
    y = v[:, : w * h].reshape(n, h, w)
    u = v[:, w * h : w * h * 5 // 4].reshape(n, h // 2, w // 2)
    c = v[:, w * h * 5 // 4 :].reshape(n, h // 2, w // 2)
    return y, u, c


def to_rgb(w, h, deep, source, target):
    scale = 4.0 if deep else 1.0
    y, u, v = planes(source, w, h, deep)
    up = lambda c: c.repeat(2, axis=1).repeat(2, axis=2)
    luma = (np.clip(y / scale, 16, 235) - 16) / 219
    cb = (np.clip(up(u) / scale, 16, 240) - 128) / 224
    cr = (np.clip(up(v) / scale, 16, 240) - 128) / 224
    r = luma + 2 * (1 - KR) * cr
    b = luma + 2 * (1 - KB) * cb
    g = (luma - KR * r - KB * b) / (1 - KR - KB)
    top = 65535.0 if deep else 255.0
    rgb = np.stack([r, g, b] if deep else [b, g, r], axis=-1)
    out = np.floor(np.clip(rgb, 0, 1) * top + 0.5)
    out.astype(np.uint16 if deep else np.uint8).tofile(target)


def to_yuv(w, h, deep, source):
    rgb = np.fromfile(source, np.uint16 if deep else np.uint8).astype(np.float64)
    rgb = rgb.reshape(-1, h, w, 3) / (65535.0 if deep else 255.0)
    if not deep:
        rgb = rgb[..., ::-1]  # bgr24
    r, g, b = rgb[..., 0], rgb[..., 1], rgb[..., 2]
    luma = KR * r + (1 - KR - KB) * g + KB * b
    cb, cr = (b - luma) / (2 * (1 - KB)), (r - luma) / (2 * (1 - KR))
    scale = 4.0 if deep else 1.0

    def codes(v, zero, span, top):
        return np.clip(np.floor(scale * (zero + span * v) + 0.5), 16 * scale, top * scale)

    def mean(c):
        return c.reshape(len(c), h // 2, 2, w // 2, 2).mean(axis=(2, 4))

    y = codes(luma, 16, 219, 235)
    u, v = (codes(mean(c), 128, 224, 240) for c in (cb, cr))
    return np.concatenate([p.reshape(len(y), -1) for p in (y, u, v)], axis=1), scale


def compare(w, h, deep, expected, actual, source):
    reference, scale = to_yuv(w, h, deep, expected)
    dtype = np.uint16 if deep else np.uint8
    ours, plain = (np.fromfile(f, dtype).astype(np.float64) for f in (actual, source))
    if ours.size != reference.size or plain.size != reference.size:
        print("     %d and %d values, expected %d" % (ours.size, plain.size, reference.size))
        return 1
    diff = np.abs(ours - reference.ravel()) / scale
    off = np.abs(plain - reference.ravel()).mean() / scale
    print("     largest difference %.2f, mean %.3f (8-bit codes); the input is %.2f away"
          % (diff.max(), diff.mean(), off))
    return 0 if diff.max() <= 1 and diff.mean() <= 0.02 and off > 2 else 1


def main(argv):
    command, w, h, bits = argv[1], int(argv[2]), int(argv[3]), int(argv[4])
    if command == "to-rgb":
        to_rgb(w, h, bits > 8, *argv[5:7])
        return 0
    return compare(w, h, bits > 8, *argv[5:8])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
