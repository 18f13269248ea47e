#!/usr/bin/python3
"""Reads the still images that save_close_test left behind with Pillow, a
reader that shares nothing with ours, and compares every pixel with the raw
frame the virtual card delivered (NAME.frame beside each NAME.bmp).

File names are modeM_WxH.bmp. The raw frame runs bottom-up: 8-bit grey in
mode 0, B G R in mode 1, little-endian 0RRRRRGGGGGBBBBB words in modes 2, 3."""
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from pillow_image import Image  # noqa: E402


def expected_rgb(raw, mode, width, height):
    """Top-down R G B bytes, as Pillow hands them out."""
    step = {0: 1, 1: 3, 2: 2, 3: 2}[mode]
    row_bytes = width * step
    out = bytearray()
    for y in range(height - 1, -1, -1):
        row = raw[y * row_bytes:(y + 1) * row_bytes]
        if mode == 0:
            for g in row:
                out += bytes((g, g, g))
        elif mode == 1:
            for x in range(0, row_bytes, 3):
                out += bytes((row[x + 2], row[x + 1], row[x]))
        else:
            for x in range(0, row_bytes, 2):
                word = row[x] | row[x + 1] << 8
                r, g, b = (word >> 10) & 31, (word >> 5) & 31, word & 31
                # 5 bits to 8, rounded to the nearest level, then checked
                # against the shift-and-repeat rule within one step.
                out += bytes(round(c * 255 / 31) for c in (r, g, b))
    return bytes(out)


def check(folder):
    names = sorted(n for n in os.listdir(folder) if n.endswith(".bmp"))
    failures = []
    for name in names:
        match = re.fullmatch(r"mode([0-3])_(\d+)x(\d+)\.bmp", name)
        if not match:
            continue
        mode, width, height = (int(g) for g in match.groups())
        path = os.path.join(folder, name)
        with Image.open(path) as image:
            image.load()
            if image.format != "BMP" or image.mode != "RGB" or image.size != (width, height):
                failures.append(f"{name}: {image.format} {image.mode} {image.size}")
                continue
            got = image.tobytes()
        with open(path[:-4] + ".frame", "rb") as f:
            raw = f.read()
        want = expected_rgb(raw, mode, width, height)
        if not any(got):
            failures.append(f"{name}: every pixel black, no frame the card delivered")
            continue
        if len(got) != len(want):
            failures.append(f"{name}: {len(got)} pixel bytes, expected {len(want)}")
            continue
        # Widened 5-bit channels may differ from exact rounding by one level.
        tolerance = 0 if mode in (0, 1) else 1
        worst = max((abs(a - b) for a, b in zip(got, want)), default=0)
        if worst > tolerance:
            first = next(i for i, (a, b) in enumerate(zip(got, want)) if abs(a - b) > tolerance)
            pixel = first // 3
            failures.append(f"{name}: pixel ({pixel % width}, {pixel // width}) channel "
                            f"{first % 3} is {got[first]}, expected {want[first]}")
        print(f"{name}: {width}x{height} mode {mode}, largest difference {worst}")
    checked = [n for n in names if re.fullmatch(r"mode[0-3]_\d+x\d+\.bmp", n)]
    modes = {int(n[4]) for n in checked}
    if modes != {0, 1, 2, 3}:
        failures.append(f"files for modes {sorted(modes)} only, expected all four")
    for failure in failures:
        print("FAILED", failure)
    return not failures


if __name__ == "__main__":
    sys.exit(0 if check(sys.argv[1]) else 1)
