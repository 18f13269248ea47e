#!/usr/bin/python3
"""Picture files our programs left behind, read with Pillow, a reader that
shares nothing with ours, and compared pixel for pixel with what they must
hold.

  pillow_files_check.py stills FOLDER
      save_close_test's still images modeM_WxH.bmp against the raw frame the
      virtual card delivered (NAME.frame beside each NAME.bmp), all four
      modes among them. The raw frame runs bottom-up: 8-bit grey in mode 0,
      B G R in mode 1, little-endian 0RRRRRGGGGGBBBBB words in modes 2, 3.
  pillow_files_check.py grey FOLDER NAME...
      grey_conversion_test's NAME.grey.bmp against NAME.source.bmp, for each
      NAME given and any other pair in FOLDER."""
import pathlib
import re
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "support"))
from pillow_image import Image  # noqa: E402


def first_difference(got, want, width, channels, tolerance=0):
    """Where the bytes first differ by more than the tolerance; None if nowhere."""
    for k, (a, b) in enumerate(zip(got, want)):
        if abs(a - b) > tolerance:
            pixel = k // channels
            return f"pixel ({pixel % width}, {pixel // width}) from the top, byte {k % channels}: {a}, expected {b}"
    return None


def expected_rgb(raw, mode, width, height):
    """Top-down R G B bytes, as Pillow hands them out."""
    row_bytes = width * {0: 1, 1: 3, 2: 2, 3: 2}[mode]
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
                # 5 bits to 8, rounded to the nearest level.
                out += bytes(round(((word >> shift) & 31) * 255 / 31) for shift in (10, 5, 0))
    return bytes(out)


def still_problems(folder, name, mode, width, height):
    with Image.open(folder / name) as image:
        image.load()
        if image.format != "BMP" or image.mode != "RGB" or image.size != (width, height):
            return f"{image.format} {image.mode} {image.size}"
        got = image.tobytes()
    want = expected_rgb((folder / name).with_suffix(".frame").read_bytes(), mode, width, height)
    if not any(got):
        return "every pixel black, no frame the card delivered"
    if len(got) != len(want):
        return f"{len(got)} pixel bytes, expected {len(want)}"
    # Widened 5-bit channels may differ from exact rounding by one level.
    return first_difference(got, want, width, 3, 0 if mode in (0, 1) else 1)


def stills(folder):
    failures, modes = [], set()
    for name in sorted(p.name for p in folder.glob("*.bmp")):
        match = re.fullmatch(r"mode([0-3])_(\d+)x(\d+)\.bmp", name)
        if match:
            mode, width, height = (int(g) for g in match.groups())
            modes.add(mode)
            problem = still_problems(folder, name, mode, width, height)
            failures += [f"{name}: {problem}"] if problem else []
            print(f"{name}: {width}x{height} mode {mode}, {problem or 'matches'}")
    if modes != {0, 1, 2, 3}:
        failures.append(f"files for modes {sorted(modes)} only, expected all four")
    return failures


def grey_problem(folder, name):
    if not (folder / f"{name}.grey.bmp").exists():
        return f"no grey file in {folder}"
    with Image.open(folder / f"{name}.source.bmp") as source, Image.open(folder / f"{name}.grey.bmp") as grey:
        # Pillow calls an 8-bit BMP "L" only when its palette is the grey ramp.
        if (grey.format, grey.mode, grey.size) != ("BMP", "L", source.size):
            return f"{grey.format} {grey.mode} {grey.size}, not BMP L {source.size}: is the palette (i, i, i)?"
        rgb = source.convert("RGB").tobytes()
        want = bytes((3 * rgb[k + 2] + 6 * rgb[k + 1] + rgb[k]) // 10 for k in range(0, len(rgb), 3))
        return first_difference(grey.tobytes(), want, source.size[0], 1)


def greys(folder, names):
    names = set(names) | {p.name[:-len(".grey.bmp")] for p in folder.glob("*.grey.bmp")}
    failures = []
    for name in sorted(names):
        problem = grey_problem(folder, name)
        failures += [f"{name}: {problem}"] if problem else []
        print(f"{name}: {problem or 'matches'}")
    return failures


if __name__ == "__main__":
    if len(sys.argv) < 3 or sys.argv[1] not in ("stills", "grey"):
        sys.exit(__doc__)
    folder = pathlib.Path(sys.argv[2])
    failures = stills(folder) if sys.argv[1] == "stills" else greys(folder, sys.argv[3:])
    for failure in failures:
        print("FAILED", failure)
    sys.exit(1 if failures else 0)
