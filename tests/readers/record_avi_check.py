#!/usr/bin/python3
"""record's AVI files as ffmpeg, a reader no one here wrote, sees them,
against the numbered footage the virtual card played (recording_check.py
make; its pictures fill the frame at 576 lines pixel for pixel), and as
their RIFF structure holds (tests/support/avi_riff.py: segments within the
segment size, the legacy index entry by entry).

  record_avi_check.py SOURCE FILE.avi raw|mjpeg [SEGMENTS] [cut|torn]
      The codec and size; unless cut, a frame count of the pictures kept
      plus the repeats in FILE.txt, playing no longer than the seconds
      recorded. Every step ffmpeg plays is a source picture, exact for raw,
      nearest at 27 dB or more for Motion JPEG; each the same as the step
      before (a repeat) or a later one, and unless cut, every footage picture
      passed over counted in FILE.txt as left out, not kept or never read.
      At least SEGMENTS RIFF segments, of the size VORLANE_AVI_SEGMENT_BYTES
      gives, as vorlane-cli reads it. A recording in parts (FILE_002.avi,
      ...) is played through ffmpeg's concat demuxer, as docs/recording.md
      joins them, and each part must be read whole by ffprobe with the steps
      FILE.txt gives it; with torn, parts may end as cut files do (a write
      failed at a limit the volume did not tell), each frame still there."""
import glob
import math
import os
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "support"))
import avi_riff  # noqa: E402
import recording_report  # noqa: E402
from pillow_image import Image  # noqa: E402

# Seeded noise is the hardest picture for JPEG: at the default quality it
# decodes at about 30 dB, against 8 dB for any other picture of the footage.
MIN_PSNR = 27.0
SAMPLE = 7  # Motion JPEG is measured on every 7th byte, and matched on every
GLANCE = 499  # 499th: pure Python stays quick


def run(*args):
    return subprocess.run(args, check=True, capture_output=True).stdout


def probe(path, entry):
    return run("ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=" + entry,
               "-of", "default=nw=1:nk=1", path).decode().strip()


def parts_of(avi):
    """FILE.avi and the parts after it, in order."""
    return [avi] + sorted(glob.glob(glob.escape(avi[:-4]) + "_[0-9][0-9][0-9].avi"))


def part_problems(avi, files):
    """Each part read whole by ffprobe, with the steps FILE.txt lists for it."""
    problems, listed = [], recording_report.read(avi[:-4] + ".txt")
    for n, part in enumerate(files, 1):
        got = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_entries",
                              "stream=nb_frames,nb_read_frames", "-of", "default=nw=1", part],
                             capture_output=True, text=True)
        read = dict(line.split("=") for line in got.stdout.split())
        steps = listed.get("part %d" % n, "").rpartition(", steps ")[2]
        decoded = read.get("nb_read_frames", "")
        if (got.returncode or got.stderr or read.get("nb_frames") != steps or not (steps + decoded).isdigit()
                or not 0 < int(decoded) <= int(steps)):
            problems.append("%s: %s frames in its header and %s decoded, FILE.txt %s steps; %s"
                            % (part, read.get("nb_frames"), read.get("nb_read_frames"), steps, got.stderr.strip()))
    return problems


def psnr(a, b):
    a, b = a[::SAMPLE], b[::SAMPLE]
    error = sum((x - y) * (x - y) for x, y in zip(a, b)) / len(a)
    return 99.0 if error == 0 else 10 * math.log10(255 * 255 / error)


