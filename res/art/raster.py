"""A small shape rasterizer for the program's icon and its animation clip.

Shapes answer one question, whether a point lies inside them; pictures are drawn by asking it
at a fixed grid of sample points in every pixel. Only comparisons, + - * / and square roots are
used, all of which IEEE arithmetic rounds the same way everywhere, so a picture comes out byte
for byte the same on every machine and every run.
"""

import math
import struct
import zlib


class Shape:
    """Something with an inside. `bounds` is (x0, y0, x1, y1), a box that holds the inside."""

    bounds = (0.0, 0.0, 0.0, 0.0)

    def contains(self, x, y):
        raise NotImplementedError

    def __or__(self, other):
        return Union(self, other)

    def __sub__(self, other):
        return Difference(self, other)

    def __and__(self, other):
        return Intersection(self, other)


class Rect(Shape):
    def __init__(self, x0, y0, x1, y1):
        self.bounds = (x0, y0, x1, y1)

    def contains(self, x, y):
        x0, y0, x1, y1 = self.bounds
        return x0 <= x < x1 and y0 <= y < y1


class Circle(Shape):
    def __init__(self, cx, cy, r):
        self.cx, self.cy, self.r2 = cx, cy, r * r
        self.bounds = (cx - r, cy - r, cx + r, cy + r)

    def contains(self, x, y):
        dx, dy = x - self.cx, y - self.cy
        return dx * dx + dy * dy <= self.r2


class RoundRect(Shape):
    """A rectangle whose corners are quarter circles of radius r."""

    def __init__(self, x0, y0, x1, y1, r):
        self.bounds = (x0, y0, x1, y1)
        self.r = min(r, (x1 - x0) / 2, (y1 - y0) / 2)

    def contains(self, x, y):
        x0, y0, x1, y1 = self.bounds
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        r = self.r
        dx = max(x0 + r - x, 0.0, x - (x1 - r))
        dy = max(y0 + r - y, 0.0, y - (y1 - r))
        return dx * dx + dy * dy <= r * r


class Capsule(Shape):
    """All points within r of the segment from (ax, ay) to (bx, by): a stroke with round ends."""

    def __init__(self, ax, ay, bx, by, r):
        self.a = (ax, ay)
        self.d = (bx - ax, by - ay)
        self.len2 = self.d[0] * self.d[0] + self.d[1] * self.d[1]
        self.r2 = r * r
        self.bounds = (min(ax, bx) - r, min(ay, by) - r, max(ax, bx) + r, max(ay, by) + r)

    def contains(self, x, y):
        px, py = x - self.a[0], y - self.a[1]
        t = 0.0
        if self.len2 > 0:
            t = min(1.0, max(0.0, (px * self.d[0] + py * self.d[1]) / self.len2))
        dx, dy = px - t * self.d[0], py - t * self.d[1]
        return dx * dx + dy * dy <= self.r2


class Polygon(Shape):
    """A convex polygon; its corners may run either way round."""

    def __init__(self, points):
        self.points = list(points)
        xs = [p[0] for p in self.points]
        ys = [p[1] for p in self.points]
        self.bounds = (min(xs), min(ys), max(xs), max(ys))

    def contains(self, x, y):
        sign = 0
        n = len(self.points)
        for i in range(n):
            ax, ay = self.points[i]
            bx, by = self.points[(i + 1) % n]
            cross = (bx - ax) * (y - ay) - (by - ay) * (x - ax)
            if cross != 0:
                side = 1 if cross > 0 else -1
                if sign == 0:
                    sign = side
                elif side != sign:
                    return False
        return True


class Union(Shape):
    def __init__(self, *shapes):
        self.shapes = shapes
        self.bounds = (min(s.bounds[0] for s in shapes), min(s.bounds[1] for s in shapes),
                       max(s.bounds[2] for s in shapes), max(s.bounds[3] for s in shapes))

    def contains(self, x, y):
        return any(s.contains(x, y) for s in self.shapes)


class Intersection(Shape):
    def __init__(self, a, b):
        self.a, self.b = a, b
        self.bounds = (max(a.bounds[0], b.bounds[0]), max(a.bounds[1], b.bounds[1]),
                       min(a.bounds[2], b.bounds[2]), min(a.bounds[3], b.bounds[3]))

    def contains(self, x, y):
        return self.a.contains(x, y) and self.b.contains(x, y)


