#!/usr/bin/python3
"""Classic steganalysis of glint's stego images, on real photographs.

Builds a cover set of 256 x 256 crops of the photographs that ship with
Debian's python3-skimage, python3-scipy and python3-matplotlib (colour ones,
and grey ones stored as 24-bit with R = G = B), hides random payloads at
several shares of each cover's capacity with the program given, and runs the
classic detectors on covers and stego images alike:

  length     the first 32 LSBs read as a length L flag the image when
             32 + 8 L fits the data area
  rs         RS analysis (Fridrich, Goljan, Du 2001): estimated share
  spa        Sample Pair Analysis (Dumitrescu, Wu, Wang 2003): estimated share
  chi1       chi-square attack (Westfeld, Pfitzmann 1999) on the first 1% of
             the carried samples; chiall on all of them
  hcf        calibrated HCF centre of mass (Ker 2005), aimed at +-1 changes
  hcf2d      the same on the adjacency histogram of horizontal pairs
  ale        amplitude of local extrema of the histogram (Cancelli et al.
             2008), aimed at +-1 changes
  close      close-colour pairs (Westfeld 2003): ordered pairs of distinct
             colours at most 1 apart in each of R, G and B, per colour
  closecal   the same over its value after +-1 at half the samples, at
             random: calibrated, it tells few-colour pictures apart
  lone       pixels one off, in one sample (one grey level in a grey
             picture), from a flat 3 x 3 patch around them: no camera or
             scaler makes many

For each detector and share it prints the area under the ROC curve (covers
against stego images) and the detection rate at the threshold that flags 5%
of the covers; and the changed samples per hidden bit.

  steganalysis.py glint PROGRAM [--passphrase]   glint hide [-p]
  steganalysis.py driver PROGRAM                 a driver of the same command
                                                 line (hide/capacity with
                                                 --passphrase-file)
Never part of the test suite: it takes a few minutes.
"""

import argparse
import concurrent.futures
import os
import struct
import subprocess
import sys
import tempfile
import time
import warnings

import numpy as np
from scipy import stats

CROP = 256


# ---------------------------------------------------------------- covers

def photographs():
    """(name, array) of every photograph available, uint8, H x W x 3 or H x W."""
    warnings.filterwarnings("ignore", category=DeprecationWarning)
    import skimage.data as sd
    from scipy import misc
    import matplotlib.cbook as cbook
    from PIL import Image
    pictures = []
    for name in ["astronaut", "camera", "chelsea", "coffee", "coins", "grass", "gravel", "brick",
                 "hubble_deep_field", "immunohistochemistry", "moon", "motorcycle_left", "retina",
                 "rocket", "cell", "clock"]:
        loader = getattr(sd, name, None)
        if name == "motorcycle_left":
            pictures.append((name, sd.stereo_motorcycle()[0]))
        elif loader is not None:
            pictures.append((name, loader()))
    pictures.append(("ascent", np.clip(misc.ascent(), 0, 255).astype(np.uint8)))
    pictures.append(("face", misc.face()))
    hopper = cbook.get_sample_data("grace_hopper.jpg", asfileobj=False)
    pictures.append(("grace_hopper", np.asarray(Image.open(hopper).convert("RGB"))))
    return pictures


