"""Pillow's Image for the Linux-side readers. Without Pillow a reader fails
with one line naming its Debian package: a check left out must never pass."""
import sys

try:
    from PIL import Image  # noqa: F401  (what the readers import from here)
except ImportError:
    sys.exit("needs the python3 module PIL (Pillow), which the Debian package python3-pil provides "
             "(scripts/setup.sh installs it)")
