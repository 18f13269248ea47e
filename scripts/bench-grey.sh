#!/usr/bin/env bash
# The Linux-side figures beside grey_bench: copying the same pictures with cp
# and converting them to grey with ImageMagick
# (convert SRC -colorspace Gray -type Grayscale DST), in source megabytes a
# second, medians of several runs. Prints "linux | name | value | unit | note".
set -euo pipefail
# shellcheck source=scripts/require.sh
. "$(dirname "$0")/require.sh"
require bench python3:python3 convert:imagemagick || exit 1
# Debian's own binary, not a wrapper that may stand first on the PATH.
convert=$(command -v convert-im6.q16 || command -v convert)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$convert" <<'EOF'
import os, shutil, statistics, struct, subprocess, sys, time

work, convert = sys.argv[1], sys.argv[2]

def write_picture(path, width, height):
    # The same picture grey_bench makes: byte c of pixel (x, y) is
    # (x * 7 + y * 13 + c * 50) mod 256, rows bottom-up, no padding.
    pixel_bytes = width * height * 3
    base = bytes(((i // 3) * 7 + (i % 3) * 50) % 256 for i in range(width * 3))
    with open(path, "wb") as out:
        out.write(struct.pack("<2sIHHI", b"BM", 54 + pixel_bytes, 0, 0, 54))
        out.write(struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, 0, 0, 0, 0, 0))
        for y in range(height):
            shift = (y * 13) % 256
            out.write(base.translate(bytes((v + shift) % 256 for v in range(256))))
    return 54 + pixel_bytes

def median_seconds(action, runs):
    times = []
    for _ in range(runs):
        begin = time.perf_counter()
        action()
        times.append(time.perf_counter() - begin)
    return statistics.median(times)

for label, width, height, runs in (("432x576", 432, 576, 21), ("8000x6000", 8000, 6000, 5)):
    source = os.path.join(work, "source.bmp")
    size = write_picture(source, width, height)
    megabytes = size / 1e6
    copy = median_seconds(lambda: shutil.copyfile(source, os.path.join(work, "copy.bmp")), runs)
    magick = median_seconds(lambda: subprocess.run(
        [convert, source, "-colorspace", "Gray", "-type", "Grayscale", os.path.join(work, "grey.bmp")],
        check=True), runs)
    print(f"linux | cp {label} | {megabytes / copy:.1f} | MB/s | the same file copied, median of {runs} runs")
    print(f"linux | ImageMagick grey {label} | {megabytes / magick:.1f} | MB/s | "
          f"convert -colorspace Gray -type Grayscale, process start included, median of {runs} runs")
    sys.stdout.flush()
EOF
