#!/usr/bin/env python3
"""Draws the uninstaller's icon and writes the files the resource script uses.

The artwork is a closed cardboard box with a red "remove" badge, drawn from
a few shapes at 48, 32 and 16 pixels.  Output, next to this script:

  uninstall.ico     all eight images, for editors and viewers
  icon_N.dib        image N alone (BITMAPINFOHEADER, XOR and AND bitmaps),
                    linked in as RT_ICON resource N
  icon_group.bin    the icon group directory pointing at RT_ICON 1..8; both
                    icon groups in uninstall.rc use it, so the images are
                    stored once in the executable

The build uses the committed outputs; run this only after changing the
drawing.  Output is deterministic, so unchanged artwork gives identical files.

Standard library only:
  python3 make_icon.py [output-dir]   write the files
  python3 make_icon.py --check        exit 1 if the files here are stale
"""

import os
import struct
import sys

SUBSAMPLES = 8  # per pixel and axis, for anti-aliased edges

# The sixteen colours every display adapter could show; 4 bpp icons use
# this palette in this order.
VGA = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, OLIVE, SILVER, RED, YELLOW, WHITE = 0, 1, 3, 7, 9, 11, 15

# Each part of the drawing has a role.  True-colour images paint the role's
# gradient (top colour, bottom colour); 16-colour images paint the role's
# VGA colour without anti-aliasing, which stays crisp where gradients
# would only dither.
ROLES = {
    #  role         top colour         bottom colour      VGA
    "outline":    ((0x4A, 0x2E, 0x12), (0x3A, 0x22, 0x0C), BLACK),
    "top":        ((0xF0, 0xCE, 0x8E), (0xE4, 0xB8, 0x72), WHITE),
    "front":      ((0xE0, 0xAC, 0x62), (0xC8, 0x8E, 0x44), YELLOW),
    "side":       ((0xBC, 0x84, 0x3E), (0x9A, 0x64, 0x28), OLIVE),
    "tape":       ((0xFB, 0xF0, 0xD4), (0xF4, 0xE0, 0xB4), SILVER),
    "tape_front": ((0xF2, 0xD8, 0xA0), (0xE2, 0xC2, 0x84), SILVER),
    "halo":       ((0xFF, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF), WHITE),
    "badge_edge": ((0x9C, 0x0C, 0x0C), (0x78, 0x04, 0x04), MAROON),
    "badge":      ((0xF2, 0x56, 0x46), (0xC4, 0x16, 0x16), RED),
    "bar_shadow": ((0x90, 0x10, 0x10), (0x90, 0x10, 0x10), MAROON),
    "bar":        ((0xFF, 0xFF, 0xFF), (0xFF, 0xFF, 0xF4), WHITE),
}

# Geometry per size, in pixels.  Coordinates on .5 put a one-pixel outline
# exactly on a pixel row or column; the sizes are tuned by eye rather than
# scaled, because 16 px has no room for in-between pixels.  "crisp" drops
# anti-aliasing from the true-colour image too: at 16 px the blended edges
# turn the box into a blur.
LAYOUT = {
    48: dict(front=(3.5, 16.5, 30.5, 42.5), depth=(13, -10), tape=3.0,
             flap=8, badge=(35.5, 35.5, 10.5), halo=1.5, rim=1.0, bar=(6.5, 2.5),
             crisp=False),
    32: dict(front=(2.5, 11.5, 20.5, 28.5), depth=(8, -7), tape=2.0,
             flap=5, badge=(23.5, 23.5, 7.5), halo=1.2, rim=1.0, bar=(4.5, 1.5),
             crisp=False),
    16: dict(front=(0.5, 5.5, 9.5, 13.5), depth=(4, -4), tape=1.0,
             flap=0, badge=(11.5, 11.5, 4.5), halo=1.0, rim=0.8, bar=(2.5, 0.5),
             crisp=True),
}


# --- shapes: each is a test "is this point inside" plus a bounding box ----

def polygon(points):
    def inside(x, y):
        hit = False
        j = len(points) - 1
        for i in range(len(points)):
            (xi, yi), (xj, yj) = points[i], points[j]
            if (yi > y) != (yj > y) and x < xi + (y - yi) * (xj - xi) / (yj - yi):
                hit = not hit
            j = i
        return hit
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return inside, (min(xs), min(ys), max(xs), max(ys))


