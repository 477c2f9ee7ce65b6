#!/usr/bin/env python3
"""Draws the program's artwork and writes the icon and bitmaps into resources/.

Everything is drawn from simple shapes with 4x4 supersampling, so the files can be made
again exactly on any machine with plain Python 3:  python3 scripts/make-artwork.py
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "resources")
FACE = (240, 240, 240)  # the dialog's background
SS = 4                  # samples per pixel in each direction


class Canvas:
    """An RGBA float canvas at supersampled resolution; shapes take unit coordinates (0..1)."""

    def __init__(self, width, height, background=(0, 0, 0, 0)):
        self.w, self.h = width * SS, height * SS
        self.width, self.height = width, height
        self.px = [list(background) for _ in range(self.w * self.h)]

    def _put(self, x, y, color):
        r, g, b, a = color
        p = self.px[y * self.w + x]
        inv = 1 - a
        p[0] = r * a + p[0] * inv
        p[1] = g * a + p[1] * inv
        p[2] = b * a + p[2] * inv
        p[3] = a + p[3] * inv

    def fill(self, inside, color, box=(0, 0, 1, 1)):
        """Paints every sample whose centre satisfies inside(u, v) (unit coordinates)."""
        x0, y0 = max(0, int(box[0] * self.w) - 1), max(0, int(box[1] * self.h) - 1)
        x1, y1 = min(self.w, int(box[2] * self.w) + 2), min(self.h, int(box[3] * self.h) + 2)
        for y in range(y0, y1):
            v = (y + 0.5) / self.h
            for x in range(x0, x1):
                u = (x + 0.5) / self.w
                c = color(u, v) if callable(color) else color
                if inside(u, v):
                    self._put(x, y, c)

    def rect(self, x0, y0, x1, y1, color, radius=0.0):
        aspect = self.w / self.h

        def inside(u, v):
            if not (x0 <= u <= x1 and y0 <= v <= y1):
                return False
            if radius <= 0:
                return True
            cx = min(max(u, x0 + radius), x1 - radius)
            cy = min(max(v, y0 + radius * aspect), y1 - radius * aspect)
            return ((u - cx)) ** 2 + ((v - cy) / aspect) ** 2 <= radius ** 2
        self.fill(inside, color, (x0, y0, x1, y1))

    def ring(self, cx, cy, r0, r1, color, a0=0.0, a1=360.0):
        aspect = self.w / self.h

        def inside(u, v):
            dx, dy = u - cx, (v - cy) / aspect
            d = math.hypot(dx, dy)
            if not (r0 <= d <= r1):
                return False
            ang = math.degrees(math.atan2(-dy, dx)) % 360
            return a0 <= ang <= a1 if a0 <= a1 else (ang >= a0 or ang <= a1)
        self.fill(inside, color, (cx - r1, cy - r1 * aspect, cx + r1, cy + r1 * aspect))

    def polygon(self, points, color):
        xs, ys = [p[0] for p in points], [p[1] for p in points]

        def inside(u, v):
            hit = False
            for i in range(len(points)):
                (xa, ya), (xb, yb) = points[i], points[i - 1]
                if (ya > v) != (yb > v) and u < (xb - xa) * (v - ya) / (yb - ya) + xa:
                    hit = not hit
            return hit
        self.fill(inside, color, (min(xs), min(ys), max(xs), max(ys)))

    def line(self, xa, ya, xb, yb, width, color):
        dx, dy = xb - xa, yb - ya
        n = math.hypot(dx, dy) or 1
        ox, oy = -dy / n * width / 2, dx / n * width / 2
        self.polygon([(xa + ox, ya + oy), (xb + ox, yb + oy), (xb - ox, yb - oy), (xa - ox, ya - oy)],
                     color)

    def pixels(self):
        """Rows top to bottom of (r, g, b, a) bytes, averaged over the samples."""
        rows = []
        for y in range(self.height):
            row = []
            for x in range(self.width):
                acc = [0.0, 0.0, 0.0, 0.0]
                for sy in range(SS):
                    for sx in range(SS):
                        p = self.px[(y * SS + sy) * self.w + x * SS + sx]
                        acc[0] += p[0] * p[3]
                        acc[1] += p[1] * p[3]
                        acc[2] += p[2] * p[3]
                        acc[3] += p[3]
                a = acc[3] / (SS * SS)
                if acc[3] > 0:
                    rgb = [min(255, round(c / acc[3])) for c in acc[:3]]
                else:
                    rgb = [0, 0, 0]
                row.append((rgb[0], rgb[1], rgb[2], min(255, round(a * 255))))
            rows.append(row)
        return rows


def rgba(r, g, b, a=1.0):
    return (r, g, b, a)


BLUE_TOP, BLUE_BOTTOM = (38, 120, 214), (18, 62, 140)
WHITE = rgba(255, 255, 255)
GREEN = rgba(40, 170, 90)
ORANGE = rgba(245, 160, 40)


def draw_emblem(c, simple=False):
    """The program's mark: a barcode that sends waves to the network, on a blue tile."""
    def gradient(u, v):
        t = v
        return rgba(*[BLUE_TOP[i] * (1 - t) + BLUE_BOTTOM[i] * t for i in range(3)])
    c.rect(0.04, 0.04, 0.96, 0.96, gradient, radius=0.18)
    bars = [0.035, 0.015, 0.05, 0.02, 0.015, 0.04, 0.02] if not simple else [0.06, 0.04, 0.07]
    x = 0.17
    for i, width in enumerate(bars):
        if i % 2 == 0 or simple:
            c.rect(x, 0.27, x + width, 0.73, WHITE)
        x += width + (0.025 if not simple else 0.05)
    # The scan line across the code.
    c.rect(0.13, 0.485, x + 0.02, 0.515, rgba(255, 90, 70))
    # Waves towards the network.
    cx = x + 0.04
    for k, (r0, r1) in enumerate([(0.08, 0.13), (0.18, 0.23), (0.28, 0.33)]):
        if simple and k == 1:
            continue
        c.ring(cx, 0.5, r0, r1, ORANGE if k == 0 else WHITE, 315, 45)


