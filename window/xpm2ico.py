#!/usr/bin/env python3
"""xpm2ico.py XPM ICO - the window's icon (an XPM image, as the Qt face uses it) as a Windows icon
file for the Windows build's resources: one 32-bit image, transparent where the XPM has None."""
import re, struct, sys
src, out = sys.argv[1], sys.argv[2]
lines = re.findall(r'"([^"]*)"', open(src).read())
w, h, ncolors, cpp = map(int, lines[0].split())
colors = {}
for l in lines[1:1 + ncolors]:
    key, rest = l[:cpp], l[cpp:].split()
    val = rest[rest.index('c') + 1]
    colors[key] = None if val.lower() == 'none' else tuple(int(val[i:i+2], 16) for i in (1, 3, 5))
pixels = [[colors[row[x*cpp:(x+1)*cpp]] for x in range(w)] for row in lines[1 + ncolors:1 + ncolors + h]]
# 32-bit BGRA bitmap, bottom-up, with an AND mask (all zero: alpha decides).
xor = b''.join(bytes((c[2], c[1], c[0], 255)) if c else b'\0\0\0\0' for row in reversed(pixels) for c in row)
mask_stride = ((w + 31) // 32) * 4
andmask = b''
for row in reversed(pixels):
    line = bytearray(mask_stride)
    for x, c in enumerate(row):
        if c is None: line[x // 8] |= 0x80 >> (x % 8)
    andmask += bytes(line)
header = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
image = header + xor + andmask
ico = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', w, h, 0, 0, 1, 32, len(image), 22) + image
open(out, 'wb').write(ico)