def circle(cx, cy, r):
    def inside(x, y):
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside, (cx - r, cy - r, cx + r, cy + r)


def outline(points, width):
    """Closed polyline stroked with the given width, centred on its edges."""
    half = width / 2.0
    edges = list(zip(points, points[1:] + points[:1]))

    def near(x, y):
        for (ax, ay), (bx, by) in edges:
            dx, dy = bx - ax, by - ay
            t = ((x - ax) * dx + (y - ay) * dy) / float(dx * dx + dy * dy)
            t = max(0.0, min(1.0, t))
            px, py = ax + t * dx - x, ay + t * dy - y
            if px * px + py * py <= half * half:
                return True
        return False
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return near, (min(xs) - half, min(ys) - half, max(xs) + half, max(ys) + half)


def intersection(a, b):
    (in_a, (ax0, ay0, ax1, ay1)), (in_b, (bx0, by0, bx1, by1)) = a, b
    return (lambda x, y: in_a(x, y) and in_b(x, y),
            (max(ax0, bx0), max(ay0, by0), min(ax1, bx1), min(ay1, by1)))


def rect(x0, y0, x1, y1):
    return polygon([(x0, y0), (x1, y0), (x1, y1), (x0, y1)])


# --- the artwork -----------------------------------------------------------

def artwork(size):
    """List of (role, shape) in painting order."""
    g = LAYOUT[size]
    x0, y0, x1, y1 = g["front"]
    dx, dy = g["depth"]
    front = [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]
    top = [(x0, y0), (x1, y0), (x1 + dx, y0 + dy), (x0 + dx, y0 + dy)]
    side = [(x1, y0), (x1 + dx, y0 + dy), (x1 + dx, y1 + dy), (x1, y1)]

    # Packing tape across the lid, meeting the front edge in the middle.
    mid = (x0 + x1) / 2.0
    tw = g["tape"]
    tape = [(mid - tw, y0), (mid + tw, y0),
            (mid + tw + dx, y0 + dy), (mid - tw + dx, y0 + dy)]

    ops = [("front", polygon(front)), ("top", polygon(top)),
           ("side", polygon(side)), ("tape", polygon(tape))]
    if g["flap"]:
        ops.append(("tape_front", rect(mid - tw, y0, mid + tw, y0 + g["flap"])))
    for face in (front, top, side):
        ops.append(("outline", outline(face, 1.0)))

    # The badge: a red disc with a dark rim and a white minus bar.  A white
    # halo parts it from the box; it stays within the box's silhouette, as
    # outside it would only add jagged edges against the desktop.
    cx, cy, r = g["badge"]
    bw, bh = g["bar"]
    silhouette = [(x0, y0), (x0 + dx, y0 + dy), (x1 + dx, y0 + dy),
                  (x1 + dx, y1 + dy), (x1, y1), (x0, y1)]
    ops += [
        ("halo", intersection(circle(cx, cy, r + g["halo"]), polygon(silhouette))),
        ("badge_edge", circle(cx, cy, r)),
        ("badge", circle(cx, cy, r - g["rim"])),
    ]
    if size > 16:
        ops.append(("bar_shadow", rect(cx - bw, cy - bh + 1, cx + bw, cy + bh + 1)))
    ops.append(("bar", rect(cx - bw, cy - bh, cx + bw, cy + bh)))
    return ops