def check(source, avi, codec, least_segments=1, cut=False, torn=False):
    problems = []
    names = sorted(f for f in os.listdir(source) if f.lower().endswith(".bmp"))
    wanted = [Image.open(os.path.join(source, n)).convert("RGB").tobytes() for n in names]
    width, height = Image.open(os.path.join(source, names[0])).size
    got_codec = probe(avi, "codec_name")
    if got_codec != {"raw": "rawvideo", "mjpeg": "mjpeg"}[codec]:
        problems.append("codec %s" % got_codec)
    size = "%sx%s" % (probe(avi, "width"), probe(avi, "height"))
    if size != "%dx%d" % (width, height):
        problems.append("size %s, the footage's %dx%d" % (size, width, height))
    rate = probe(avi, "r_frame_rate").split("/")[0]
    files, source = parts_of(avi), ["-i", avi]
    if len(files) > 1:
        problems += part_problems(avi, files)
        with open(avi[:-4] + ".concat", "w") as listing:
            listing.writelines("file '%s'\n" % os.path.basename(part) for part in files)
        source = ["-f", "concat", "-safe", "0", "-i", avi[:-4] + ".concat"]
    data = run("ffmpeg", "-v", "error", *source, "-vf", "fps=" + rate, "-f", "rawvideo", "-pix_fmt", "rgb24", "-")
    frame = width * height * 3
    steps = [data[i:i + frame] for i in range(0, len(data) - frame + 1, frame)]
    if not cut:
        text = recording_report.read(avi[:-4] + ".txt")
        kept = int(text["pictures kept"].split()[0])
        repeats = int(text["steps repeating the picture before"])
        # ffmpeg plays up to the last step with data: repeats at the end are not played.
        frames = sum(int(count) for count in (probe(part, "nb_frames") for part in files) if count.isdigit())
        if frames != kept + repeats or not kept <= len(steps) <= kept + repeats:
            problems.append("nb_frames %d and %d steps played, FILE.txt %d kept + %d repeats"
                            % (frames, len(steps), kept, repeats))
        # The seconds are written to a tenth; the last step may start before the end.
        numerator, denominator = map(int, probe(avi, "r_frame_rate").split("/"))
        seconds = (kept + repeats) * denominator / numerator
        if seconds > float(text["seconds recorded"]) + 0.05 + denominator / numerator:
            problems.append("%d steps play %.2f s, %s s were recorded"
                            % (kept + repeats, seconds, text["seconds recorded"]))
    if not steps:
        problems.append("ffmpeg played no step")
    shown, worst = [], 99.0
    for n, step in enumerate(steps):
        if codec == "raw":
            match = [i for i, picture in enumerate(wanted) if picture == step]
            if not match:
                problems.append("step %d equals no footage picture" % n)
                break
            shown.append(match[0])
            continue
        glance = step[::GLANCE]
        best = min(range(len(wanted)),
                   key=lambda i: sum(abs(x - y) for x, y in zip(glance, wanted[i][::GLANCE])))
        quality = psnr(step, wanted[best])
        worst = min(worst, quality)
        if quality < MIN_PSNR:
            problems.append("step %d is %.1f dB from the nearest footage picture" % (n, quality))
            break
        shown.append(best)
    moves = [(b - a) % len(wanted) for a, b in zip(shown, shown[1:])]
    # A cut file is checked for what it plays. Frames the recorder missed,
    # waiting for a processor or for the disk, are counted in FILE.txt; that
    # none is missed on a quiet machine is a figure of ./run bench.
    if not cut:
        passed_over = sum(move - 1 for move in moves if move > 1)
        counted = recording_report.counted_missing(text)
        if passed_over > counted:
            problems.append("%d footage pictures passed over, FILE.txt counts %d not recorded (order %s)"
                            % (passed_over, counted, shown[:40]))
    wholes = [pathlib.Path(part).read_bytes() for part in files]
    found = sum(len(avi_riff.walk(whole)[0]) for whole in wholes)
    for part, whole in zip(files, wholes):
        problems += ["%s: %s" % (part, f) for f in avi_riff.problems(whole, avi_riff.segment_limit(), cut or torn)]
    if found < least_segments:
        problems.append("%d RIFF segments, at least %d wanted" % (found, least_segments))
    for problem in problems:
        print("FAIL %s: %s" % (avi, problem))
    print("%s: %s, %d steps, %d repeats of the step before, %d segments, %d parts%s"
          % (avi, got_codec, len(steps), moves.count(0), found, len(files),
             ", worst %.1f dB" % worst if codec == "mjpeg" else ""))
    return not problems


if __name__ == "__main__":
    args = sys.argv[1:]
    cut, torn = "cut" in args, "torn" in args
    args = [a for a in args if a not in ("cut", "torn")]
    sys.exit(0 if check(args[0], args[1], args[2], int(args[3]) if len(args) > 3 else 1, cut, torn) else 1)