def crops(picture):
    """Four 256 x 256 crops spread over the picture (fewer when it is small)."""
    h, w = picture.shape[:2]
    ys = sorted({0, (h - CROP) // 3, 2 * (h - CROP) // 3, h - CROP})
    xs = sorted({0, (w - CROP) // 2, w - CROP})
    places = [(ys[0], xs[0]), (ys[-1], xs[-1]), (ys[len(ys) // 2], xs[len(xs) // 2]),
              (ys[1 if len(ys) > 1 else 0], xs[-1])]
    seen = []
    for y, x in places:
        if (y, x) not in seen:
            seen.append((y, x))
    return [picture[y:y + CROP, x:x + CROP] for y, x in seen]


def cover_set():
    covers = []
    for name, picture in photographs():
        if picture.dtype != np.uint8:
            picture = np.clip(picture, 0, 255).astype(np.uint8)
        if picture.ndim == 3:
            picture = picture[:, :, :3]
        if min(picture.shape[:2]) < CROP:
            continue
        for i, crop in enumerate(crops(picture)):
            rgb = np.repeat(crop[:, :, None], 3, axis=2) if crop.ndim == 2 else crop
            covers.append((f"{name}-{i}", np.ascontiguousarray(rgb)))
    return covers


# ---------------------------------------------------------------- BMP files

def bmp_bytes(rgb):
    """A 24-bit bottom-up BMP with a 40-byte info header, as image writers make it."""
    h, w, _ = rgb.shape
    row = (3 * w + 3) & ~3
    pixels = bytearray()
    for y in range(h - 1, -1, -1):
        line = rgb[y, :, ::-1].tobytes()
        pixels += line + bytes(row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    header += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + bytes(pixels)


def read_bmp(data):
    """(data area, H x W x 3 RGB array) of a bottom-up 24-bit BMP."""
    offset = struct.unpack_from("<I", data, 10)[0]
    w, h = struct.unpack_from("<ii", data, 18)
    row = (3 * w + 3) & ~3
    area = np.frombuffer(data, dtype=np.uint8, offset=54)
    pixels = np.frombuffer(data, dtype=np.uint8, offset=offset, count=row * h).reshape(h, row)
    rgb = pixels[::-1, :3 * w].reshape(h, w, 3)[:, :, ::-1]
    return area, np.ascontiguousarray(rgb)


# ---------------------------------------------------------------- detectors

def length_field(area, rgb):
    bits = area[:32] & 1
    length = int(sum(int(b) << i for i, b in enumerate(bits)))
    return 1.0 if 0 < length and 32 + 8 * length <= len(area) else 0.0


def _rs_counts(x, mask):
    """Regular and singular shares of groups of 4 horizontal samples under
    flipping by `mask` (1: F1, -1: F-1, 0: none)."""
    w = x.shape[1] - x.shape[1] % 4
    g = x[:, :w].reshape(-1, 4).astype(np.int32)

    def f(v):
        return np.abs(np.diff(v, axis=1)).sum(axis=1)

    def flip(v, m):
        out = v.copy()
        for i, mi in enumerate(m):
            if mi == 1:
                out[:, i] = v[:, i] ^ 1
            elif mi == -1:
                out[:, i] = ((v[:, i] + 1) ^ 1) - 1
        return out

    base = f(g)
    flipped = f(flip(g, mask))
    n = len(g)
    return np.count_nonzero(flipped > base) / n, np.count_nonzero(flipped < base) / n


def rs(area, rgb):
    mask = [0, 1, 1, 0]
    negative = [-m for m in mask]
    estimates = []
    for c in range(3):
        x = rgb[:, :, c]
        r_m, s_m = _rs_counts(x, mask)
        r_n, s_n = _rs_counts(x, negative)
        y = x ^ 1
        r_m1, s_m1 = _rs_counts(y, mask)
        r_n1, s_n1 = _rs_counts(y, negative)
        d0, d1 = r_m - s_m, r_m1 - s_m1
        e0, e1 = r_n - s_n, r_n1 - s_n1
        a = 2 * (d1 + d0)
        b = e0 - e1 - d1 - 3 * d0
        cc = d0 - e0
        if abs(a) < 1e-12:
            z = -cc / b if abs(b) > 1e-12 else 0.0
        else:
            disc = max(b * b - 4 * a * cc, 0.0)
            roots = [(-b + np.sqrt(disc)) / (2 * a), (-b - np.sqrt(disc)) / (2 * a)]
            z = min(roots, key=abs)
        estimates.append(z / (z - 0.5) if abs(z - 0.5) > 1e-12 else 1.0)
    return float(np.mean(estimates))


def spa(area, rgb):
    estimates = []
    for c in range(3):
        x = rgb[:, :, c].astype(np.int32)
        u = x[:, :-1].ravel()
        v = x[:, 1:].ravel()
        P = len(u)
        X = np.count_nonzero(((v % 2 == 0) & (u < v)) | ((v % 2 == 1) & (u > v)))
        Y = np.count_nonzero(((v % 2 == 0) & (u > v)) | ((v % 2 == 1) & (u < v)))
        Z = np.count_nonzero(u == v)
        W = np.count_nonzero(((u // 2) == (v // 2)) & (u != v))
        gamma = W + Z
        if gamma == 0:
            estimates.append(0.0)
            continue
        a, b, cc = 0.5 * gamma, 2 * X - P, Y - X
        disc = max(b * b - 4 * a * cc, 0.0)
        roots = [(-b + np.sqrt(disc)) / (2 * a), (-b - np.sqrt(disc)) / (2 * a)]
        estimates.append(min(roots, key=abs))
    return float(np.mean(estimates))


def _chi_square(samples):
    hist = np.bincount(samples, minlength=256).astype(float)
    even, odd = hist[0::2], hist[1::2]
    expected = (even + odd) / 2
    keep = expected > 4
    if keep.sum() < 2:
        return 0.0
    chi = (((even - expected) ** 2)[keep] / expected[keep]).sum()
    return float(stats.chi2.sf(chi, keep.sum() - 1))


def carried_samples(area, rgb):
    """The carried samples in file order (rows of B, G, R without padding)."""
    return rgb[::-1, :, ::-1].reshape(-1)


def chi_first(area, rgb):
    samples = carried_samples(area, rgb)
    return _chi_square(samples[:max(len(samples) // 100, 256)])


def chi_all(area, rgb):
    return _chi_square(carried_samples(area, rgb))


def _com(h):
    spectrum = np.abs(np.fft.fft(h))[:len(h) // 2 + 1]
    k = np.arange(len(spectrum))
    return (k * spectrum).sum() / spectrum.sum()


def _com2d(h):
    spectrum = np.abs(np.fft.fft2(h))[:129, :129]
    k = np.arange(129)
    return ((k[:, None] + k[None, :]) * spectrum).sum() / spectrum.sum()


def _downsampled(x):
    h, w = x.shape[0] // 2 * 2, x.shape[1] // 2 * 2
    y = x[:h, :w].astype(np.int32)
    return ((y[0::2, 0::2] + y[1::2, 0::2] + y[0::2, 1::2] + y[1::2, 1::2]) // 4).astype(np.uint8)


def _adjacency(x):
    h = np.zeros((256, 256))
    np.add.at(h, (x[:, :-1].ravel(), x[:, 1:].ravel()), 1)
    return h


def hcf(area, rgb):
    """Lower calibrated centre of mass means more +-1 noise: the score is its negative."""
    ratios = []
    for c in range(3):
        x = rgb[:, :, c]
        ratios.append(_com(np.bincount(x.ravel(), minlength=256)) /
                      _com(np.bincount(_downsampled(x).ravel(), minlength=256)))
    return -float(np.mean(ratios))


def hcf2d(area, rgb):
    ratios = []
    for c in range(3):
        x = rgb[:, :, c]
        ratios.append(_com2d(_adjacency(x)) / _com2d(_adjacency(_downsampled(x))))
    return -float(np.mean(ratios))


def ale(area, rgb):
    """+-1 noise flattens the histogram's local extrema: the score is their negated amplitude."""
    total = 0.0
    for c in range(3):
        h = np.bincount(rgb[:, :, c].ravel(), minlength=256).astype(float)
        mid, left, right = h[1:-1], h[:-2], h[2:]
        extrema = ((mid > left) & (mid > right)) | ((mid < left) & (mid < right))
        total += np.abs(2 * mid - left - right)[extrema].sum()
    return -total / rgb.size


_CLOSE_STEPS = [(dr, dg, db) for dr in (-1, 0, 1) for dg in (-1, 0, 1) for db in (-1, 0, 1) if dr or dg or db]


def _close_ratio(rgb):
    """Ordered pairs of distinct colours of the picture at most 1 apart in
    each of R, G and B, per distinct colour."""
    c = rgb.astype(np.int64)
    colours = np.unique(((c[:, :, 0] << 16) | (c[:, :, 1] << 8) | c[:, :, 2]).ravel())
    r, g, b = colours >> 16, (colours >> 8) & 255, colours & 255
    close = 0
    for dr, dg, db in _CLOSE_STEPS:
        rr, gg, bb = r + dr, g + dg, b + db
        inside = (rr >= 0) & (rr < 256) & (gg >= 0) & (gg < 256) & (bb >= 0) & (bb < 256)
        wanted = ((rr << 16) | (gg << 8) | bb)[inside]
        at = np.minimum(np.searchsorted(colours, wanted), len(colours) - 1)
        close += np.count_nonzero(colours[at] == wanted)
    return close / len(colours)


def close_colours(area, rgb):
    """Close-colour pairs (Westfeld 2003): +-1 changes make colours one step
    from those of the picture."""
    return _close_ratio(rgb)


def close_calibrated(area, rgb):
    """The same, over the ratio after +-1 at every sample with probability
    1/2 (from a fixed seed): a clean few-colour picture gains many close pairs
    from it, one that already took +-1 changes fewer."""
    rng = np.random.default_rng(12345)
    noisy = rgb.astype(np.int32) + (rng.random(rgb.shape) < 0.5) * rng.choice([-1, 1], rgb.shape)
    noisy = np.where(noisy < 0, 1, np.where(noisy > 255, 254, noisy))
    return _close_ratio(rgb) / _close_ratio(noisy)


def lone_pixels(area, rgb):
    """Pixels one off, in one sample, the colour their eight neighbours all share
    (in a grey picture, one grey level off)."""
    if (rgb[:, :, 0] == rgb[:, :, 1]).all() and (rgb[:, :, 1] == rgb[:, :, 2]).all():
        rgb = rgb[:, :, :1]
    x = rgb.astype(np.int32)
    h, w, _ = x.shape
    patch = x[:-2, :-2]
    same = np.ones((h - 2, w - 2), bool)
    for dy in range(3):
        for dx in range(3):
            if (dy, dx) != (1, 1):
                same &= (x[dy:dy + h - 2, dx:dx + w - 2] == patch).all(-1)
    return int((same & (np.abs(x[1:-1, 1:-1] - patch).sum(-1) == 1)).sum())


DETECTORS = [("length", length_field), ("rs", rs), ("spa", spa), ("chi1", chi_first),
             ("chiall", chi_all), ("hcf", hcf), ("hcf2d", hcf2d), ("ale", ale),
             ("close", close_colours), ("closecal", close_calibrated), ("lone", lone_pixels)]


def scores(data):
    area, rgb = read_bmp(data)
    return {name: f(area, rgb) for name, f in DETECTORS}


def auc(cover, stego):
    c, s = np.asarray(cover), np.asarray(stego)
    greater = (s[:, None] > c[None, :]).mean()
    equal = (s[:, None] == c[None, :]).mean()
    return greater + equal / 2


def rate_at_5(cover, stego):
    threshold = np.quantile(cover, 0.95, method="higher")
    return float((np.asarray(stego) > threshold).mean())


# ---------------------------------------------------------------- hiding

class Hider:
    def __init__(self, kind, program, passphrase, folder):
        self.program = program
        self.options = []
        # glint hide -p stores the payload's file name with it, in the room capacity -p gives.
        self.stores_name = kind == "glint" and passphrase
        if kind == "driver" or passphrase:
            phrase = os.path.join(folder, "passphrase")
            with open(phrase, "w") as f:
                f.write("correct horse battery staple\n")
            self.options = ["--passphrase-file", phrase]

    def capacity(self, cover):
        out = subprocess.run([self.program, "capacity", *self.options, cover], capture_output=True, check=True)
        return int(out.stdout.split()[0])

    def hide(self, cover, payload, output):
        subprocess.run([self.program, "hide", "-q", *self.options, cover, payload, output],
                       capture_output=True, check=True)


def measure(job):
    hider, cover_path, cover, rate, room, folder, index = job
    payload = os.path.join(folder, f"payload-{index}")
    if hider.stores_name:
        room -= len(os.path.basename(payload))
    size = max(1, int(round(rate * room)))
    output = os.path.join(folder, f"stego-{index}.bmp")
    with open(payload, "wb") as f:
        f.write(os.urandom(size))
    hider.hide(cover_path, payload, output)
    with open(output, "rb") as f:
        stego = f.read()
    with open(cover_path, "rb") as f:
        cover_bytes = f.read()
    os.remove(payload)
    os.remove(output)
    _, rgb = read_bmp(stego)
    _, cover_rgb = read_bmp(cover_bytes)
    same_size = len(stego) == len(cover_bytes)
    was_grey = bool((cover_rgb[:, :, 0] == cover_rgb[:, :, 1]).all() and (cover_rgb[:, :, 1] == cover_rgb[:, :, 2]).all())
    still_grey = bool((rgb[:, :, 0] == rgb[:, :, 1]).all() and (rgb[:, :, 1] == rgb[:, :, 2]).all())
    difference = np.abs(rgb.astype(np.int32) - cover_rgb.astype(np.int32))
    # A grey pixel kept grey changes its three samples as one unit.
    if was_grey and still_grey:
        changed = int(np.count_nonzero(difference[:, :, 0]))
    else:
        changed = int(np.count_nonzero(difference))
    outside = np.frombuffer(stego, dtype=np.uint8)[:54] != np.frombuffer(cover_bytes, dtype=np.uint8)[:54]
    padding_changed = same_size and bmp_bytes(rgb) != stego and not outside.any()
    biggest = int(difference.max())
    return {"rate": rate, "scores": scores(stego), "changed": changed, "bits": 8 * size, "grey": was_grey,
            "largest": biggest, "header": stego[:54] == cover_bytes[:54], "cover": cover, "grey_kept": (not was_grey) or still_grey,
            "other_bytes": padding_changed or not same_size}


def report(rates, results, cover_scores, kinds, subset):
    """One table: every detector at every share, over all covers or one kind."""
    names = [n for n, _ in DETECTORS]
    covers = [c for c, k in zip(cover_scores, kinds) if subset is None or k == subset]
    print(f"{'share':>6} " + " ".join(f"{n:>13}" for n in names) + "   changes/bit (colour, grey)")
    print(f"{'':>6} " + " ".join(f"{'AUC  TPR@5%':>13}" for _ in names))
    for rate in rates:
        all_rows = [r for r in results if r["rate"] == rate]
        rows = [r for r in all_rows if subset is None or kinds[r["cover"]] == subset]
        cells = []
        for n in names:
            c = [s[n] for s in covers]
            s = [r["scores"][n] for r in rows]
            cells.append(f"{auc(c, s):5.2f} {rate_at_5(c, s):6.2f} ")
        per_bit = [sum(r["changed"] for r in all_rows if r["grey"] == g) /
                   max(1, sum(r["bits"] for r in all_rows if r["grey"] == g)) for g in (False, True)]
        print(f"{rate * 100:5.0f}% " + " ".join(f"{x:>13}" for x in cells) + f"   {per_bit[0]:.3f} {per_bit[1]:.3f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("kind", choices=["glint", "driver"])
    parser.add_argument("program")
    parser.add_argument("--passphrase", action="store_true", help="glint hide -p (with a passphrase file)")
    parser.add_argument("--rates", default="0.01,0.05,0.10,0.25,0.50,1.00")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--split", action="store_true", help="also the figures of colour and of grey covers alone")
    parser.add_argument("--repeat", type=int, default=1,
                        help="hides per cover and share, with fresh payloads: steadier figures for the stego side")
    args = parser.parse_args()
    rates = [float(r) for r in args.rates.split(",")]

    started = time.time()
    covers = cover_set()
    with tempfile.TemporaryDirectory() as folder:
        hider = Hider(args.kind, args.program, args.passphrase, folder)
        paths, rooms, cover_scores = [], [], []
        for name, rgb in covers:
            path = os.path.join(folder, f"{name}.bmp")
            data = bmp_bytes(rgb)
            with open(path, "wb") as f:
                f.write(data)
            paths.append(path)
            rooms.append(hider.capacity(path))
            cover_scores.append(scores(data))
        jobs = []
        for rate in rates:
            for i, path in enumerate(paths):
                for _ in range(args.repeat):
                    jobs.append((hider, path, i, rate, rooms[i], folder, len(jobs)))
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            results = list(pool.map(measure, jobs))

    grey = [bool((rgb[:, :, 0] == rgb[:, :, 1]).all() and (rgb[:, :, 1] == rgb[:, :, 2]).all()) for _, rgb in covers]
    print(f"{len(covers)} covers ({sum(grey)} grey as 24-bit), {args.kind} {os.path.basename(args.program)}"
          f"{' -p' if args.passphrase else ''}, capacity {min(rooms)}-{max(rooms)} bytes, {args.repeat} hide(s) each")
    report(rates, results, cover_scores, grey, None)
    if args.split:
        for subset in (False, True):
            print(f"{'grey' if subset else 'colour'} covers alone:")
            report(rates, results, cover_scores, grey, subset)
        # Colour covers whose close-colour pairs grow by a tenth or more
        # under +-1 noise: few colours, where +-1 changes show most.
        kinds = ["grey" if g else "few" if c["closecal"] < 0.9 else "rich" for g, c in zip(grey, cover_scores)]
        for kind in ("few", "rich"):
            print(f"colour covers with {'few' if kind == 'few' else 'many'} colours (calibrated close-colour score "
                  f"{'<' if kind == 'few' else '>='} 0.9), {kinds.count(kind)}:")
            report(rates, results, cover_scores, kinds, kind)
    print(f"stego images with a sample changed by more than 1: {sum(r['largest'] > 1 for r in results)}, "
          f"with a changed header: {sum(not r['header'] for r in results)}, "
          f"grey covers made non-grey: {sum(not r['grey_kept'] for r in results)}, "
          f"other bytes changed: {sum(r['other_bytes'] for r in results)} (of {len(results)})")
    print(f"{time.time() - started:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
