#!/usr/bin/env python3
"""Draws the program's bitmaps and icon from the pixel pictures below.

Writes res/toolicons.bmp (ILIST2_BMP1: eight 16x16 tool icons), res/buttonfaces.bmp
(ILIST3_BMP: raised and pressed 32x32 button faces), res/droparrow.bmp (ILIST4_BMP: the
drop-down arrow on white, the image list's mask colour) and res/talmox.ico (32x32 and 16x16).
Run it again after changing a picture: python3 tools/build/drawbitmaps.py
"""
import os
import struct

FACE = (0xC0, 0xC0, 0xC0)
PALETTE = {
    '.': FACE, 'k': (0, 0, 0), 'w': (255, 255, 255), 'd': (0x80, 0x80, 0x80),
    'l': (0xDF, 0xDF, 0xDF), 'g': (0x20, 0xC0, 0x20), 'G': (0x00, 0x70, 0x00),
    'r': (0xE0, 0x20, 0x20), 'R': (0x80, 0x00, 0x00), 'b': (0x30, 0x60, 0xE0),
    'B': (0x00, 0x20, 0x80), 'y': (0xFF, 0xE0, 0x40), 'Y': (0xA0, 0x80, 0x00),
    'o': (0xB0, 0x70, 0x30), 'O': (0x60, 0x38, 0x10), ' ': None,
}

# The seven tool icons, in the order of the tool buttons; the disabled icon is derived.
ADD = """
................
.kkkkkkkk.......
.kwwwwwwkk......
.kwwwwwwkwk.....
.kwddddwkkkk....
.kwwwwwwwwwk....
.kwdddddddwk....
.kwwwwwwGGGG....
.kwdddddGggG....
.kwwwGGGGggGGGG.
.kwwwGggggggggG.
.kwwwGggggggggG.
.kkkkGGGGggGGGG.
........GggG....
........GGGG....
................
"""
REMOVE = """
................
.kkkkkkkk.......
.kwwwwwwkk......
.kwwwwwwkwk.....
.kwddddwkkkk....
.kwwwwwwwwwk....
.kwdddddddwk....
.kwwwwRR...RR...
.kwdddRrR.RrR...
.kwwwwwRrRrR....
.kwddddwRrR.....
.kwwwwwRrRrR....
.kkkkkRrR.RrR...
......RR...RR...
................
................
"""
SEND = """
................
................
.........B......
.........BB.....
.........BbB....
.........BbbB...
.BBBBBBBBBbbbB..
.BbbbbbbbbbbbbB.
.BbbbbbbbbbbbbbB
.BbbbbbbbbbbbbB.
.BBBBBBBBBbbbB..
.........BbbB...
.........BbB....
.........BB.....
.........B......
................
"""
SETTINGS = """
................
......kkkk......
...kk.kllk.kk...
..kllkkllkkllk..
..klllllllllk...
...kllldddllk...
.kkklldkkkdllkk.
.klllldk.kdllllk
.klllldk.kdllllk
.kkklldkkkdllkk.
...kllldddllk...
..klllllllllk...
..kllkkllkkllk..
...kk.kllk.kk...
......kkkk......
................
"""
ABOUT = """
................
.....BBBBBB.....
...BBbbbbbbBB...
..Bbbbbwwbbbbb..
..Bbbbbwwbbbbb..
.Bbbbbbbbbbbbbb.
.Bbbbbwwwbbbbbb.
.Bbbbbbwwbbbbbb.
.Bbbbbbwwbbbbbb.
.Bbbbbbwwbbbbbb.
.Bbbbbbwwbbbbbb.
..Bbbbwwwwbbbb..
..Bbbbbbbbbbbb..
...BBbbbbbbBB...
.....BBBBBB.....
................
"""
HELP = """
................
.....YYYYYY.....
...YYyyyyyyYY...
..YyyykkkkyyyY..
..Yyykkyykkyyy..
.Yyyykkyykkyyyy.
.Yyyyyyyykkyyyy.
.Yyyyyyykkyyyyy.
.Yyyyyykkyyyyyy.
.Yyyyyykkyyyyyy.
.Yyyyyyyyyyyyyy.
..Yyyyykkyyyyy..
..Yyyyykkyyyyy..
...YYyyyyyyYY...
.....YYYYYY.....
................
"""
EXIT = """
................
..kkkkkkkkk.....
..kOOOOOOOk.....
..kOoooooOk.....
..kOoooooOk.....
..kOoooooOk..g..
..kOoooooOk..gg.
..kOooooykgggggg
..kOooooykgggggg
..kOoooooOk..gg.
..kOoooooOk..g..
..kOoooooOk.....
..kOoooooOk.....
..kOOOOOOOk.....
.kkkkkkkkkkk....
................
"""

