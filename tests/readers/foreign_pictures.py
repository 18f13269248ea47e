#!/usr/bin/python3
"""24-bit BMP files as other programs write them, for the virtual card to
play as footage, each with what Pillow reads from it.

  foreign_pictures.py FOLDER
      FOLDER/pictures/NN-*.bmp: one folder mixing Pillow's and ImageMagick's
      files (40- and 124-byte info headers), bottom-up and top-down, odd
      widths whose rows carry padding, and files whose last row lacks its
      padding; names in the order the card plays them.
      FOLDER/pillow/NN-*.rgb: the same picture as Pillow reads the file:
      width and height (32-bit little-endian), then R, G, B rows from the top.
The virtual card's test plays the folder and compares every frame with these."""
import pathlib
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "support"))
import pictures  # noqa: E402
from pillow_image import Image  # noqa: E402


def noise(width, height, seed):
    return pictures.image(width, height, pictures.noise_pixels(width, height, seed))


def magick_file(image, path, header):
    """ImageMagick's writer: BMP3 gives the 40-byte info header, BMP the 124-byte one."""
    png = path.with_suffix(".png")
    image.save(png)
    subprocess.run(["convert", str(png), "-type", "TrueColor", "%s:%s" % (header, path)], check=True)
    png.unlink()


def top_down(path):
    path.write_bytes(pictures.top_down(path.read_bytes()))


def without_last_padding(path):
    cut = pictures.without_last_padding(path.read_bytes())
    assert cut, path
    path.write_bytes(cut)


# name, width, height, writer, changes
PICTURES = [
    ("01-pillow-5x4", 5, 4, "pillow", []),
    ("02-pillow-7x9-top-down", 7, 9, "pillow", [top_down]),
    ("03-pillow-13x10-last-row-unpadded", 13, 10, "pillow", [without_last_padding]),
    ("04-pillow-11x6-top-down-last-row-unpadded", 11, 6, "pillow", [top_down, without_last_padding]),
    ("05-magick-bmp3-7x5", 7, 5, "BMP3", []),
    ("06-magick-bmp5-9x7", 9, 7, "BMP", []),
    ("07-magick-bmp5-6x5-last-row-unpadded", 6, 5, "BMP", [without_last_padding]),
    ("08-magick-bmp3-3x200-top-down", 3, 200, "BMP3", [top_down]),
    ("09-pillow-1x1", 1, 1, "pillow", []),
    ("10-pillow-401x3-last-row-unpadded", 401, 3, "pillow", [without_last_padding]),
    ("11-pillow-320x240", 320, 240, "pillow", []),
]


def main(folder):
    folder = pathlib.Path(folder)
    shutil.rmtree(folder, ignore_errors=True)
    (folder / "pictures").mkdir(parents=True)
    (folder / "pillow").mkdir()
    for seed, (name, width, height, writer, changes) in enumerate(PICTURES):
        path = folder / "pictures" / (name + ".bmp")
        image = noise(width, height, seed)
        if writer == "pillow":
            image.save(path, "BMP")
        else:
            magick_file(image, path, writer)
        for change in changes:
            change(path)
        if pictures.field(path.read_bytes(), "biBitCount") != 24:
            sys.exit("%s: not written with 24 bits a pixel" % path)
        read = Image.open(path).convert("RGB")
        if read.tobytes() != image.tobytes():
            sys.exit("%s: Pillow does not read back the picture written" % path)
        (folder / "pillow" / (name + ".rgb")).write_bytes(struct.pack("<II", *read.size) + read.tobytes())


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
