#!/bin/sh
# Remakes the fixtures of picture_files_test.cpp and cover_test.cpp: BMPs and
# JPEGs from the writers people use (ImageMagick 6, Pillow, netpbm), plus the
# kinds none of them writes, built here byte by byte; and
# PNGs of every colour type and depth, plain and interlaced, written here
# with zlib alone, their samples from the formula the test computes them by.
# The tests read the committed files; this is only how they were made.
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
translucent = im.convert('RGBA')
translucent.putalpha(Image.eval(im.convert('L'), lambda v: (v * 7 + 40) % 256))
translucent.save('expected-8-alpha.png')
PY
convert expected-8.png -type truecolor imagemagick-v5-24bit.bmp
convert expected-8.png -type palette BMP3:imagemagick-palette4.bmp
convert expected-8.png -type palette -compress RLE BMP3:imagemagick-rle8.bmp
convert expected-8.png -define bmp:subtype=RGB565 imagemagick-565.bmp
convert expected-8.png -define bmp:subtype=RGB555 imagemagick-555.bmp
convert expected-8.png BMP2:imagemagick-os2.bmp
convert expected-8-alpha.png imagemagick-32bit-alpha.bmp
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
# A BMP suite of the kinds none of the writers above makes, built here from
# the same picture: a 24-bit one with a colour table, one top-down (a classic
# header, carried as it is), one whose pixels start after a gap, 16 bits
# without masks, 32 bits with masks after a 40-byte header (usual and odd)
# and with a V4 header, palettes of 8 used entries, an OS/2 1.x header and 4
# bits, and RLE8 with absolute runs.
/usr/bin/python3 - <<'PY'
import struct
from PIL import Image
im = Image.open('expected-8.png').convert('RGB')
W, H = im.size
colours = [(r, g, b) for r in (0, 255) for g in (0, 255) for b in (0, 255)]
index = [[colours.index(im.getpixel((x, y))) for x in range(W)] for y in range(H)]
rgb = [[im.getpixel((x, y)) for x in range(W)] for y in range(H)]
def pad(row):
    return row + b'\0' * (-len(row) % 4)
def file(info, table, pixels, offset=None):
    offset = 14 + len(info) + len(table) if offset is None else offset
    return b'BM' + struct.pack('<IHHI', offset + len(pixels), 0, 0, offset) + info + table + pixels
def info40(bits, compression, size, colours_used=0, height=H, width=W):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, compression, size, 2835, 2835, colours_used, 0)
def quads(entries):
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in entries)
def rows(make, top_down=False):
    order = rgb if top_down else list(reversed(rgb))
    return b''.join(pad(make(row)) for row in order)
bgr = lambda row: b''.join(struct.pack('<BBB', b, g, r) for r, g, b in row)
def indexed(bits, row_indexes):
    out, acc, n = bytearray(), 0, 0
    for i in row_indexes:
        acc, n = (acc << bits) | i, n + bits
        if n == 8:
            out.append(acc); acc, n = 0, 0
    if n:
        out.append(acc << (8 - n))
    return bytes(out)
def pal_rows(bits):
    return b''.join(pad(indexed(bits, [colours.index(p) for p in row])) for row in reversed(rgb))
def write(name, data):
    open('suite-' + name + '.bmp', 'wb').write(data)
# 24 bits with an eight-entry colour table that the pixels do not use
pixels = rows(bgr)
write('rgb24-table', file(info40(24, 0, len(pixels), 8), quads(colours), pixels))
# 24 bits, classic header, rows top-down: carried as it is
pixels = rows(bgr, top_down=True)
write('rgb24-top-down', file(info40(24, 0, len(pixels), height=-H), b'', pixels))
# 24 bits whose pixels start after a gap
pixels = rows(bgr)
write('rgb24-gap', file(info40(24, 0, len(pixels)) + b'\0' * 6, b'', pixels))
# 16 bits without masks: 5 bits each, as BI_RGB means
five = lambda row: b''.join(struct.pack('<H', (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3)) for r, g, b in row)
pixels = rows(five)
write('rgb16-bi-rgb', file(info40(16, 0, len(pixels)), b'', pixels))
# 32 bits with masks after a 40-byte header: the usual ones, and blue in the
# top byte (which Wine's imaging component does not read)
masks = struct.pack('<III', 0x00FF0000, 0x0000FF00, 0x000000FF)
plain32 = lambda row: b''.join(struct.pack('<I', r << 16 | g << 8 | b) for r, g, b in row)
pixels = rows(plain32)
write('rgb32-bitfields', file(info40(32, 3, len(pixels)) + masks, b'', pixels))
masks = struct.pack('<III', 0x0000FF00, 0x00FF0000, 0xFF000000)
swapped = lambda row: b''.join(struct.pack('<I', r << 8 | g << 16 | b << 24) for r, g, b in row)
pixels = rows(swapped)
write('rgb32-odd-masks', file(info40(32, 3, len(pixels)) + masks, b'', pixels))
# 32 bits with a 108-byte (V4) header and no alpha
v4 = struct.pack('<IiiHHIIiiII', 108, W, H, 1, 32, 3, 0, 2835, 2835, 0, 0)
v4 += struct.pack('<IIII', 0x00FF0000, 0x0000FF00, 0x000000FF, 0) + b'sRGB' + b'\0' * 48
pixels = rows(plain32)
write('rgb32-v4', file(v4, b'', pixels))
# 8 bits with as many table entries as colours used
pixels = pal_rows(8)
write('pal8-used8', file(info40(8, 0, len(pixels), 8), quads(colours), pixels))
# 8 bits with an OS/2 1.x header (12 bytes) and three-byte table entries
os2 = struct.pack('<IHHHH', 12, W, H, 1, 8)
triples = b''.join(struct.pack('<BBB', b, g, r) for r, g, b in colours) + b'\0' * (3 * 248)
write('pal8-os2', file(os2, triples, pixels))
# 4 bits, 1 bit
write('pal4', file(info40(4, 0, 0, 8), quads(colours), pal_rows(4)))
# RLE8 with runs, absolute runs and an end of line before the row ends
rle = bytearray()
for row in reversed(rgb):
    ids = [colours.index(p) for p in row]
    rle += bytes([2, ids[0]]) if ids[0] == ids[1] else bytes([1, ids[0], 1, ids[1]])
    rle += bytes([0, 3]) + bytes(ids[2:5]) + b'\0'  # absolute run of three, padded to a word
    rle += bytes([1, ids[5], 1, ids[6]])
    rle += b'\0\0'