def write_bmp24(path, rows):
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b, a in row:
            # Composited on the dialog's face colour.
            al = a / 255
            line += bytes([round(b * al + FACE[2] * (1 - al)), round(g * al + FACE[1] * (1 - al)),
                           round(r * al + FACE[0] * (1 - al))])
        data += line + b"\0" * (stride - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def ico_bitmap_entry(rows):
    size = len(rows)
    xor = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            xor += bytes([b, g, r, a])
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def png_entry(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write_ico(path, sizes):
    images = []
    for size in sizes:
        c = Canvas(size, size)
        draw_emblem(c, simple=size <= 24)
        rows = c.pixels()
        images.append((size, png_entry(rows) if size == 256 else ico_bitmap_entry(rows)))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    directory, blobs = b"", b""
    for size, blob in images:
        dim = 0 if size == 256 else size
        directory += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs += blob
    with open(path, "wb") as f:
        f.write(header + directory + blobs)


def usb_plug(width, height):
    c = Canvas(width, height)
    grey, dark = rgba(120, 126, 136), rgba(70, 76, 86)
    c.rect(0.02, 0.22, 0.52, 0.78, grey, radius=0.06)         # body
    c.rect(0.52, 0.30, 0.96, 0.70, rgba(190, 196, 204))       # metal shell
    c.rect(0.70, 0.40, 0.78, 0.47, dark)                      # contact windows
    c.rect(0.70, 0.53, 0.78, 0.60, dark)
    # The USB trident on the body.
    c.line(0.10, 0.5, 0.44, 0.5, 0.04, WHITE)
    c.polygon([(0.44, 0.40), (0.50, 0.5), (0.44, 0.60)], WHITE)
    c.line(0.20, 0.5, 0.28, 0.33, 0.035, WHITE)
    c.rect(0.27, 0.29, 0.32, 0.37, WHITE)
    c.line(0.24, 0.5, 0.32, 0.67, 0.035, WHITE)
    c.ring(0.33, 0.68, 0.0, 0.03, WHITE)
    return c.pixels()


def network(width, height):
    c = Canvas(width, height)
    blue, line = rgba(38, 120, 214), rgba(90, 100, 115)
    nodes = [(0.5, 0.22), (0.16, 0.78), (0.84, 0.78)]
    for i in range(3):
        (xa, ya), (xb, yb) = nodes[i], nodes[(i + 1) % 3]
        c.line(xa, ya, xb, yb, 0.05, line)
    for x, y in nodes:
        c.ring(x, y, 0.0, 0.13, blue)
        c.ring(x, y, 0.0, 0.06, WHITE)
    return c.pixels()


def transfer(width, height):
    c = Canvas(width, height)
    c.rect(0.06, 0.24, 0.62, 0.38, GREEN)
    c.polygon([(0.60, 0.10), (0.94, 0.31), (0.60, 0.52)], GREEN)
    blue = rgba(38, 120, 214)
    c.rect(0.38, 0.62, 0.94, 0.76, blue)
    c.polygon([(0.40, 0.48), (0.06, 0.69), (0.40, 0.90)], blue)
    return c.pixels()


def logo(size):
    c = Canvas(size, size)
    draw_emblem(c)
    return c.pixels()


def main():
    os.makedirs(OUT, exist_ok=True)
    write_ico(os.path.join(OUT, "wendalux.ico"), [16, 24, 32, 48, 64, 128, 256])
    write_bmp24(os.path.join(OUT, "logo.bmp"), logo(256))
    write_bmp24(os.path.join(OUT, "usb_plug.bmp"), usb_plug(77, 39))
    write_bmp24(os.path.join(OUT, "network.bmp"), network(68, 49))
    write_bmp24(os.path.join(OUT, "transfer.bmp"), transfer(69, 70))


if __name__ == "__main__":
    main()
