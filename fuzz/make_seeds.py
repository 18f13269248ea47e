#!/usr/bin/python3
"""Writes the fuzz targets' seed corpora into OUT/<target>/, from the
project's own tests: the command lines of the option parsers' unit tables,
the DLL images the PE reader's tests build (PE_SEEDS, a program built with
the targets), and BMP files made as the card's and Color2Gray's tests make
them, sound and damaged in the ways those tests damage them, written with
Pillow. Small files the Windows tests leave in build/*/tests-bin join them
(the grey check's files, the pictures other programs write) when present.
Findings kept in fuzz/findings/<target>/ are seeds too.

  make_seeds.py OUT PE_SEEDS"""
import ast
import pathlib
import re
import shutil
import subprocess
import sys

here = pathlib.Path(__file__).resolve().parent
root = here.parent
sys.path.insert(0, str(root / "tests" / "support"))
import pictures  # noqa: E402
from pictures import edited  # noqa: E402


def write(folder, name, data):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def option_seeds(folder):
    """Every list of words in the option parsers' unit tables, for each
    parser; every single value of the number table after each number option."""
    text = (root / "tests" / "unit" / "cli_options_unit_test.cpp").read_text()
    literal = r'"(?:[^"\\]|\\.)*"'
    lists = re.findall(r"\{\s*((?:%s\s*,\s*)*%s)\s*\}" % (literal, literal), text)
    lists.append("")  # no arguments at all
    values = re.findall(r"\{\s*(%s)\s*,\s*(?:true|false)" % literal, text)
    n = 0
    for words in [[ast.literal_eval(w) for w in re.findall(literal, group)] for group in lists]:
        for parser in range(4):
            write(folder, "words%03d" % n, bytes([parser]) + b"\0".join(w.encode() for w in words))
            n += 1
    for value in (ast.literal_eval(v) for v in values):
        for parser, option in enumerate(["--x", "--mode", "--rate", "--seconds"]):
            words = ["rec", option, value] if option == "--rate" else [option, value]
            if option == "--rate":
                parser = 2
            write(folder, "value%03d" % n, bytes([parser]) + b"\0".join(w.encode() for w in words))
            n += 1


def bmp24(width, height, turned=False, seed=0):
    """A 24-bit BMP as Pillow writes it (bottom-up), or turned top-down."""
    data = pictures.pillow_bmp(width, height, pictures.counted_pixels(width, height, seed))
    return pictures.top_down(data) if turned else data


def picture_seeds(folder):
    """The card's scene and footage pictures: the sizes its tests play, each
    orientation, odd widths whose rows carry padding, the last row's padding
    left out, and the damaged headers its refusal table lists."""
    n = 0
    for width, height in [(16, 16), (5, 4), (3, 3), (64, 48), (10, 40), (4, 3), (1, 1), (40, 30), (16, 9),
                          (1, 200), (1025, 2), (7, 5)]:
        for turned in (False, True):
            data = bmp24(width, height, turned, n)
            write(folder, "picture%02d" % n, data)
            n += 1
            cut = pictures.without_last_padding(data)  # as some programs write it
            if cut:
                write(folder, "picture%02d" % n, cut)
                n += 1
    good = bmp24(4, 3)
    for change in [dict(biBitCount=8), dict(biBitCount=32), dict(biCompression=1), dict(bfType=0x4D58),
                   dict(biWidth=1000, biHeight=1000), dict(biWidth=0), dict(biHeight=0),
                   dict(biWidth=-4), dict(biHeight=-0x80000000), dict(bfOffBits=20),
                   dict(biSize=0x7FFFFFF0), dict(biSize=12), dict(biWidth=4097, biHeight=1),
                   dict(bfOffBits=0xFFFFFFF0)]:
        write(folder, "damaged%02d" % n, edited(good, **change))
        n += 1
    write(folder, "truncated", good[:-40])
    write(folder, "headers-cut", good[:30])
    write(folder, "empty", b"")


def grey_seeds(folder):
    """Color2Gray's sources: files as Vorlane saves them (rows unpadded,
    widths a multiple of 12), and headers as they come: a short or lying
    bfSize, the rows of the tests' table of the bfSize rule, an empty file,
    leftover bytes, and sources that are not 24-bit BMPs."""
    still = [bmp24(w, h) for w, h in [(12, 16), (24, 32), (60, 80)]]
    for i, data in enumerate(still):
        write(folder, "still%d" % i, data)
    small = still[0]
    for i, size in enumerate([55, 56, 100, len(small) - 1, len(small) + 1000]):
        write(folder, "bfsize%d" % i, edited(small, bfSize=size))
    # The rule's table the unit and host tests run, each row a file of its size.
    rows = re.findall(r'\{"([^"]+)", (0x[0-9A-Fa-f]+|\d+)u?, (0x[0-9A-Fa-f]+|\d+)u?, (?:true|false)\}',
                      (root / "tests" / "support" / "grey_source_rule.h").read_text())
    for i, (_, claim, size) in enumerate(rows):
        if int(size, 0) <= 65536:
            data = (small + bytes(int(size, 0)))[:int(size, 0)]
            write(folder, "rule%d" % i, edited(data, bfSize=int(claim, 0)))
    write(folder, "cut", small[:200])
    write(folder, "headers-only", small[:54])
    write(folder, "headers-cut", small[:20])
    write(folder, "empty", b"")
    write(folder, "pixels-left-over", edited(small + b"\x01\x02", bfSize=len(small) + 2))
    write(folder, "not-bm", edited(small, bfType=0x4D43))
    write(folder, "8-bit", edited(small, biBitCount=8))
    write(folder, "compressed", edited(small, biCompression=1))


def test_leftovers(folder, pattern):
    """Small files the Windows tests leave behind, when they ran here."""
    for path in sorted(root.glob(pattern)):
        if path.stat().st_size <= 65536:
            arch = path.relative_to(root / "build").parts[0]
            shutil.copy(path, folder / ("test-%s-%s" % (arch, path.name)))


def main(out, pe_seeds):
    out = pathlib.Path(out)
    shutil.rmtree(out, ignore_errors=True)
    option_seeds(out / "cli_options")
    picture_seeds(out / "picture_file")
    grey_seeds(out / "grey_file")
    test_leftovers(out / "grey_file", "build/*/tests-bin/grey-check/*.bmp")
    test_leftovers(out / "picture_file", "build/*/tests-bin/foreign-pictures/pictures/*.bmp")
    (out / "pe_image").mkdir(parents=True)
    subprocess.run([pe_seeds, str(out / "pe_image")], check=True)
    for findings in (here / "findings").glob("*"):
        (out / findings.name).mkdir(parents=True, exist_ok=True)
        for path in findings.iterdir():
            shutil.copy(path, out / findings.name / ("finding-" + path.name))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(*sys.argv[1:])
