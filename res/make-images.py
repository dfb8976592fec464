#!/usr/bin/env python3
"""Draws the program's small images (icon, caption buttons, about box icon)
as PNG files. Run once after changing a drawing; the PNG files are kept in
the repository. Plain Python: the images are simple shapes."""
import math
import struct
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent


def write_png(path, pixels):
    h = len(pixels)
    w = len(pixels[0])
    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in pixels)

    def chunk(kind, data):
        c = kind + data
        return struct.pack(">I", len(data)) + c + struct.pack(">I", zlib.crc32(c) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    path.write_bytes(png)


def canvas(w, h, colour):
    return [[list(colour) for _ in range(w)] for _ in range(h)]


def rect(img, x0, y0, x1, y1, colour):
    for y in range(max(0, y0), min(len(img), y1)):
        for x in range(max(0, x0), min(len(img[0]), x1)):
            img[y][x] = list(colour)


def program_icon(size, background):
    """A strip of film with a gap cut out of it and a plus sign: cutting and
    joining without re-encoding."""
    img = canvas(size, size, background)
    s = size / 32.0
    film = (40, 44, 52, 255)
    frame = (120, 200, 255, 255)
    hole = (230, 230, 230, 255)
    # Two pieces of film, the right one lifted: a cut.
    for (x0, y0) in ((2, 9), (17, 5)):
        rect(img, int(x0 * s), int(y0 * s), int((x0 + 13) * s), int((y0 + 16) * s), film)
        for k in range(3):
            hx = int((x0 + 1 + k * 4.3) * s)
            rect(img, hx, int((y0 + 1) * s), hx + max(1, int(2 * s)), int((y0 + 3) * s), hole)
            rect(img, hx, int((y0 + 13) * s), hx + max(1, int(2 * s)), int((y0 + 15) * s), hole)
        rect(img, int((x0 + 1) * s), int((y0 + 4) * s), int((x0 + 12) * s), int((y0 + 12) * s),
             frame)
    # A plus below.
    plus = (255, 160, 40, 255)
    rect(img, int(20 * s), int(25 * s), int(30 * s), int(28 * s), plus)
    rect(img, int(23.5 * s), int(21.5 * s), int(26.5 * s), int(31.5 * s), plus)
    return img


def program_icon_svg():
    """The program icon as a scalable drawing: the shapes of program_icon on
    its 32-unit grid."""
    film, frame, hole, plus = "#282c34", "#78c8ff", "#e6e6e6", "#ffa028"
    parts = []
    for (x0, y0) in ((2, 9), (17, 5)):
        parts.append(f'<rect x="{x0}" y="{y0}" width="13" height="16" fill="{film}"/>')
        for k in range(3):
            hx = round(x0 + 1 + k * 4.3, 1)
            for hy in (y0 + 1, y0 + 13):
                parts.append(f'<rect x="{hx}" y="{hy}" width="2" height="2" fill="{hole}"/>')
        parts.append(f'<rect x="{x0 + 1}" y="{y0 + 4}" width="11" height="8" fill="{frame}"/>')
    parts.append(f'<rect x="20" y="25" width="10" height="3" fill="{plus}"/>')
    parts.append(f'<rect x="23.5" y="21.5" width="3" height="10" fill="{plus}"/>')
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 32 32">\n'
            + "".join("  " + p + "\n" for p in parts) + "</svg>\n")


# The sizes of the program icon in the desktop's icon theme (besides the
# scalable drawing).
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def caption_button(kind):
    grey = (128, 128, 128, 255)
    ink = (0, 0, 0, 255)
    img = canvas(12, 12, grey)
    if kind == "close":
        for i in range(2, 10):
            for d in (0, 1):
                if i + d < 12:
                    img[i][i + d - 0] = list(ink)
                    img[i][11 - i - d] = list(ink)
    elif kind == "minimise":
        rect(img, 2, 8, 10, 10, ink)
    elif kind == "maximise":
        rect(img, 2, 2, 10, 4, ink)
        rect(img, 2, 2, 3, 10, ink)
        rect(img, 9, 2, 10, 10, ink)
        rect(img, 2, 9, 10, 10, ink)
    return img


def ok_icon():
    img = canvas(32, 32, (0, 0, 0, 0))
    green = (30, 170, 60, 255)
    for y in range(32):
        for x in range(32):
            if (x - 15.5) ** 2 + (y - 15.5) ** 2 <= 15 ** 2:
                img[y][x] = list(green)
    white = (255, 255, 255, 255)
    # A check mark.
    for t in range(0, 60):
        f = t / 59.0
        if f < 0.4:
            x, y = 8 + f / 0.4 * 6, 16 + f / 0.4 * 6
        else:
            g = (f - 0.4) / 0.6
            x, y = 14 + g * 11, 22 - g * 13
        rect(img, int(x) - 1, int(y) - 1, int(x) + 2, int(y) + 2, white)
    return img


def main():
    images = HERE / "images"
    bundle = HERE / "bundle"
    images.mkdir(exist_ok=True)
    bundle.mkdir(exist_ok=True)
    write_png(images / "128.png", program_icon(64, (0, 0, 0, 0)))
    write_png(images / "134.png", caption_button("close"))
    write_png(images / "136.png", caption_button("minimise"))
    write_png(images / "137.png", caption_button("maximise"))
    # The caption icon: black is its transparent colour.
    write_png(images / "135.png", program_icon(16, (0, 0, 0, 255)))
    write_png(bundle / "135.png", ok_icon())
    write_png(bundle / "128.png", program_icon(64, (0, 0, 0, 0)))
    icons = HERE / "icons"
    icons.mkdir(exist_ok=True)
    (icons / "trelvan.svg").write_text(program_icon_svg())
    for size in ICON_SIZES:
        write_png(icons / f"{size}.png", program_icon(size, (0, 0, 0, 0)))


if __name__ == "__main__":
    main()
