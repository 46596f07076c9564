#!/bin/sh
# Remakes the BMP fixtures of picture_test.cpp with the writers people use
# (ImageMagick 6, Pillow, netpbm), plus the two kinds none of them writes
# (RLE4 and a top-down palette picture), built here byte by byte. The tests
# read the committed files; this is only how they were made.
set -eu
cd "$(dirname "$0")"
# 7 x 5 in the eight colours whose channels are 0 or 255: exact in every
# palette, in 5-bit and 6-bit fields, and in RLE.
/usr/bin/python3 - <<'PY'
from PIL import Image
colours = [(r, g, b) for r in (0, 255) for g in (0, 255) for b in (0, 255)]
im = Image.new('RGB', (7, 5))
im.putdata([colours[(x * 3 + y * 5 + (x * y) % 3) % 8] for y in range(5) for x in range(7)])
im.save('expected-8.png')
two = Image.new('RGB', (7, 5))
two.putdata([(255, 255, 255) if (x + 2 * y) % 3 else (0, 0, 0) for y in range(5) for x in range(7)])
two.save('expected-2.png')
im.convert('P', palette=Image.ADAPTIVE, colors=8).save('pillow-palette8.bmp')
two.convert('1').save('pillow-1bit.bmp')
im.convert('RGBA').save('pillow-32bit.bmp')
PY
convert expected-8.png -type truecolor imagemagick-v5-24bit.bmp
convert expected-8.png -type palette BMP3:imagemagick-palette4.bmp
convert expected-8.png -type palette -compress RLE BMP3:imagemagick-rle8.bmp
convert expected-8.png -define bmp:subtype=RGB565 imagemagick-565.bmp
convert expected-8.png -define bmp:subtype=RGB555 imagemagick-555.bmp
convert expected-8.png BMP2:imagemagick-os2.bmp
pngtopnm expected-8.png | ppmtobmp -bpp 4 2>/dev/null > netpbm-palette4.bmp
pngtopnm expected-8.png | ppmtobmp -os2 -bpp 4 2>/dev/null > netpbm-os2-palette4.bmp
/usr/bin/python3 - <<'PY'
import struct
from PIL import Image
im = Image.open('expected-8.png')
colours = [(r, g, b) for r in (0, 255) for g in (0, 255) for b in (0, 255)]
index = [[colours.index(im.getpixel((x, y))) for x in range(7)] for y in range(5)]
def bmp(height, bits, compression, pixels):
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in colours)
    info = struct.pack('<IiiHHIIiiII', 40, 7, height, 1, bits, compression, len(pixels), 0, 0, 8, 0)
    offset = 14 + 40 + len(table)
    return b'BM' + struct.pack('<IHHI', offset + len(pixels), 0, 0, offset) + info + table + pixels
top_down = b''.join(bytes(row) + b'\0' for row in index)
open('handmade-top-down-palette8.bmp', 'wb').write(bmp(-5, 8, 0, top_down))
rle4 = b''
for row in reversed(index):
    for x in range(0, 7, 2):
        pair = row[x:x + 2]
        rle4 += bytes([len(pair), (pair[0] << 4) | (pair[-1] if len(pair) == 2 else 0)])
    rle4 += b'\0\0'
rle4 += b'\0\1'
open('handmade-rle4.bmp', 'wb').write(bmp(5, 4, 2, rle4))
PY
