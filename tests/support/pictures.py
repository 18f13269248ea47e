"""The 24-bit BMP pictures the Linux-side scripts write: seeded noise and
counted patterns, saved by Pillow or written by hand, and the changes other
writers make (rows top-down, the last row's padding left out). Writing by
hand needs no Pillow, so that the benchmarks run without it."""
import pathlib
import random
import struct

HEADERS_BYTES = 54  # file header 14 + info header 40

# Header fields by name: struct format and offset in the file.
FIELDS = {"bfType": ("<H", 0), "bfSize": ("<I", 2), "bfOffBits": ("<I", 10), "biSize": ("<I", 14),
          "biWidth": ("<i", 18), "biHeight": ("<i", 22), "biBitCount": ("<H", 28),
          "biCompression": ("<I", 30), "biSizeImage": ("<I", 34)}


def noise_pixels(width, height, seed):
    """RGB bytes of seeded noise: each seed gives a picture unlike the others."""
    return random.Random(seed).randbytes(width * height * 3)


def counted_pixels(width, height, seed=0):
    """RGB bytes that differ from byte to byte: (seed + 37 i) mod 256."""
    return bytes((seed + 37 * i) & 0xFF for i in range(width * height * 3))


def image(width, height, pixels):
    """Pillow's picture of RGB bytes, rows from the top."""
    from pillow_image import Image
    return Image.frombytes("RGB", (width, height), pixels)


def save_bmp(path, width, height, pixels):
    """The picture as Pillow writes a BMP: bottom-up, rows padded."""
    image(width, height, pixels).save(path, "BMP")


def pillow_bmp(width, height, pixels):
    """The bytes of the BMP Pillow writes of the picture."""
    import io
    out = io.BytesIO()
    image(width, height, pixels).save(out, "BMP")
    return out.getvalue()


def field(data, name):
    form, at = FIELDS[name]
    return struct.unpack_from(form, data, at)[0]


def edited(data, **fields):
    """The BMP with header fields changed, by the names the headers give them."""
    data = bytearray(data)
    for name, value in fields.items():
        form, at = FIELDS[name]
        struct.pack_into(form, data, at, value)
    return bytes(data)


def stride(width):
    return (width * 3 + 3) & ~3


def top_down(data):
    """Rows turned over and the height negative, as top-down writers store them."""
    data = bytearray(data)
    offset, width, height = field(data, "bfOffBits"), field(data, "biWidth"), field(data, "biHeight")
    row = stride(width)
    rows = [data[offset + r * row:offset + (r + 1) * row] for r in range(height)]
    data[offset:offset + row * height] = b"".join(reversed(rows))
    struct.pack_into("<i", data, 22, -height)
    return bytes(data)


def without_last_padding(data):
    """The last row's padding left out, and the sizes in the header to match;
    None when the rows carry no padding."""
    offset, width = field(data, "bfOffBits"), field(data, "biWidth")
    padding = stride(width) - width * 3
    if padding == 0:
        return None
    data = data[:len(data) - padding]
    return edited(data, bfSize=len(data), biSizeImage=len(data) - offset)


def write_pattern_bmp(path, width, height):
    """The picture the grey benchmark makes, written by hand row by row (it
    may be far larger than memory should hold at once): byte c of pixel
    (x, y) is (x * 7 + y * 13 + c * 50) mod 256, rows bottom-up, unpadded as
    Vorlane's widths need none. Returns the file's size."""
    pixel_bytes = width * height * 3
    base = bytes(((i // 3) * 7 + (i % 3) * 50) % 256 for i in range(width * 3))
    with open(path, "wb") as out:
        head = struct.pack("<2sIHHI", b"BM", HEADERS_BYTES + pixel_bytes, 0, 0, HEADERS_BYTES)
        head += struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, 0, 0, 0, 0, 0)
        if out.write(head) != HEADERS_BYTES:
            raise OSError("%s: headers not written whole" % path)
        for y in range(height):
            shift = (y * 13) % 256
            row = base.translate(bytes((v + shift) % 256 for v in range(256)))
            if out.write(row) != len(row):
                raise OSError("%s: a row not written whole" % path)
    return pathlib.Path(path).stat().st_size
