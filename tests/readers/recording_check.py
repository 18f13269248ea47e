#!/usr/bin/python3
"""Footage for vorlane-cli's record, and the check of what it recorded, read
with Pillow, a reader that shares nothing with ours.

  recording_check.py make FOLDER COUNT WIDTH HEIGHT
      COUNT pictures of seeded noise, each unlike the others, 0001.bmp ...
  recording_check.py check SOURCE RECORDING [MOST_A_SECOND]
      RECORDING's pictures are SOURCE's, in its (looping) order, numbered
      without a hole; every gap is counted in recording.txt; at most
      MOST_A_SECOND kept a second.
  recording_check.py figures RECORDING REPORT CONSOLE [SECONDS]
      recording.txt, the --report REPORT and the CONSOLE output agree and add
      up; the card kept PAL's pace for at least the SECONDS asked for."""
import os
import pathlib
import re
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "support"))
import pictures  # noqa: E402
import recording_report  # noqa: E402
from pillow_image import Image  # noqa: E402


def make(folder, count, width, height):
    os.makedirs(folder, exist_ok=True)
    for n in range(count):
        pictures.save_bmp(os.path.join(folder, "%04d.bmp" % (n + 1)), width, height,
                          pictures.noise_pixels(width, height, n))


def read_pictures(folder):
    names = sorted(f for f in os.listdir(folder) if f.lower().endswith(".bmp"))
    return names, [Image.open(os.path.join(folder, n)).convert("RGB").tobytes() for n in names]


def check(source, recording, most_a_second=None):
    problems = []
    _, wanted = read_pictures(source)
    places = {}  # a source may show the same picture more than once
    for n, picture in enumerate(wanted):
        places.setdefault(picture, []).append(n)
    names, got = read_pictures(recording)
    figures = recording_report.read(recording)
    kept = int(figures["pictures kept"].split()[0])
    if names != ["%06d.bmp" % (n + 1) for n in range(len(names))]:
        problems.append("files not numbered 000001.bmp on without a hole: %s" % names[:5])
    if kept != len(names) or kept == 0:
        problems.append("recording.txt says %d kept, the folder holds %d" % (kept, len(names)))
    order = []
    for name, picture in zip(names, got):
        if picture not in places:
            problems.append("%s equals no source picture" % name)
        elif not order:
            order.append(places[picture][0])
        else:  # the place that follows the last one most closely
            order.append(min(places[picture], key=lambda n: (n - order[-1] - 1) % len(wanted)))
    # Pictures between two kept ones that were not kept, the source looping.
    skipped = sum((b - a - 1) % len(wanted) for a, b in zip(order, order[1:]))
    counted = recording_report.counted_missing(figures)
    if skipped > counted:
        problems.append("%d source pictures skipped, recording.txt counts %d not kept (order %s)"
                        % (skipped, counted, order))
    # The card plays a picture a frame from the first on: the last one kept
    # shows how many frames it finished at least (more when it looped unseen).
    last_shown = order[0] + sum((b - a) % len(wanted) for a, b in zip(order, order[1:])) if order else 0
    if last_shown > int(figures["frames the card finished"]) + 1:
        problems.append("picture %d of the source was kept, yet the card finished %s frames"
                        % (last_shown + 1, figures["frames the card finished"]))
    seconds = float(figures["seconds recorded"])
    if most_a_second is not None and kept > most_a_second * seconds + 2:
        problems.append("%d kept in %g s, at most %g a second wanted" % (kept, seconds, most_a_second))
    for problem in problems:
        print("FAIL %s: %s" % (recording, problem))
    print("%s: %d pictures, source order %s, %d skipped, %d counted not kept or not shown"
          % (recording, len(names), order[:8], skipped, counted))
    return not problems


def figures(recording, report_file, console_file, asked=None):
    problems = []
    text = recording_report.read(recording)
    with open(report_file, encoding="latin-1") as lines:
        keys = dict(line.rstrip("\r\n").split("=", 1) for line in lines if "=" in line)
    with open(console_file, encoding="latin-1") as lines:
        console = lines.read()
    # The console shows recording.txt line by line, and the frames read.
    for name, value in text.items():
        if "record: %s: %s\n" % (name, value) not in console:
            problems.append("the console does not show '%s: %s'" % (name, value))
    painted = re.search(r"^record: (\d+) frames read in ([\d.]+) s", console, re.M)
    if not painted or painted.groups() != (keys["frames_painted"], keys["seconds"]):
        problems.append("the console's count %s differs from the report's %s frames in %s s"
                        % (painted and painted.groups(), keys["frames_painted"], keys["seconds"]))
    kept = int(text["pictures kept"].split()[0])
    left_out = sum(int(v) for k, v in text.items() if k.startswith("left out"))
    lost = sum(int(v) for k, v in text.items() if k.startswith("not kept"))
    seen = int(text["pictures read from the card"])
    seconds = float(text["seconds recorded"])
    wanted = [
        ("kept + left out + not kept", kept + left_out + lost, "pictures seen", seen),
        ("report frames_painted", int(keys["frames_painted"]), "pictures seen", seen),
        ("report pictures_kept", int(keys["pictures_kept"]), "pictures kept", kept),
        ("report pictures_dropped", int(keys["pictures_dropped"]), "not kept", lost),
        ("report seconds", keys["seconds"], "seconds recorded", text["seconds recorded"]),
        ("card reads that failed", int(text["card reads that failed"]), "none", 0),
    ]
    for name, got, other, expected in wanted:
        if got != expected:
            problems.append("%s is %s, %s %s" % (name, got, other, expected))
    if asked is not None and seconds < asked:
        problems.append("%g s recorded, %g s asked for" % (seconds, asked))
    # The card's clock may start a little before the watch's: a second of set-up.
    if int(text["frames the card finished"]) > 25 * (seconds * 1.2 + 1):
        problems.append("the card finished %s frames in %g s" % (text["frames the card finished"], seconds))
    for problem in problems:
        print("FAIL %s: %s" % (recording, problem))
    return not problems


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2], *map(int, sys.argv[3:6]))
    elif sys.argv[1] == "figures":
        sys.exit(0 if figures(sys.argv[2], sys.argv[3], sys.argv[4], *map(float, sys.argv[5:6])) else 1)
    else:
        sys.exit(0 if check(sys.argv[2], sys.argv[3], *map(float, sys.argv[4:5])) else 1)
