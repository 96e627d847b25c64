#!/usr/bin/env python3
"""Draws the picture of the USB-8620A module shown on the editor's Device page.

Writes a 364 x 230 pixel, 24-bit BMP (bitmap resource 147), twice the size
the picture has at 96 DPI, which the library scales down to the size it needs
at the screen's DPI with an area average: the module's box
seen from the front and above, two green screw-terminal blocks along the back
edge of its lid, the "USB-8620A" label, a USB-B socket and the power lamp.

Standard library only. Shapes are drawn in picture coordinates (182 x 115,
the picture at 96 DPI) and filled on a canvas four times the size of the
output and averaged down, which smooths their edges; the label uses the
small 5 x 7 font below.

    python3 editor/res/make_module_bitmap.py [OUTPUT]   (default: module.bmp
                                                         beside this script)
"""

import math
import os
import struct
import sys

WIDTH, HEIGHT = 182, 115  # picture coordinates: the picture at 96 DPI
SCALE = 2  # output pixels per picture coordinate
SS = 4  # supersampling factor

# 5 x 7 glyphs, '#' is ink.
FONT = {
    " ": ["     "] * 7,
    "-": ["     ", "     ", "     ", "#####", "     ", "     ", "     "],
    ".": ["     ", "     ", "     ", "     ", "     ", " ##  ", " ##  "],
    "/": ["    #", "    #", "   # ", "  #  ", " #   ", "#    ", "#    "],
    "0": [" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    "1": ["  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "],
    "2": [" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"],
    "3": ["#####", "   # ", "  #  ", "   # ", "    #", "#   #", " ### "],
    "4": ["   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "],
    "5": ["#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "],
    "6": ["  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "],
    "7": ["#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "],
    "8": [" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "],
    "9": [" ### ", "#   #", "#   #", " ####", "    #", "   # ", " ##  "],
    "A": [" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
    "B": ["#### ", "#   #", "#   #", "#### ", "#   #", "#   #", "#### "],
    "C": [" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "],
    "D": ["#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "],
    "E": ["#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"],
    "F": ["#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#    "],
    "G": [" ### ", "#   #", "#    ", "# ###", "#   #", "#   #", " ####"],
    "H": ["#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
    "I": [" ### ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "],
    "J": ["  ###", "   # ", "   # ", "   # ", "   # ", "#  # ", " ##  "],
    "K": ["#   #", "#  # ", "# #  ", "##   ", "# #  ", "#  # ", "#   #"],
    "L": ["#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"],
    "M": ["#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"],
    "N": ["#   #", "#   #", "##  #", "# # #", "#  ##", "#   #", "#   #"],
    "O": [" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    "P": ["#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "],
    "Q": [" ### ", "#   #", "#   #", "#   #", "# # #", "#  # ", " ## #"],
    "R": ["#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"],
    "S": [" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "],
    "T": ["#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "],
    "U": ["#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    "V": ["#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "],
    "W": ["#   #", "#   #", "#   #", "# # #", "# # #", "# # #", " # # "],
    "X": ["#   #", "#   #", " # # ", "  #  ", " # # ", "#   #", "#   #"],
    "Y": ["#   #", "#   #", " # # ", "  #  ", "  #  ", "  #  ", "  #  "],
    "Z": ["#####", "    #", "   # ", "  #  ", " #   ", "#    ", "#####"],
}


class Canvas:
    """An RGB canvas in picture coordinates, stored SS times finer than an
    output `scale` times the picture's size."""

    def __init__(self, width, height, scale=1):
        self.k = SS * scale  # canvas pixels per picture coordinate
        self.w, self.h = width * self.k, height * self.k
        self.px = [[0.0, 0.0, 0.0] for _ in range(self.w * self.h)]

    def _blend(self, i, color, alpha):
        p = self.px[i]
        if alpha >= 1.0:
            p[0], p[1], p[2] = color
        else:
            p[0] += (color[0] - p[0]) * alpha
            p[1] += (color[1] - p[1]) * alpha
            p[2] += (color[2] - p[2]) * alpha

    def fill_polygon(self, points, paint, alpha=1.0):
        """Fills a polygon (picture coordinates, even-odd rule). `paint` is a
        colour or a function of picture (x, y) giving a colour."""
        pts = [(x * self.k, y * self.k) for x, y in points]
        ys = [p[1] for p in pts]
        y0 = max(0, int(math.floor(min(ys))))
        y1 = min(self.h - 1, int(math.ceil(max(ys))))
        shader = paint if callable(paint) else None
        n = len(pts)
        for sy in range(y0, y1 + 1):
            cy = sy + 0.5
            xs = []
            for k in range(n):
                ax, ay = pts[k]
                bx, by = pts[(k + 1) % n]
                if (ay <= cy < by) or (by <= cy < ay):
                    xs.append(ax + (cy - ay) * (bx - ax) / (by - ay))
            xs.sort()
            for k in range(0, len(xs) - 1, 2):
                sx0 = max(0, int(math.ceil(xs[k] - 0.5)))
                sx1 = min(self.w - 1, int(math.ceil(xs[k + 1] - 0.5)) - 1)
                row = sy * self.w
                for sx in range(sx0, sx1 + 1):
                    if shader:
                        c = shader((sx + 0.5) / self.k, cy / self.k)
                        a = alpha * (c[3] if len(c) > 3 else 1.0)
                        self._blend(row + sx, c[:3], a)
                    else:
                        self._blend(row + sx, paint, alpha)

    def rect(self, x0, y0, x1, y1, paint, alpha=1.0):
        self.fill_polygon([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], paint, alpha)

    def ellipse(self, cx, cy, rx, ry, paint, alpha=1.0, steps=48):
        pts = [(cx + rx * math.cos(2 * math.pi * k / steps),
                cy + ry * math.sin(2 * math.pi * k / steps)) for k in range(steps)]
        self.fill_polygon(pts, paint, alpha)

    def line(self, x0, y0, x1, y1, width, paint, alpha=1.0):
        dx, dy = x1 - x0, y1 - y0
        length = math.hypot(dx, dy) or 1.0
        nx, ny = -dy / length * width / 2, dx / length * width / 2
        self.fill_polygon([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny),
                           (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)], paint, alpha)

    def text(self, x, y, string, scale, paint, spacing=1):
        """Draws `string` with its top left corner at (x, y); one font pixel is
        `scale` picture pixels."""
        for ch in string:
            glyph = FONT[ch]
            for gy, row in enumerate(glyph):
                for gx, bit in enumerate(row):
                    if bit == "#":
                        self.rect(x + gx * scale, y + gy * scale,
                                  x + (gx + 1) * scale, y + (gy + 1) * scale, paint)
            x += (5 + spacing) * scale

    def downsample(self):
        out = []
        for y in range(self.h // SS):
            row = []
            for x in range(self.w // SS):
                r = g = b = 0.0
                for sy in range(SS):
                    base = (y * SS + sy) * self.w + x * SS
                    for sx in range(SS):
                        p = self.px[base + sx]
                        r += p[0]
                        g += p[1]
                        b += p[2]
                n = SS * SS
                row.append((r / n, g / n, b / n))
            out.append(row)
        return out


def text_width(string, scale, spacing=1):
    return (len(string) * (5 + spacing) - spacing) * scale


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def rounded_rect_points(x0, y0, x1, y1, r, steps=6):
    pts = []
    corners = [(x1 - r, y0 + r, -90), (x1 - r, y1 - r, 0),
               (x0 + r, y1 - r, 90), (x0 + r, y0 + r, 180)]
    for cx, cy, start in corners:
        for k in range(steps + 1):
            a = math.radians(start + 90 * k / steps)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def draw(c):
    # Backdrop: a light studio gradient.
    c.rect(0, 0, WIDTH, HEIGHT,
           lambda x, y: mix((252, 252, 253), (222, 225, 230), y / HEIGHT))

    # The box: front face, lid (top face) and right side, in a slanted view.
    fx0, fx1, fy0, fy1 = 7.0, 161.0, 50.0, 98.0  # front face
    dx, dy = 13.0, -24.0                            # depth of the box

    # Soft shadow under the box.
    for k in range(8):
        t = k / 7
        c.ellipse((fx0 + fx1 + dx) / 2 + 4, fy1 + 2 - t * 3, 84 - t * 20, 9 - t * 5,
                  (60, 64, 72), alpha=0.06 + 0.03 * t)

    lid = [(fx0, fy0), (fx1, fy0), (fx1 + dx, fy0 + dy), (fx0 + dx, fy0 + dy)]
    side = [(fx1, fy0), (fx1 + dx, fy0 + dy), (fx1 + dx, fy1 + dy), (fx1, fy1)]
    front = [(fx0, fy0), (fx1, fy0), (fx1, fy1 - 3), (fx1 - 3, fy1),
             (fx0 + 3, fy1), (fx0, fy1 - 3)]

    lid_near, lid_far = (96, 136, 190), (128, 164, 212)
    c.fill_polygon(lid, lambda x, y: mix(lid_near, lid_far, (fy0 - y) / -dy))
    c.fill_polygon(side, lambda x, y: mix((40, 66, 112), (28, 48, 86), (y - fy0) / (fy1 - fy0)))
    c.fill_polygon(front, lambda x, y: mix((58, 94, 150), (36, 62, 108), (y - fy0) / (fy1 - fy0)))

    # Edges: a bright rim where lid meets front, a darker one at the far corner.
    c.line(fx0, fy0, fx1, fy0, 1.2, (178, 204, 236))
    c.line(fx1, fy0, fx1 + dx, fy0 + dy, 1.0, (150, 180, 222))
    c.line(fx0, fy0, fx0 + dx, fy0 + dy, 0.8, (150, 180, 222))
    c.line(fx1, fy0, fx1, fy1, 0.8, (70, 104, 156))

    # Screw-terminal blocks on the lid, along its back edge: two blocks of
    # eight terminals each. Positions on the lid are (u, v): u from 0 (left)
    # to 1 (right), v from 0 (front edge) to 1 (back edge).
    def lid_point(u, v, lift=0.0):
        return (fx0 + (fx1 - fx0) * u + dx * v, fy0 + dy * v - lift)

    block_h = 5.0
    v_front, v_back = 0.34, 0.90
    for u0, u1 in ((0.05, 0.47), (0.53, 0.95)):
        # Body: front wall, then top.
        a, b = lid_point(u0, v_front), lid_point(u1, v_front)
        at, bt = lid_point(u0, v_front, block_h), lid_point(u1, v_front, block_h)
        c.fill_polygon([a, b, bt, at], (22, 112, 60))
        top = [lid_point(u0, v_front, block_h), lid_point(u1, v_front, block_h),
               lid_point(u1, v_back, block_h), lid_point(u0, v_back, block_h)]
        c.fill_polygon(top, (44, 158, 88))
        # Right end wall.
        c.fill_polygon([lid_point(u1, v_front), lid_point(u1, v_back),
                        lid_point(u1, v_back, block_h), lid_point(u1, v_front, block_h)],
                       (16, 84, 44))
        c.line(at[0], at[1], bt[0], bt[1], 0.6, (96, 200, 130))
        for k in range(8):
            u = u0 + (u1 - u0) * (k + 0.5) / 8
            # Wire entry in the front wall.
            ex, ey = lid_point(u, v_front, block_h * 0.45)
            c.rect(ex - 2.0, ey - 1.3, ex + 2.0, ey + 1.3, (10, 30, 18))
            # Screw head on top: a flattened disc with its slot.
            sx, sy = lid_point(u, (v_front + v_back) / 2, block_h)
            c.ellipse(sx + 0.3, sy + 0.4, 3.0, 1.9, (20, 90, 48))
            c.ellipse(sx, sy, 2.8, 1.7,
                      lambda x, y, sx=sx, sy=sy: mix((236, 238, 242), (150, 156, 166),
                                                     (x - sx + 3) / 6 * 0.6 + (y - sy + 2) / 4 * 0.4))
            c.line(sx - 2.0, sy + 0.6, sx + 2.0, sy - 0.6, 0.6, (84, 88, 96))

    # Corner screws of the front panel.
    for x, y in ((fx0 + 4, fy0 + 4), (fx1 - 4, fy0 + 4), (fx0 + 4, fy1 - 4), (fx1 - 4, fy1 - 4)):
        c.ellipse(x, y, 1.6, 1.6, (24, 40, 70))
        c.ellipse(x - 0.2, y - 0.2, 1.2, 1.2, (150, 166, 190))

    # Label panel with the model name and a subtitle.
    panel = rounded_rect_points(fx0 + 8, fy0 + 8, fx0 + 111, fy1 - 8, 2.0)
    c.fill_polygon(panel, lambda x, y: mix((26, 40, 70), (18, 28, 52), (y - fy0) / 30))
    name = "USB-8620A"
    name_w = text_width(name, 1.75)
    px0 = fx0 + 8 + (103 - name_w) / 2
    c.text(px0, fy0 + 13, name, 1.75, (248, 250, 255))
    sub = "DATA ACQUISITION"
    sub_scale = 1.0
    sub_w = text_width(sub, sub_scale)
    c.text(fx0 + 8 + (103 - sub_w) / 2, fy0 + 31, sub, sub_scale, (150, 186, 236))

    # USB-B socket on the right of the front panel.
    ux0, uy0 = fx1 - 36, fy0 + 11
    c.fill_polygon(rounded_rect_points(ux0 - 1, uy0 - 1, ux0 + 13, uy0 + 13, 1.5),
                   (24, 36, 60))
    c.fill_polygon([(ux0, uy0 + 3), (ux0 + 3, uy0), (ux0 + 9, uy0), (ux0 + 12, uy0 + 3),
                    (ux0 + 12, uy0 + 12), (ux0, uy0 + 12)],
                   lambda x, y: mix((226, 230, 236), (150, 156, 168), (y - uy0) / 12))
    c.fill_polygon([(ux0 + 1.5, uy0 + 3.6), (ux0 + 3.6, uy0 + 1.5), (ux0 + 8.4, uy0 + 1.5),
                    (ux0 + 10.5, uy0 + 3.6), (ux0 + 10.5, uy0 + 10.5), (ux0 + 1.5, uy0 + 10.5)],
                   (20, 22, 28))
    c.rect(ux0 + 3.5, uy0 + 4.2, ux0 + 8.5, uy0 + 8.8, (236, 236, 228))
    c.rect(ux0 + 3.5, uy0 + 7.6, ux0 + 8.5, uy0 + 8.8, (196, 160, 70))
    # The USB mark under the socket: a stem with a circle, a triangle and a square.
    mx, my = ux0 + 6, uy0 + 20
    mark = (200, 214, 236)
    c.line(mx - 5, my, mx + 5, my, 0.8, mark)
    c.ellipse(mx - 5.5, my, 1.2, 1.2, mark)
    c.fill_polygon([(mx + 5, my - 1.4), (mx + 7.2, my), (mx + 5, my + 1.4)], mark)
    c.line(mx - 2, my, mx, my - 2.2, 0.7, mark)
    c.line(mx, my - 2.2, mx + 2.5, my - 2.2, 0.7, mark)
    c.ellipse(mx + 2.8, my - 2.2, 0.9, 0.9, mark)
    c.line(mx, my, mx + 1.5, my + 2.2, 0.7, mark)
    c.line(mx + 1.5, my + 2.2, mx + 3.2, my + 2.2, 0.7, mark)
    c.rect(mx + 3.0, my + 1.3, mx + 4.8, my + 3.1, mark)

    # Power lamp, lit, with a glow.
    lx, ly = fx1 - 11, fy0 + 17
    for k in range(5):
        c.ellipse(lx, ly, 4.5 - k * 0.6, 4.5 - k * 0.6, (120, 255, 140), alpha=0.10)
    c.ellipse(lx, ly, 1.9, 1.9, (60, 220, 90))
    c.ellipse(lx - 0.5, ly - 0.5, 0.8, 0.8, (214, 255, 220))

    # Rubber feet peeking out below the front face.
    for x in (fx0 + 10, fx1 - 10):
        c.rect(x - 6, fy1 - 0.5, x + 6, fy1 + 1.6, (40, 42, 48))


def write_bmp(path, rows):
    width, height = len(rows[0]), len(rows)
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((int(round(max(0, min(255, b)))),
                           int(round(max(0, min(255, g)))),
                           int(round(max(0, min(255, r))))))
        line += b"\0" * (stride - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data),
                       2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "module.bmp")
    canvas = Canvas(WIDTH, HEIGHT, SCALE)
    draw(canvas)
    write_bmp(out, canvas.downsample())


if __name__ == "__main__":
    main()
