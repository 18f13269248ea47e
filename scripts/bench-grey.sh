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

python3 - "$work" "$convert" "$(dirname "$0")/../tests/support" <<'EOF'
import os, shutil, subprocess, sys

work, convert = sys.argv[1], sys.argv[2]
sys.path.insert(0, sys.argv[3])
# The same picture grey_bench makes.
from pictures import write_pattern_bmp
from medians import median_seconds

for label, width, height, runs in (("432x576", 432, 576, 21), ("8000x6000", 8000, 6000, 5)):
    source = os.path.join(work, "source.bmp")
    size = write_pattern_bmp(source, width, height)
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