def render(size):
    """Paints the artwork on a subsampled grid.

    Returns the true-colour image as rows of (r, g, b) or None for
    transparent, and the 16-colour image as rows of VGA index or None.
    """
    n = size * SUBSAMPLES
    roles = [[None] * n for _ in range(n)]
    colours = [[None] * n for _ in range(n)]
    ops = artwork(size)
    for role, (inside, (bx0, by0, bx1, by1)) in ops:
        top_c, bottom_c, _ = ROLES[role]
        i0 = max(0, int(bx0 * SUBSAMPLES))
        i1 = min(n, int(bx1 * SUBSAMPLES) + 1)
        j0 = max(0, int(by0 * SUBSAMPLES))
        j1 = min(n, int(by1 * SUBSAMPLES) + 1)
        span = max(by1 - by0, 1e-9)
        for j in range(j0, j1):
            y = (j + 0.5) / SUBSAMPLES
            t = min(1.0, max(0.0, (y - by0) / span))
            c = tuple(int(round(a + (b - a) * t)) for a, b in zip(top_c, bottom_c))
            for i in range(i0, i1):
                x = (i + 0.5) / SUBSAMPLES
                if inside(x, y):
                    roles[j][i] = role
                    colours[j][i] = c

    # Where samples tie, the role painted last wins, as it is on top.
    order = {None: -1}
    for k, (role, _) in enumerate(ops):
        order[role] = k
    crisp = LAYOUT[size]["crisp"]

    true_rows, vga_rows = [], []
    half = SUBSAMPLES * SUBSAMPLES / 2.0
    for py in range(size):
        trow, vrow = [], []
        for px in range(size):
            cover = []
            votes = {}
            for j in range(py * SUBSAMPLES, (py + 1) * SUBSAMPLES):
                for i in range(px * SUBSAMPLES, (px + 1) * SUBSAMPLES):
                    votes[roles[j][i]] = votes.get(roles[j][i], 0) + 1
                    if colours[j][i] is not None:
                        cover.append((roles[j][i], colours[j][i]))
            best = max(votes.items(), key=lambda kv: (kv[1], order[kv[0]]))[0]
            # No alpha channel in these images: a pixel is opaque when the
            # shapes cover at least half of it.  It then takes the average
            # of the covered part, or in crisp mode of the majority role
            # only, which keeps one-pixel lines from smearing.
            if crisp:
                cover = [c for role, c in cover if role == best]
            else:
                cover = [c for _, c in cover] if len(cover) >= half else []
            if cover:
                trow.append(tuple(int(round(sum(c[k] for c in cover) / float(len(cover))))
                                  for k in range(3)))
            else:
                trow.append(None)
            vrow.append(None if best is None else ROLES[best][2])
        true_rows.append(trow)
        vga_rows.append(vrow)
    return true_rows, vga_rows


# --- 256-colour palette -----------------------------------------------------

