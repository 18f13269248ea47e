"""recording.txt, the lines vorlane-cli's record writes beside its pictures:
"name: value", a value starting with its figure.

  recording_report.py FOLDER NAME
      prints the figure of FOLDER/recording.txt's line NAME; fails without it."""
import os
import re
import sys


def read(place):
    """Every line's name and value, of FOLDER/recording.txt or of FILE.txt."""
    path = place if place.lower().endswith(".txt") else os.path.join(place, "recording.txt")
    with open(path, encoding="latin-1") as text:
        return dict(line.rstrip("\r\n").split(": ", 1) for line in text if ": " in line)


def counted_missing(figures):
    """The frames the card finished that the lines count as not recorded:
    left out, not kept, and never read (footage plays a picture a frame; the
    frame under way already shows one)."""
    counted = sum(int(v) for k, v in figures.items() if k.startswith(("left out", "not kept")))
    unseen = int(figures["frames the card finished"]) + 1 - int(figures["pictures read from the card"])
    return counted + max(0, unseen)


def figure(folder, name):
    """The number a line's value starts with, as written."""
    return re.match(r"[0-9.]*", read(folder)[name]).group()


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    try:
        print(figure(sys.argv[1], sys.argv[2]))
    except (OSError, KeyError) as problem:
        sys.exit("recording_report.py: %s: %s" % (sys.argv[1], problem))
