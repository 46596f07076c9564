#!/usr/bin/env bash
# Times glint hide -p in a 256 MiB 24-bit BMP of few colours (skimage's
# retina photograph tiled), where the hidden layout steps towards colours
# the picture holds, against plain hide of the same payload: 6 MiB (about a
# fifth of the room, steered) and 30 MiB (beyond a quarter, not steered).
# Prints the fastest of the runs, wall and user time, and peak memory.
#
#   bench/few_colour_run.sh [path/to/glint] [runs]
set -euo pipefail
glint=$(realpath "${1:-build/bin/glint}")
runs=${2:-5}
work=$(mktemp -d "${TMPDIR:-/var/tmp}/glint-few-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
/usr/bin/python3 - <<'PY'
import struct
import numpy as np
import skimage.data
picture = skimage.data.retina()[:, :, :3]
width, height = 8192, 10923
tiled = np.tile(picture, (height // picture.shape[0] + 1, width // picture.shape[1] + 1, 1))[:height, :width]
with open("cover.bmp", "wb") as f:
    f.write(b"BM" + struct.pack("<IHHI", 54 + 3 * width * height, 0, 0, 54))
    f.write(struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, 0, 2835, 2835, 0, 0))
    f.write(np.ascontiguousarray(tiled[::-1, :, ::-1]).tobytes())
PY
head -c $((6 << 20)) /dev/urandom > six.bin
head -c $((30 << 20)) /dev/urandom > thirty.bin
printf 'a passphrase for the benchmark\n' > passphrase.txt
for ((i = 0; i < runs; i++)); do
  for payload in six.bin thirty.bin; do
    for kind in plain p; do
      options=()
      [[ $kind == p ]] && options=(--passphrase-file passphrase.txt)
      start=$(date +%s%N)
      /usr/bin/time -f '%U %M' -o usage.txt "$glint" hide -q "${options[@]}" cover.bmp "$payload" out.bmp
      end=$(date +%s%N)
      echo "$payload $kind $(( (end - start) / 1000000 )) $(cat usage.txt)"
    done
  done
done | sort | awk '{ key = $1 " " $2
  if (!(key in wall) || $3 < wall[key]) wall[key] = $3
  if (!(key in user) || $4 < user[key]) user[key] = $4
  if ($5 > peak[key]) peak[key] = $5 }
  END { for (key in wall) printf "%-12s hide%s  fastest %5d ms  user %.2f s  peak %d MiB\n", key, "", wall[key], user[key], peak[key] / 1024 }' | sort
echo "(p: hide -p, whose key derivation takes about 0.2-0.3 s of it)"