def median_cut(counts, wanted):
    """Reduce {colour: pixel count} to at most `wanted` colours.

    Splits the box with the widest channel range at its weighted median
    until there are enough boxes; each box becomes its weighted mean.
    """
    boxes = [sorted(counts.items())]
    while len(boxes) < wanted:
        best, best_range, best_ch = None, 0, 0
        for k, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for ch in range(3):
                vals = [c[ch] for c, _ in box]
                if max(vals) - min(vals) > best_range:
                    best, best_range, best_ch = k, max(vals) - min(vals), ch
        if best is None:
            break
        box = sorted(boxes[best], key=lambda cc: (cc[0][best_ch], cc[0]))
        total = sum(w for _, w in box)
        acc, cut = 0, 1
        for k, (_, w) in enumerate(box[:-1]):
            acc += w
            cut = k + 1
            if acc * 2 >= total:
                break
        boxes[best:best + 1] = [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        total = sum(w for _, w in box)
        palette.append(tuple(int(round(sum(c[ch] * w for c, w in box) / float(total)))
                             for ch in range(3)))
    return sorted(set(palette))


def nearest(palette, c):
    # Weighted RGB distance: the eye is most sensitive to green, least to blue.
    return min(range(len(palette)), key=lambda k: (
        3 * (palette[k][0] - c[0]) ** 2 + 4 * (palette[k][1] - c[1]) ** 2 +
        2 * (palette[k][2] - c[2]) ** 2, k))


def to_indexed(rows):
    """True-colour rows to (256-entry palette, index rows).

    Index 0 is black: transparent pixels must be 0 in the colour bitmap for
    the AND/XOR blend to leave the background alone.
    """
    counts = {}
    for row in rows:
        for c in row:
            if c is not None:
                counts[c] = counts.get(c, 0) + 1
    counts.pop((0, 0, 0), None)
    colours = median_cut(counts, 255)
    palette = [(0, 0, 0)] + colours
    lookup = {c: nearest(palette, c) for c in sorted(counts)}
    lookup[(0, 0, 0)] = 0
    index_rows = [[0 if c is None else lookup[c] for c in row] for row in rows]
    palette += [(0, 0, 0)] * (256 - len(palette))
    return palette, index_rows


# --- file formats -------------------------------------------------------------

def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def dib(size, bpp, pixels, mask, palette=()):
    """One icon image: header with doubled height, palette, colour bitmap
    (XOR) and 1-bit transparency mask (AND), both stored bottom-up."""
    xor = b""
    for row in reversed(pixels):
        if bpp == 24:
            data = b"".join(struct.pack("<BBB", b, g, r) for r, g, b in row)
        elif bpp == 8:
            data = bytes(row)
        else:  # 4 bpp, first pixel in the high nibble
            data = bytes((row[k] << 4) | row[k + 1] for k in range(0, size, 2))
        xor += padded(data)
    andmask = b""
    for row in reversed(mask):
        bits = bytearray((size + 7) // 8)
        for x, transparent in enumerate(row):
            if transparent:
                bits[x // 8] |= 0x80 >> (x % 8)
        andmask += padded(bytes(bits))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                         len(xor) + len(andmask), 0, 0, 0, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + pal + xor + andmask


def images():
    """The eight images in directory order: (size, bpp, dib bytes)."""
    rendered = {size: render(size) for size in (48, 32, 16)}
    out = []
    for size in (32, 16):
        vga = rendered[size][1]
        mask = [[v is None for v in row] for row in vga]
        pixels = [[0 if v is None else v for v in row] for row in vga]
        out.append((size, 4, dib(size, 4, pixels, mask, VGA)))
    for size in (48, 32, 16):
        rows = rendered[size][0]
        mask = [[c is None for c in row] for row in rows]
        palette, pixels = to_indexed(rows)
        out.append((size, 8, dib(size, 8, pixels, mask, palette)))
    for size in (48, 32, 16):
        rows = rendered[size][0]
        mask = [[c is None for c in row] for row in rows]
        pixels = [[(0, 0, 0) if c is None else c for c in row] for row in rows]
        out.append((size, 24, dib(size, 24, pixels, mask)))
    return out


def entry_head(size, bpp):
    # bWidth, bHeight, bColorCount (0 when 256 or more), bReserved,
    # wPlanes, wBitCount
    return struct.pack("<BBBBHH", size, size, 16 if bpp == 4 else 0, 0, 1, bpp)


def outputs():
    """{file name: contents} of everything this script writes."""
    imgs = images()

    # .ico file: ICONDIR, then ICONDIRENTRYs with file offsets, then images.
    ico = struct.pack("<HHH", 0, 1, len(imgs))
    offset = 6 + 16 * len(imgs)
    for size, bpp, data in imgs:
        ico += entry_head(size, bpp) + struct.pack("<II", len(data), offset)
        offset += len(data)
    ico += b"".join(data for _, _, data in imgs)

    # Group directory: same header, 14-byte entries ending in the RT_ICON id.
    group = struct.pack("<HHH", 0, 1, len(imgs))
    for number, (size, bpp, data) in enumerate(imgs, 1):
        group += entry_head(size, bpp) + struct.pack("<IH", len(data), number)

    files = {"uninstall.ico": ico, "icon_group.bin": group}
    for number, (_, _, data) in enumerate(imgs, 1):
        files["icon_%d.dib" % number] = data
    return files


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    files = outputs()
    if sys.argv[1:] == ["--check"]:
        stale = []
        for name in sorted(files):
            try:
                with open(os.path.join(here, name), "rb") as f:
                    same = f.read() == files[name]
            except OSError:
                same = False
            if not same:
                stale.append(name)
        for name in stale:
            print("stale: %s (run make_icon.py)" % name)
        return 1 if stale else 0

    outdir = sys.argv[1] if len(sys.argv) > 1 else here
    os.makedirs(outdir, exist_ok=True)
    for name in sorted(files):
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(files[name])
        print("%-16s %6d bytes" % (name, len(files[name])))
    return 0


if __name__ == "__main__":
    sys.exit(main())
