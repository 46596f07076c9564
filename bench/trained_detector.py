#!/usr/bin/python3
"""A trained detector against glint hide -p: what a steganalyst with the
program and photographs of their own would build.

Covers: many 256 x 256 crops of the photographs steganalysis.py uses (16 of
each colour one, 9 of each grey one), each rescaled by its own random factor
(anti-aliased) so that no two crops are alike. Each is hidden at every share
given. Features, on colour pictures: co-occurrences of the red, green and
blue samples' first and second differences to the next pixel, and of their
residuals under a 3 x 3 high-pass kernel (a photograph's channels rise and
fall together, which independent +-1 changes weaken); on grey ones, of three
differences in a row. A Fisher linear discriminant is trained for each share
on the covers and stego images of every photograph but one and scores that
one's (leave one photograph out), and the area under the ROC curve of all
those scores is printed: 0.5 is chance.

  trained_detector.py PROGRAM [--rates 0.05,0.10,0.25,0.50] [--jobs N]

Never part of the test suite: it takes several minutes.
"""

import argparse
import concurrent.futures
import os
import subprocess
import sys
import tempfile
import time
import warnings

import numpy as np
from scipy import ndimage

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import steganalysis as sa  # noqa: E402

CROPS = {"colour": 16, "grey": 9}
KERNEL = np.array([[-1, 2, -1], [2, -4, 2], [-1, 2, -1]])


def covers(seed=7):
    from skimage.transform import rescale
    warnings.filterwarnings("ignore")
    rng = np.random.default_rng(seed)
    made = []
    for name, picture in sa.photographs():
        picture = np.clip(picture, 0, 255).astype(np.uint8)
        if picture.ndim == 3:
            picture = picture[:, :, :3]
        grey = picture.ndim == 2
        for _ in range(CROPS["grey" if grey else "colour"]):
            factor = rng.uniform(0.3, 1.0)
            if min(picture.shape[:2]) * factor < sa.CROP:
                factor = sa.CROP / min(picture.shape[:2]) * rng.uniform(1.01, 1.3)
            scaled = rescale(picture.astype(np.float64), factor, anti_aliasing=factor < 1, preserve_range=True,
                             channel_axis=None if grey else 2)
            scaled = np.clip(np.rint(scaled), 0, 255).astype(np.uint8)
            y = rng.integers(0, scaled.shape[0] - sa.CROP + 1)
            x = rng.integers(0, scaled.shape[1] - sa.CROP + 1)
            crop = scaled[y:y + sa.CROP, x:x + sa.CROP]
            rgb = np.repeat(crop[:, :, None], 3, axis=2) if grey else crop
            made.append((name, grey, np.ascontiguousarray(rgb)))
    return made


def cooccurrence(a, b, c, t):
    n = 2 * t + 1
    a, b, c = (np.clip(v, -t, t) + t for v in (a, b, c))
    h = np.bincount(((a * n + b) * n + c).ravel(), minlength=n ** 3).astype(float)
    return h / h.sum()


def colour_features(rgb):
    x = rgb.astype(np.int32)
    parts = []
    for order in (1, 2):
        h = [cooccurrence(*(np.moveaxis(np.diff(x, order, axis=axis), 2, 0)), 3) for axis in (0, 1)]
        parts.append(np.mean(h, 0))
    residual = np.stack([ndimage.convolve(x[:, :, k], KERNEL, mode="reflect") for k in range(3)], -1)
    q = np.rint(residual / 4).astype(int)
    parts.append(cooccurrence(q[:, :, 0], q[:, :, 1], q[:, :, 2], 2))
    d, e = q[:, :, 0] - q[:, :, 1], q[:, :, 1] - q[:, :, 2]
    parts.append(cooccurrence(d[:, :-1], d[:, 1:], e[:, :-1], 2))
    return np.sqrt(np.concatenate(parts))


def grey_features(rgb):
    x = rgb[:, :, 0].astype(np.int32)
    rows, columns = np.diff(x, axis=1), np.diff(x, axis=0)
    return np.sqrt(np.concatenate([cooccurrence(rows[:, :-2], rows[:, 1:-1], rows[:, 2:], 3),
                                   cooccurrence(columns[:-2], columns[1:-1], columns[2:], 3)]))


def features(rgb, grey):
    return grey_features(rgb) if grey else colour_features(rgb)


def fisher(train, labels, ridge=0.1):
    mean, spread = train.mean(0), train.std(0) + 1e-9
    z = (train - mean) / spread
    within = np.cov(z[labels].T) + np.cov(z[~labels].T)
    within += ridge * np.trace(within) / len(within) * np.eye(len(within))
    w = np.linalg.solve(within, z[labels].mean(0) - z[~labels].mean(0))
    return lambda rows: ((rows - mean) / spread) @ w


def left_out_auc(x, labels, photos):
    scores = np.empty(len(labels))
    for photo in np.unique(photos):
        held = photos == photo
        scores[held] = fisher(x[~held], labels[~held])(x[held])
    return sa.auc(scores[~labels], scores[labels])


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("program")
    parser.add_argument("--rates", default="0.05,0.10,0.25,0.50")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    args = parser.parse_args()
    rates = [float(r) for r in args.rates.split(",")]
    started = time.time()
    made = covers()
    with tempfile.TemporaryDirectory() as folder:
        hider = sa.Hider("glint", args.program, True, folder)

        def stego_of(job):
            index, rate = job
            path = os.path.join(folder, f"cover-{index}.bmp")
            payload = os.path.join(folder, f"p{index}-{rate}")
            room = hider.capacity(path) - len(os.path.basename(payload))
            with open(payload, "wb") as f:
                f.write(os.urandom(max(1, int(round(rate * room)))))
            output = os.path.join(folder, f"stego-{index}-{rate}.bmp")
            hider.hide(path, payload, output)
            with open(output, "rb") as f:
                _, rgb = sa.read_bmp(f.read())
            os.remove(payload)
            os.remove(output)
            return features(rgb, made[index][1])

        for index, (_, _, rgb) in enumerate(made):
            with open(os.path.join(folder, f"cover-{index}.bmp"), "wb") as f:
                f.write(sa.bmp_bytes(rgb))
        clean = [features(rgb, grey) for _, grey, rgb in made]
        jobs = [(index, rate) for rate in rates for index in range(len(made))]
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            stego = dict(zip(jobs, pool.map(stego_of, jobs)))
    photos = np.array([name for name, _, _ in made])
    greys = np.array([grey for _, grey, _ in made])
    print(f"{len(made)} covers ({greys.sum()} grey as 24-bit) from {len(set(photos))} photographs, "
          f"glint {os.path.basename(args.program)} hide -p; AUC, leave one photograph out")
    print(f"{'share':>6} {'colour':>7} {'grey':>7}")
    for rate in rates:
        cells = []
        for grey in (False, True):
            chosen = np.flatnonzero(greys == grey)
            x = np.array([clean[i] for i in chosen] + [stego[(i, rate)] for i in chosen])
            labels = np.repeat([False, True], len(chosen))
            cells.append(left_out_auc(x, labels, np.concatenate([photos[chosen], photos[chosen]])))
        print(f"{rate * 100:5.0f}% {cells[0]:7.3f} {cells[1]:7.3f}")
    print(f"{time.time() - started:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
