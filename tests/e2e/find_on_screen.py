#!/usr/bin/env python3
"""Finds Kolvena's icon, its menu or the settings dialog in a screenshot.

    find_on_screen.py icon|menu|dialog TR16.ico SCREEN.ppm

Prints one line for every place found (nothing when there is none):

icon    "x y", the centre of every place that shows the tray icon pixel for
        pixel: the icon's longest opaque run of one row is searched for in
        the screen's bytes, and every hit is checked against all the icon's
        opaque pixels (its transparent ones may show anything).
menu    "x y w h" of every open popup menu. A menu is a one-pixel frame round
        a white inside; the top edge is a frame-coloured run of at least 80
        pixels whose left end goes down as the left edge, and the box counts
        as Kolvena's menu when at least three separators (frame-coloured
        lines across, four pixels in from the sides) cross it.
dialog  "x y h", the left end of the first active caption bar (a run of 300
        pixels of the active caption colour in the upper half) and the bar's
        height there: Wine 8 draws it 18 pixels high, Wine 10 25.

The screenshot is an 8-bit binary PPM (ImageMagick's `import -depth 8`).
The colours are Wine's own: a menu frame of #a6a6a6 on
white, an active caption of rgb(50, 150, 250).
"""
import struct
import sys

what, ico_path, shot_path = sys.argv[1:4]


def load_ico(path):
    """The opaque pixels of the first image of an .ico: {(x, y): b'rgb'}."""
    d = open(path, 'rb').read()
    w, h, _, _, _, _, _, off = struct.unpack_from('<BBBBHHII', d, 6)
    size, _, _, _, bits, _, _, _, _, used, _ = struct.unpack_from('<IiiHHIIiiII', d, off)
    ncol = used or (1 << bits)
    pal = [bytes(d[off + size + 4 * i: off + size + 4 * i + 3][::-1]) for i in range(ncol)]
    xor = off + size + 4 * ncol
    xstride = (w * bits + 31) // 32 * 4
    mask = xor + xstride * h
    mstride = (w + 31) // 32 * 4
    px = {}
    for y in range(h):
        row = h - 1 - y
        for x in range(w):
            if d[mask + row * mstride + x // 8] >> (7 - x % 8) & 1:
                continue
            if bits == 4:
                b = d[xor + row * xstride + x // 2]
                i = b >> 4 if x % 2 == 0 else b & 15
            else:
                i = d[xor + row * xstride + x]
            px[(x, y)] = pal[i]
    return w, h, px


def load_ppm(path):
    d = open(path, 'rb').read()
    fields, i = [], 0
    while len(fields) < 4:
        while d[i:i + 1].isspace():
            i += 1
        j = i
        while not d[j:j + 1].isspace():
            j += 1
        fields.append(d[i:j])
        i = j
    return int(fields[1]), int(fields[2]), d[i + 1:]


W, H, img = load_ppm(shot_path)


def pixel(x, y):
    k = 3 * (y * W + x)
    return img[k:k + 3]


def find_icon():
    w, h, px = load_ico(ico_path)
    # Anchor on the icon's longest opaque run of one row.
    best = None
    for y in range(h):
        x = 0
        while x < w:
            if (x, y) in px:
                x0 = x
                while x < w and (x, y) in px:
                    x += 1
                if best is None or x - x0 > best[2] - best[1]:
                    best = (y, x0, x)
            else:
                x += 1
    ay, ax0, ax1 = best
    needle = b''.join(px[(x, ay)] for x in range(ax0, ax1))
    pos = img.find(needle)
    while pos >= 0:
        if pos % 3 == 0:
            sx, sy = pos // 3 % W - ax0, pos // 3 // W - ay
            if 0 <= sx <= W - w and 0 <= sy <= H - h and all(
                    pixel(sx + x, sy + y) == c for (x, y), c in px.items()):
                print(sx + w // 2, sy + h // 2)
        pos = img.find(needle, pos + 1)


FRAME = bytes((0xa6, 0xa6, 0xa6))
BACK = bytes((0xff, 0xff, 0xff))
CAPTION = bytes((50, 150, 250))


def find_menus():
    for y in range(H - 40):
        row = img[3 * y * W: 3 * (y + 1) * W]
        x = 0
        while x < W:
            if row[3 * x:3 * x + 3] != FRAME:
                x += 1
                continue
            x0 = x
            while x < W and row[3 * x:3 * x + 3] == FRAME:
                x += 1
            x1 = x          # the top edge runs over [x0, x1)
            if x1 - x0 < 80:
                continue
            # A top-left corner: the left edge goes down, the inside is BACK.
            if pixel(x0, y + 1) != FRAME or pixel(x0 + 1, y + 1) != BACK:
                continue
            if y > 0 and pixel(x0 + 1, y - 1) == FRAME:
                continue
            bottom = y + 1
            while bottom < H and pixel(x0, bottom) == FRAME:
                bottom += 1
            if bottom - y < 40:
                continue
            seps = 0
            for sy in range(y + 2, bottom - 1):
                if (pixel(x0 + 1, sy) == BACK and pixel(x0 + 4, sy) == FRAME and
                        all(pixel(sx, sy) == FRAME for sx in range(x0 + 4, x1 - 4, 7))):
                    seps += 1
            if seps >= 3:
                print(x0, y, x1 - x0, bottom - y)


def find_dialog():
    for y in range(H // 2):
        row = img[3 * y * W: 3 * (y + 1) * W]
        x = row.find(CAPTION * 300)
        while x >= 0 and x % 3:
            x = row.find(CAPTION * 300, x + 1)
        if x >= 0:
            x //= 3
            bottom = y
            while bottom < H and pixel(x + 2, bottom) == CAPTION:
                bottom += 1
            print(x, y, bottom - y)
            return


{'icon': find_icon, 'menu': find_menus, 'dialog': find_dialog}[what]()