class Difference(Shape):
    def __init__(self, a, b):
        self.a, self.b = a, b
        self.bounds = a.bounds

    def contains(self, x, y):
        return self.a.contains(x, y) and not self.b.contains(x, y)


class Turned(Shape):
    """`shape` turned about (cx, cy) by the angle whose cosine and sine are c and s; a pair
    from a Pythagorean triple (0.8, 0.6) keeps the turn exact."""

    def __init__(self, shape, c, s, cx, cy):
        self.shape, self.c, self.s, self.cx, self.cy = shape, c, s, cx, cy
        x0, y0, x1, y1 = shape.bounds
        corners = [self._forward(x, y) for x, y in ((x0, y0), (x1, y0), (x0, y1), (x1, y1))]
        self.bounds = (min(p[0] for p in corners), min(p[1] for p in corners),
                       max(p[0] for p in corners), max(p[1] for p in corners))

    def _forward(self, x, y):
        dx, dy = x - self.cx, y - self.cy
        return (self.cx + dx * self.c - dy * self.s, self.cy + dx * self.s + dy * self.c)

    def contains(self, x, y):
        dx, dy = x - self.cx, y - self.cy
        return self.shape.contains(self.cx + dx * self.c + dy * self.s,
                                   self.cy - dx * self.s + dy * self.c)


def render_rgba(layers, size, samples):
    """Paints `layers`, a list of (shape, (r, g, b)) in the unit square, bottom layer first,
    on a transparent square of size x size pixels with samples x samples points per pixel.
    Returns rows of (r, g, b, a) byte tuples, top row first, alpha not premultiplied."""
    n = samples * samples
    offsets = [(i + 0.5) / samples for i in range(samples)]
    # Premultiplied colour and alpha, as fractions.
    pixels = [[[0.0, 0.0, 0.0, 0.0] for _ in range(size)] for _ in range(size)]
    for shape, colour in layers:
        x0, y0, x1, y1 = shape.bounds
        first_col = max(0, int(math.floor(x0 * size)))
        last_col = min(size - 1, int(math.floor(x1 * size)))
        first_row = max(0, int(math.floor(y0 * size)))
        last_row = min(size - 1, int(math.floor(y1 * size)))
        fr, fg, fb = (c / 255.0 for c in colour)
        for row in range(first_row, last_row + 1):
            for col in range(first_col, last_col + 1):
                hits = 0
                for oy in offsets:
                    y = (row + oy) / size
                    for ox in offsets:
                        if shape.contains((col + ox) / size, y):
                            hits += 1
                if hits == 0:
                    continue
                cover = hits / n
                keep = 1.0 - cover
                p = pixels[row][col]
                p[0] = fr * cover + p[0] * keep
                p[1] = fg * cover + p[1] * keep
                p[2] = fb * cover + p[2] * keep
                p[3] = cover + p[3] * keep
    rows = []
    for line in pixels:
        out = []
        for r, g, b, a in line:
            if a <= 0.0:
                out.append((0, 0, 0, 0))
            else:
                out.append((_byte(r / a), _byte(g / a), _byte(b / a), _byte(a)))
        rows.append(out)
    return rows


def render_indexed(layers, width, height, background):
    """Paints `layers`, a list of (shape, palette index) in pixel units, bottom layer first,
    over `background`, one sample at each pixel's centre: crisp edges for a picture with few
    colours. Returns rows of palette indices, top row first."""
    rows = [[background] * width for _ in range(height)]
    for shape, index in layers:
        x0, y0, x1, y1 = shape.bounds
        for row in range(max(0, int(math.floor(y0))), min(height, int(math.ceil(y1)) + 1)):
            line = rows[row]
            for col in range(max(0, int(math.floor(x0))), min(width, int(math.ceil(x1)) + 1)):
                if shape.contains(col + 0.5, row + 0.5):
                    line[col] = index
    return rows


def _byte(fraction):
    return max(0, min(255, int(fraction * 255.0 + 0.5)))


def png_bytes(rows):
    """An RGBA PNG of `rows` (as render_rgba returns them). No time or text chunks, so the same
    picture always gives the same bytes."""
    height = len(rows)
    width = len(rows[0])
    raw = bytearray()
    for line in rows:
        raw.append(0)  # no filter
        for pixel in line:
            raw.extend(pixel)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
