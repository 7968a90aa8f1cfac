#!/usr/bin/env python3
"""Write a large synthetic objex model for measuring conversion speed.

    gen_model.py OUTDIR [--tris 65000] [--groups 100] [--materials 50] [--textures 64]
                        [--tex-size 64] [--collision-tris 0] [--seed 1]

The geometry is a set of grids (one per group) with shared vertices, so the
display-list builder meets realistic vertex reuse; materials cycle through the
textures; textures are PNGs with mixed content (colour gradients, greys,
alpha) written with zlib. The model stays inside the data model: at most
61,444 positions and 65,535 triangles.
"""
import argparse
import math
import os
import random
import struct
import zlib


def png(path, w, h, rgba_rows):
    raw = b"".join(b"\x00" + row for row in rgba_rows)

    def chunk(tag, data):
        c = struct.pack(">I", len(data)) + tag + data
        return c + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    with open(path, "wb") as fh:
        fh.write(b"\x89PNG\r\n\x1a\n")
        fh.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)))
        fh.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        fh.write(chunk(b"IEND", b""))


def texture_rows(kind, size, rnd):
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            if kind == 0:  # colour gradient, many colours
                r, g, b, a = (x * 255 // size, y * 255 // size, (x ^ y) & 255, 255)
            elif kind == 1:  # greyscale, few levels
                v = ((x // 8 + y // 8) % 8) * 32
                r = g = b = v
                a = 255
            elif kind == 2:  # colour with cut-out alpha
                r, g, b = (200, 60 + (x * 3) % 128, 40)
                a = 0 if (x - size / 2) ** 2 + (y - size / 2) ** 2 > (size / 2.2) ** 2 else 255
            else:  # noisy, forces quantisation
                r, g, b, a = rnd.randrange(256), rnd.randrange(256), rnd.randrange(256), 255
            row += bytes((r, g, b, a))
        rows.append(bytes(row))
    return rows


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("out")
    ap.add_argument("--tris", type=int, default=65000)
    ap.add_argument("--groups", type=int, default=100)
    ap.add_argument("--materials", type=int, default=50)
    ap.add_argument("--textures", type=int, default=64)
    ap.add_argument("--tex-size", type=int, default=64)
    ap.add_argument("--collision-tris", type=int, default=0)
    ap.add_argument("--seed", type=int, default=1)
    a = ap.parse_args()
    rnd = random.Random(a.seed)
    os.makedirs(os.path.join(a.out, "tex"), exist_ok=True)

    for t in range(a.textures):
        png(os.path.join(a.out, "tex", "t%03d.png" % t), a.tex_size, a.tex_size,
            texture_rows(t % 4, a.tex_size, rnd))

    with open(os.path.join(a.out, "model.mtl"), "w") as fh:
        for m in range(a.materials):
            fh.write("newmtl m%03d\n" % m)
            fh.write("Kd 0.8 0.8 0.8\n")
            if a.textures:
                fh.write("map_Kd tex/t%03d.png\n" % (m % a.textures))
        fh.write("newmtl ground.SOUND_GRASS\n")

    lines = ["mtllib model.mtl"]
    vt = 0
    nv = 0
    tris_per_group = max(2, (a.tris - a.collision_tris)) // a.groups
    # a grid of n x n quads has 2 n^2 triangles and (n + 1)^2 positions
    n = max(1, int(math.sqrt(tris_per_group / 2)))
    for g in range(a.groups):
        lines.append("g part%03d" % g)
        lines.append("usemtl m%03d" % (g % a.materials))
        base = nv
        ox, oz = (g % 10) * 1.1, (g // 10) * 1.1
        for j in range(n + 1):
            for i in range(n + 1):
                lines.append("v %.5f %.5f %.5f" % (ox + i / n, 0.05 * math.sin(i + j + g), oz + j / n))
                lines.append("vt %.5f %.5f" % (i / n * 2, j / n * 2))
                lines.append("vn 0 1 0")
                nv += 1
        for j in range(n):
            for i in range(n):
                p = base + j * (n + 1) + i + 1
                q = p + n + 1
                lines.append("f %d/%d/%d %d/%d/%d %d/%d/%d" % (p, p, p, q, q, q, p + 1, p + 1, p + 1))
                lines.append("f %d/%d/%d %d/%d/%d %d/%d/%d" % (p + 1, p + 1, p + 1, q, q, q, q + 1, q + 1, q + 1))
    if a.collision_tris:
        lines.append("g floor_COLLISION")
        lines.append("usemtl ground.SOUND_GRASS")
        m = max(1, int(math.sqrt(a.collision_tris / 2)))
        base = nv
        for j in range(m + 1):
            for i in range(m + 1):
                lines.append("v %.5f 0 %.5f" % (i * 10.0 / m, j * 10.0 / m))
                nv += 1
        for j in range(m):
            for i in range(m):
                p = base + j * (m + 1) + i + 1
                q = p + m + 1
                lines.append("f %d %d %d" % (p, q, p + 1))
                lines.append("f %d %d %d" % (p + 1, q, q + 1))
    with open(os.path.join(a.out, "model.objex"), "w") as fh:
        fh.write("\n".join(lines) + "\n")
    print("%s: %d positions, about %d triangles, %d textures" % (a.out, nv, a.groups * 2 * n * n, a.textures))


if __name__ == "__main__":
    main()