ARROW = """
wwwwwwwwwwwwwwww
wwwwwwwwwwwwwwww
wwwwwwwwwwwwwwww
wwwwwwwwwwwwwwww
wwwwwwwwwwwwwwww
wwwwwwwwwwwwwwww
wwwkkkkkkkwwwwww
wwwwkkkkkwwwwwww
wwwwwkkkwwwwwwww
wwwwwwkwwwwwwwww
wwwwwwwwwwwwwwww
wwwwwwwwwwwwwwww
wwwwwwwwwwwwwwww
wwwwwwwwwwwwwwww
wwwwwwwwwwwwwwww
wwwwwwwwwwwwwwww
"""


def picture(text):
    rows = [row for row in text.strip('\n').split('\n')]
    assert all(len(r) == len(rows[0]) for r in rows), text
    return [[PALETTE[c] for c in row] for row in rows]


def disabled(pic):
    """The embossed grey of a disabled control: a white copy one pixel down-right, dark grey on top."""
    h, w = len(pic), len(pic[0])
    out = [[FACE] * w for _ in range(h)]
    for y in range(h):
        for x in range(w):
            if pic[y][x] != FACE and x + 1 < w and y + 1 < h:
                out[y + 1][x + 1] = PALETTE['w']
    for y in range(h):
        for x in range(w):
            if pic[y][x] != FACE:
                out[y][x] = PALETTE['d']
    return out


def face(pressed):
    """A 32x32 push-button face with the usual two-pixel bevel."""
    light, hilite, shadow, dark = PALETTE['w'], PALETTE['l'], PALETTE['d'], PALETTE['k']
    if pressed:
        light, hilite, shadow, dark = dark, shadow, hilite, light
    pix = [[FACE] * 32 for _ in range(32)]
    for i in range(32):
        pix[0][i] = pix[i][0] = light
        pix[31][i] = pix[i][31] = dark
    for i in range(1, 31):
        pix[1][i] = pix[i][1] = hilite
        pix[30][i] = pix[i][30] = shadow
    return pix


def side_by_side(pics):
    return [sum((p[y] for p in pics), []) for y in range(len(pics[0]))]


def bmp24(pix):
    h, w = len(pix), len(pix[0])
    stride = (w * 3 + 3) & ~3
    body = b''
    for row in reversed(pix):
        line = b''.join(bytes((b, g, r)) for (r, g, b) in row)
        body += line + b'\0' * (stride - len(line))
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return head + info + body


def icon_image(pix):
    """One 32-bit image of an .ico file: colour with alpha, then the AND mask."""
    h, w = len(pix), len(pix[0])
    colour = b''
    for row in reversed(pix):
        colour += b''.join(bytes((0, 0, 0, 0)) if c is None else bytes((c[2], c[1], c[0], 255))
                           for c in row)
    mask_stride = ((w + 31) // 32) * 4
    mask = b''
    for row in reversed(pix):
        bits = bytearray(mask_stride)
        for x, c in enumerate(row):
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    info = struct.pack('<IiiHHIIiiII', 40, w, 2 * h, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return info + colour + mask


def app_icon(size):
    """Two screens with a beam between them: the program's icon, drawn at any size."""
    s = size / 32.0
    pix = [[None] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                pix[y][x] = PALETTE[c]

    for x0 in (0, 19):
        rect(x0, 6, x0 + 13, 17, 'k')
        rect(x0 + 1, 7, x0 + 12, 16, 'b')
        rect(x0 + 5, 17, x0 + 8, 20, 'd')
        rect(x0 + 2, 20, x0 + 11, 22, 'k')
    for i in range(6):
        rect(13 + i, 10 - i // 2, 14 + i, 13 + i // 2, 'r')
    rect(2, 24, 30, 28, 'y')
    rect(2, 24, 30, 25, 'Y')
    for x in (8, 15, 22):
        rect(x, 25, x + 3, 28, 'k')
    return pix


def main():
    res = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'res')
    icons = [picture(t) for t in (ADD, REMOVE, SEND, SETTINGS, ABOUT, HELP, EXIT)]
    icons.append(disabled(icons[2]))
    files = {
        'toolicons.bmp': bmp24(side_by_side(icons)),
        'buttonfaces.bmp': bmp24(side_by_side([face(0), face(1)])),
        'droparrow.bmp': bmp24(picture(ARROW)),
    }
    images = [icon_image(app_icon(32)), icon_image(app_icon(16))]
    ico = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, img in zip((32, 16), images):
        ico += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    files['talmox.ico'] = ico + b''.join(images)
    for name, data in files.items():
        with open(os.path.join(res, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