rle += b'\0\1'
write('rle8-absolute', file(info40(8, 1, len(rle), 8), quads(colours), bytes(rle)))
PY
/usr/bin/python3 - <<'PY'
import struct, zlib
W, H = 13, 7
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}
ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
def value(x, y, c, depth):
    if depth == 16:
        return (x * 7919 + y * 104729 + c * 31337 + x * y * 17) & 0xFFFF
    return (x * 7 + y * 13 + c * 5 + x * y * 3) & ((1 << depth) - 1)
def chunk(name, data):
    return struct.pack('>I', len(data)) + name + data + struct.pack('>I', zlib.crc32(name + data))
def pack(pixels, depth):
    samples = [s for p in pixels for s in p]
    if depth == 16:
        return b''.join(struct.pack('>H', s) for s in samples)
    if depth == 8:
        return bytes(samples)
    out, acc, bits = bytearray(), 0, 0
    for s in samples:
        acc, bits = (acc << depth) | s, bits + depth
        if bits == 8:
            out.append(acc); acc, bits = 0, 0
    if bits:
        out.append(acc << (8 - bits))
    return bytes(out)
def write(ctype, depth, trns, interlaced):
    ch = CHANNELS[ctype]
    pixel = lambda x, y: tuple(value(x, y, c, depth) for c in range(ch))
    passes = ADAM7 if interlaced else [(0, 0, 1, 1)]
    raw = b''
    for xs, ys, dx, dy in passes:
        for y in range(ys, H, dy):
            row = [pixel(x, y) for x in range(xs, W, dx)]
            if row:
                raw += b'\0' + pack(row, depth)
    body = chunk(b'IHDR', struct.pack('>IIBBBBB', W, H, depth, ctype, 0, 0, 1 if interlaced else 0))
    if ctype == 3:
        body += chunk(b'PLTE', b''.join(bytes([i * 37 & 255, 255 - i, i * 11 & 255]) for i in range(1 << depth)))
    if trns and ctype == 3:
        body += chunk(b'tRNS', bytes([0, 100, 200]))
    elif trns:
        body += chunk(b'tRNS', b''.join(struct.pack('>H', s) for s in pixel(0, 0)))
    body += chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b'')
    name = 'png-%d-%d%s%s.png' % (ctype, depth, '-trns' if trns else '', '-interlaced' if interlaced else '')
    open(name, 'wb').write(b'\x89PNG\r\n\x1a\n' + body)
KINDS = [(0, 1, 0), (0, 2, 0), (0, 4, 0), (0, 8, 0), (0, 16, 0), (0, 2, 1), (0, 16, 1), (4, 8, 0), (4, 16, 0),
         (2, 8, 0), (2, 16, 0), (2, 8, 1), (6, 8, 0), (6, 16, 0), (3, 1, 0), (3, 2, 0), (3, 4, 0), (3, 8, 0), (3, 4, 1)]
for ctype, depth, trns in KINDS:
    for interlaced in (False, True):
        write(ctype, depth, trns, interlaced)
PY
# JPEGs of the same pictures, without chroma subsampling so that colour
# edges stay close; grey from the black and white one, whichever grey a
# converter computes.
convert expected-8.png -quality 98 -sampling-factor 1x1 jpeg-baseline.jpg
convert expected-8.png -quality 98 -sampling-factor 1x1 -interlace JPEG jpeg-progressive.jpg
convert expected-2.png -colorspace gray -quality 98 jpeg-grey.jpg
convert expected-8.png -colorspace cmyk -quality 98 jpeg-cmyk.jpg
