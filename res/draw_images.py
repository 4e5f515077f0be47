#!/usr/bin/env python3
"""Draws Pyrrow's application icon and the refresh bitmap as XPM data and
writes them to images.cpp, the icon as PNG files for the desktop's icon
theme (dist/linux/icons), and both as Windows resources: pyrrow.ico (16 and
32 pixels) and refresh.bmp. Run it again after changing a drawing."""

import os
import struct
import zlib

def icon(size):
    """A control unit (a blue chip with pins) with a white arrow going up into it."""
    px = [["." for _ in range(size)] for _ in range(size)]
    s = size / 32.0
    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                px[y][x] = c
    for i in range(4):  # pins on the left and right
        y = 7 + i * 6
        rect(1, y, 5, y + 3, "p")
        rect(27, y, 31, y + 3, "p")
    rect(5, 3, 27, 29, "d")   # body outline
    rect(6, 4, 26, 28, "b")   # body
    # arrow: shaft and head
    rect(14, 12, 18, 25, "w")
    for row in range(7):
        half = row + 1
        y = 6 + row
        rect(16 - half, y, 16 + half, y + 1, "w")
    return px, {".": "None", "p": "#B0B4BA", "d": "#123A6B", "b": "#2F6DB5", "w": "#FFFFFF"}

def refresh():
    """Two green arrows on a light button face: one pointing down, one up."""
    size = 22
    px = [["." for _ in range(size)] for _ in range(size)]
    def put(x, y, c):
        if 0 <= x < size and 0 <= y < size:
            px[y][x] = c
    def arrow(cx, top, bottom, down):
        for y in range(top, bottom + 1):
            put(cx - 1, y, "g"); put(cx, y, "g"); put(cx + 1, y, "g")
        tip = bottom if down else top
        for i in range(5):
            y = tip - i if down else tip + i
            for x in range(cx - i, cx + i + 1):
                put(x, y, "g" if abs(x - cx) < i else "d")
    arrow(7, 3, 18, True)
    arrow(14, 3, 18, False)
    return px, {".": "#F0F0F0", "g": "#2EA043", "d": "#1A7F37"}

def xpm(name, drawing):
    px, colors = drawing
    lines = ['"%d %d %d 1",' % (len(px[0]), len(px), len(colors))]
    lines += ['"%s c %s",' % (k, v) for k, v in colors.items()]
    lines += ['"%s",' % "".join(row) for row in px]
    lines[-1] = lines[-1].rstrip(",")
    return "const char* const %s[] = {\n    %s\n};\n" % (name, "\n    ".join(lines))

def png(path, drawing):
    """Writes an RGBA PNG of a drawing; 'None' is transparent."""
    px, colors = drawing
    def rgba(name):
        c = colors[name]
        if c == "None":
            return b"\0\0\0\0"
        return bytes.fromhex(c[1:]) + b"\xff"
    raw = b"".join(b"\0" + b"".join(rgba(ch) for ch in row) for row in px)
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", len(px[0]), len(px), 8, 6, 0, 0, 0)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))

def rgba_rows(drawing):
    """The pixels as (r, g, b, a) tuples, row by row from the top."""
    px, colors = drawing
    def rgba(name):
        c = colors[name]
        return (0, 0, 0, 0) if c == "None" else tuple(bytes.fromhex(c[1:])) + (255,)
    return [[rgba(ch) for ch in row] for row in px]

def dib(rows, bits):
    """A device-independent bitmap without its file header: bottom row first,
    rows padded to 4 bytes; 32 bits hold BGRA, 24 bits BGR."""
    height, width = len(rows), len(rows[0])
    data = b""
    for row in reversed(rows):
        line = b"".join(bytes((b, g, r, a)) if bits == 32 else bytes((b, g, r)) for r, g, b, a in row)
        data += line + b"\0" * (-len(line) % 4)
    return width, height, data

def ico(path, drawings):
    """A .ico file with one 32-bit image (and its AND mask) per drawing."""
    images = []
    for drawing in drawings:
        rows = rgba_rows(drawing)
        width, height, pixels = dib(rows, 32)
        mask = b""
        for row in reversed(rows):
            bits = "".join("1" if a == 0 else "0" for r, g, b, a in row)
            line = int(bits, 2).to_bytes(len(bits) // 8, "big") if bits else b""
            mask += line + b"\0" * (-len(line) % 4)
        header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
        images.append((width, height, header + pixels + mask))
    offset = 6 + 16 * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    for width, height, data in images:
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(data for _, _, data in images))

def bmp(path, drawing):
    """A 24-bit .bmp file."""
    width, height, pixels = dib(rgba_rows(drawing), 24)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(info) + len(pixels), 0, 0, 14 + len(info)) + info + pixels)

here = os.path.dirname(os.path.abspath(__file__))
os.chdir(here)
for size in (16, 32, 48, 64, 128):
    png(os.path.join("..", "dist", "linux", "icons", "%dx%d" % (size, size), "pyrrow.png"), icon(size))

ico("pyrrow.ico", [icon(16), icon(32)])
bmp("refresh.bmp", refresh())

with open("images.cpp", "w") as f:
    f.write("// Generated by draw_images.py: the application icon (IDR_MAINFRAME, 16 and 32 px)\n"
            "// and the refresh bitmap (IDB_REFRESH, 22 x 22), as XPM data.\n"
            '#include "res/images.h"\n\nnamespace pyrrow::res {\n\n')
    f.write(xpm("kIcon16", icon(16)) + "\n")
    f.write(xpm("kIcon32", icon(32)) + "\n")
    f.write(xpm("kRefreshBitmap", refresh()))
    f.write("\n}  // namespace pyrrow::res\n")
