#!/usr/bin/env python3
"""Draws the program's icon: a sheet of paper with two brush strokes on it.

    make_icon.py OUT_DIR NAME [--ico FILE.ico]

writes OUT_DIR/hicolor/scalable/apps/NAME.svg and OUT_DIR/hicolor/<n>x<n>/apps/NAME.png for the
sizes below (the layout of share/icons/hicolor), and with --ico a Windows icon file holding the
same sizes (32-bit bitmaps up to 64 pixels, PNG above, as Windows expects).

One description of the picture (a rounded sheet, strokes along quadratic curves whose width
swells and tapers) gives both the SVG and the bitmaps, so they agree at every size. The bitmaps
are drawn from signed distances with one pixel of antialiasing; standard library only.
"""
import math
import os
import struct
import sys
import zlib

SIZES = [16, 24, 32, 48, 64, 128, 256]
DESIGN = 256.0  # the drawing's own units

# The sheet: a rounded square of warm white paper with a darker rim.
SHEET = dict(x0=22.0, y0=22.0, x1=234.0, y1=234.0, radius=30.0, fill=(246, 240, 226), rim=(196, 184, 160),
             rim_width=5.0)

# The strokes, painted in this order: control points of a quadratic curve, the widest half-width
# and the colour. The half-width swells from the start, peaks a third of the way in and tapers.
STROKES = [
    dict(points=((56.0, 178.0), (104.0, 60.0), (202.0, 92.0)), width=25.0, colour=(45, 93, 161)),
    dict(points=((66.0, 206.0), (142.0, 148.0), (204.0, 186.0)), width=15.0, colour=(217, 102, 47)),
]
SEGMENTS = 48


def quadratic(points, t):
    (ax, ay), (bx, by), (cx, cy) = points
    u = 1.0 - t
    return (u * u * ax + 2 * u * t * bx + t * t * cx, u * u * ay + 2 * u * t * by + t * t * cy)


def half_width(stroke, t):
    """Zero-ish at the ends, widest at t = 1/3: a brush pressed down, then lifted."""
    shape = math.sin(math.pi * (t ** 0.8)) ** 0.7
    return stroke["width"] * (0.18 + 0.82 * shape)


def stroke_samples(stroke):
    return [(quadratic(stroke["points"], i / SEGMENTS), half_width(stroke, i / SEGMENTS)) for i in range(SEGMENTS + 1)]


# -- the SVG ------------------------------------------------------------------------------------

def stroke_outline(stroke):
    """The stroke's outline as an SVG path: one side forward, a round cap, the other side back."""
    samples = stroke_samples(stroke)
    left, right = [], []
    for i, ((x, y), r) in enumerate(samples):
        (px, py), _ = samples[max(i - 1, 0)]
        (nx, ny), _ = samples[min(i + 1, len(samples) - 1)]
        dx, dy = nx - px, ny - py
        length = math.hypot(dx, dy) or 1.0
        ox, oy = -dy / length * r, dx / length * r
        left.append((x + ox, y + oy))
        right.append((x - ox, y - oy))
    end_r, start_r = samples[-1][1], samples[0][1]
    f = lambda p: f"{p[0]:.2f},{p[1]:.2f}"
    path = "M" + f(left[0]) + " L" + " ".join(f(p) for p in left[1:])
    path += f" A{end_r:.2f},{end_r:.2f} 0 0 0 " + f(right[-1])
    path += " L" + " ".join(f(p) for p in reversed(right[:-1]))
    path += f" A{start_r:.2f},{start_r:.2f} 0 0 0 " + f(left[0]) + " Z"
    return path


def svg():
    hexc = lambda c: "#%02x%02x%02x" % c
    s = SHEET
    inset = s["rim_width"] / 2
    lines = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{int(DESIGN)}" height="{int(DESIGN)}" '
        f'viewBox="0 0 {int(DESIGN)} {int(DESIGN)}">',
        f'  <rect x="{s["x0"] + inset}" y="{s["y0"] + inset}" width="{s["x1"] - s["x0"] - 2 * inset}" '
        f'height="{s["y1"] - s["y0"] - 2 * inset}" rx="{s["radius"] - inset}" fill="{hexc(s["fill"])}" '
        f'stroke="{hexc(s["rim"])}" stroke-width="{s["rim_width"]}"/>',
    ]
    for stroke in STROKES:
        lines.append(f'  <path d="{stroke_outline(stroke)}" fill="{hexc(stroke["colour"])}" stroke="none"/>')
    lines.append("</svg>")
    return "\n".join(lines) + "\n"


# -- the bitmaps --------------------------------------------------------------------------------

def rounded_rect_distance(x, y, s, shrink=0.0):
    cx, cy = (s["x0"] + s["x1"]) / 2, (s["y0"] + s["y1"]) / 2
    hx, hy = (s["x1"] - s["x0"]) / 2 - shrink, (s["y1"] - s["y0"]) / 2 - shrink
    r = s["radius"] - shrink
    qx, qy = abs(x - cx) - hx + r, abs(y - cy) - hy + r
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - r


