#!/usr/bin/python3
"""Reads the grey files grey_conversion_test left behind with Pillow, a BMP
reader of its own, and checks them against their 24-bit sources.

usage: grey_pillow_check.py FOLDER NAME...
Each NAME must have NAME.source.bmp and NAME.grey.bmp in FOLDER; any other
pair there is checked as well.
"""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "support"))
from pillow_image import Image  # noqa: E402


def check(folder, name):
    with Image.open(folder / f"{name}.source.bmp") as source, \
         Image.open(folder / f"{name}.grey.bmp") as grey:
        problems = []
        if grey.format != "BMP":
            problems.append(f"format {grey.format}")
        # Pillow calls an 8-bit BMP "L" only when its palette is the grey ramp.
        if grey.mode != "L":
            problems.append(f"mode {grey.mode}, not L: the palette is not (i, i, i)")
        if grey.size != source.size:
            problems.append(f"size {grey.size}, source {source.size}")
        if problems:
            return problems
        rgb = source.convert("RGB").tobytes()
        levels = grey.tobytes()
        width = source.size[0]
        for k, level in enumerate(levels):
            red, green, blue = rgb[3 * k:3 * k + 3]
            expected = (3 * blue + 6 * green + red) // 10
            if level != expected:
                problems.append(f"pixel ({k % width}, {k // width}) from the top: "
                                f"{level}, expected {expected} from rgb {red}, {green}, {blue}")
                if len(problems) == 5:
                    break
        return problems


def main():
    folder = pathlib.Path(sys.argv[1])
    names = set(sys.argv[2:])
    names |= {p.name[:-len(".grey.bmp")] for p in folder.glob("*.grey.bmp")}
    failed = False
    for name in sorted(names):
        if not (folder / f"{name}.grey.bmp").exists():
            print(f"{name}: no grey file in {folder}")
            failed = True
            continue
        problems = check(folder, name)
        for problem in problems:
            print(f"{name}: {problem}")
        failed |= bool(problems)
        if not problems:
            print(f"{name}: matches")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
