#!/usr/bin/python3
"""Renders the default poster with two builds and compares the pictures.

    scripts/poster-parity.py <quillon-poster A> <quillon-poster B>
                             [--max-mean 1.0] [--max-share 0.0005]
    scripts/poster-parity.py <quillon-poster A> --against <picture.png>

Each program runs in a fresh folder of its own (it writes out/poster.png
there). Printed: the mean absolute difference over every channel of every
pixel (alpha left out when both pictures are opaque), and the share of pixels
differing by more than 64 in any channel.
Exits 1 when either exceeds its bound, 2 when a run fails.

With --against, the one program's poster is compared with a picture drawn
before (the README's docs/poster.png, drawn with the real Blend2D).

Used by CI to hold the stand-in's pictures to the real Blend2D's. Needs numpy
and Pillow: run it with Debian's /usr/bin/python3.
"""
import argparse
import os
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image


def render(program, workdir):
    env = dict(os.environ)
    env.pop("LD_LIBRARY_PATH", None)  # the builds carry their own run paths
    run = subprocess.run([program], cwd=workdir, env=env, capture_output=True, text=True)
    if run.returncode != 0:
        sys.stderr.write(f"{program} failed ({run.returncode}):\n{run.stdout}{run.stderr}")
        sys.exit(2)
    with Image.open(os.path.join(workdir, "out", "poster.png")) as png:
        return np.asarray(png.convert("RGBA"), dtype=np.int16)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("first")
    parser.add_argument("second", nargs="?")
    parser.add_argument("--against", help="a PNG to compare the first program's poster with")
    parser.add_argument("--max-mean", type=float, default=1.0,
                        help="bound on the mean absolute channel difference (default 1.0)")
    parser.add_argument("--max-share", type=float, default=0.0005,
                        help="bound on the share of pixels differing by more than 64 (default 0.0005)")
    args = parser.parse_args()

    if (args.second is None) == (args.against is None):
        parser.error("give a second program or --against PICTURE, not both")
    programs = (args.first,) if args.against else (args.first, args.second)
    with tempfile.TemporaryDirectory(prefix="poster-parity-") as tmp:
        images = []
        for i, program in enumerate(programs):
            workdir = os.path.join(tmp, str(i))
            os.mkdir(workdir)
            images.append(render(os.path.abspath(program), workdir))
    if args.against:
        with Image.open(args.against) as png:
            images.append(np.asarray(png.convert("RGBA"), dtype=np.int16))

    a, b = images
    if a.shape != b.shape:
        print(f"poster parity: sizes differ: {a.shape[1]}x{a.shape[0]} and {b.shape[1]}x{b.shape[0]}")
        return 1
    # Channels compared: red, green and blue, and alpha too unless both
    # pictures are opaque throughout (a constant alpha would only dilute the
    # mean).
    if (a[..., 3] == 255).all() and (b[..., 3] == 255).all():
        a, b = a[..., :3], b[..., :3]
    diff = np.abs(a - b)
    mean = float(diff.mean())
    far = int(np.count_nonzero(diff.max(axis=2) > 64))
    pixels = a.shape[0] * a.shape[1]
    share = far / pixels
    print(f"poster parity: {a.shape[1]}x{a.shape[0]} pixels, mean absolute channel difference "
          f"{mean:.3f} (bound {args.max_mean}), {far} pixels ({100 * share:.4f} %) differ by more "
          f"than 64 (bound {100 * args.max_share:.4f} %)")
    if mean > args.max_mean or share > args.max_share:
        print("poster parity: FAILED")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