def stroke_distances(stroke, size, scale):
    """Signed distance in pixels to the stroke for every pixel of a size x size bitmap, as a
    flat list; each segment is a capsule whose radius follows the stroke, and only the pixels
    near a segment are visited."""
    far = 4.0
    field = [far] * (size * size)
    samples = stroke_samples(stroke)
    for ((ax, ay), ra), ((bx, by), rb) in zip(samples, samples[1:]):
        ax, ay, bx, by, ra, rb = ax * scale, ay * scale, bx * scale, by * scale, ra * scale, rb * scale
        reach = max(ra, rb) + 2
        x0, x1 = max(int(min(ax, bx) - reach), 0), min(int(max(ax, bx) + reach) + 1, size)
        y0, y1 = max(int(min(ay, by) - reach), 0), min(int(max(ay, by) + reach) + 1, size)
        dx, dy = bx - ax, by - ay
        length2 = dx * dx + dy * dy or 1e-9
        for py in range(y0, y1):
            cy = py + 0.5
            row = py * size
            for px in range(x0, x1):
                cx = px + 0.5
                t = ((cx - ax) * dx + (cy - ay) * dy) / length2
                t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
                d = math.hypot(cx - ax - t * dx, cy - ay - t * dy) - (ra + t * (rb - ra))
                if d < field[row + px]:
                    field[row + px] = d
    return field


def coverage(distance):
    return 0.0 if distance >= 0.5 else 1.0 if distance <= -0.5 else 0.5 - distance


def over(dst, colour, alpha):
    """Paints colour with alpha over the premultiplied pixel dst (r, g, b, a in 0..1)."""
    r, g, b, a = dst
    k = 1.0 - alpha
    return (colour[0] / 255 * alpha + r * k, colour[1] / 255 * alpha + g * k, colour[2] / 255 * alpha + b * k,
            alpha + a * k)


def bitmap(size):
    """RGBA rows, top to bottom, straight (not premultiplied) alpha, 8 bits a channel."""
    scale = size / DESIGN
    s = SHEET
    pixels = [(0.0, 0.0, 0.0, 0.0)] * (size * size)
    for py in range(size):
        for px in range(size):
            x, y = (px + 0.5) / scale, (py + 0.5) / scale
            d = rounded_rect_distance(x, y, s) * scale
            if d >= 0.5:
                continue
            inner = rounded_rect_distance(x, y, s, shrink=s["rim_width"]) * scale
            # Below about 24 pixels the rim would be a fraction of a pixel: it fades into the fill.
            rim_colour = s["rim"] if size >= 24 else tuple((a + b) // 2 for a, b in zip(s["rim"], s["fill"]))
            p = over((0.0, 0.0, 0.0, 0.0), rim_colour, coverage(d))
            pixels[py * size + px] = over(p, s["fill"], coverage(inner))
    for stroke in STROKES:
        field = stroke_distances(stroke, size, scale)
        for i, d in enumerate(field):
            if d < 0.5:
                # The stroke is painted on the sheet only.
                pixels[i] = over(pixels[i], stroke["colour"], coverage(d) * pixels[i][3])
    out = bytearray()
    for r, g, b, a in pixels:
        if a <= 0.0:
            out += b"\0\0\0\0"
        else:
            out += bytes(min(255, int(round(c / a * 255))) for c in (r, g, b)) + bytes([min(255, int(round(a * 255)))])
    return bytes(out)


def png(size, rgba):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    rows = b"".join(b"\0" + rgba[y * size * 4:(y + 1) * size * 4] for y in range(size))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


def ico_bitmap(size, rgba):
    """A 32-bit BGRA device-independent bitmap as an icon holds it: rows bottom up, then the
    1-bit AND mask (all zero: the alpha channel decides)."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = rgba[(y * size + x) * 4:(y * size + x) * 4 + 4]
            rows += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    return header + bytes(rows) + bytes(mask_row * size)


def ico(images):
    """images: (size, rgba) pairs. Bitmaps up to 64 pixels, PNG above."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for size, rgba in images:
        blob = png(size, rgba) if size > 64 else ico_bitmap(size, rgba)
        entries.append(struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    # Through a temporary name: a build interrupted half-way leaves no half-written icon.
    temporary = path + ".tmp"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, path)


def main(argv):
    if len(argv) not in (3, 5) or (len(argv) == 5 and argv[3] != "--ico"):
        sys.stderr.write(__doc__)
        return 2
    out, name = argv[1], argv[2]
    write(os.path.join(out, "hicolor", "scalable", "apps", name + ".svg"), svg().encode("utf-8"))
    images = []
    for size in SIZES:
        rgba = bitmap(size)
        images.append((size, rgba))
        write(os.path.join(out, "hicolor", f"{size}x{size}", "apps", name + ".png"), png(size, rgba))
    if len(argv) == 5:
        write(argv[4], ico(images))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
