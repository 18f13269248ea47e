#!/usr/bin/python3
"""The recorder's AVI files as ffmpeg, a reader no one here wrote, sees
them: codec, size and frame count (frames plus repeats), every frame decoded
and compared (exact for raw, against the same JPEG for Motion JPEG), files
of many RIFF segments whole, and files cut part-way (a kill, a full disk)
decoding up to their last whole frame, then mended (avi_sample mend, as
vorlane-cli mend) into files whose indexes give every whole frame; and each
file's RIFF segments and legacy index walked (tests/support/avi_riff.py),
over a sweep of segment sizes too. AVI_SAMPLE writes the files.

  avi_ffmpeg_check.py AVI_SAMPLE"""
import pathlib
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "support"))
import avi_riff  # noqa: E402

sample = sys.argv[1]
W, H = 64, 48
failures = []


def run(*args):
    return subprocess.run(args, check=True, capture_output=True).stdout


def probe(path, entry):
    text = run("ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=" + entry,
               "-of", "default=nw=1:nk=1", str(path)).decode()
    return text.strip()


def raw_frame(n, bits):
    """Frame n as avi_sample fills it, top-down as ffmpeg gives it."""
    row = W * bits // 8
    data = bytes((n * 31 + i * 7 + i // 97) & 0xFF for i in range(row * H))
    return b"".join(data[r * row:(r + 1) * row] for r in reversed(range(H)))


def decoded(path, pix_fmt):
    """Every step ffmpeg plays, repeats included, at the file's rate."""
    data = run("ffmpeg", "-v", "error", "-i", str(path), "-vf", "fps=25", "-f", "rawvideo", "-pix_fmt", pix_fmt, "-")
    pixels = W * H * (3 if pix_fmt == "bgr24" else 1)
    size = pixels + (1024 if pix_fmt == "pal8" else 0)  # the palette follows each frame
    return [data[i:i + pixels] for i in range(0, len(data), size)]


def check(name, condition, detail=""):
    if not condition:
        failures.append("%s: %s" % (name, detail))


def check_row(tmp, jpegs, name, codec, bits, steps, segment, cut, segments):
    path = tmp / "test.avi"

    def write(cut_bytes):
        return run(sample, str(path), codec, str(W), str(H), str(bits), "25", steps, str(segment), str(cut_bytes),
                   *jpegs).split()

    if callable(cut):  # a place in the whole file's layout
        write(0)
        cut = cut(path.read_bytes())
    out = write(cut)
    whole, written_segments = int(out[0]), int(out[1])
    check(name, written_segments >= segments, "%d segments, wanted %d" % (written_segments, segments))
    check(name, cut == 0 or 0 < whole < len(steps), "cut in no step: %d" % whole)
    check_file(path, jpegs, name, codec, bits, steps[:whole], segment, cut != 0, len(steps))
    if cut != 0:
        run(sample, "mend", str(path))
        check_file(path, jpegs, name + ", mended", codec, bits, steps[:whole], segment, False, whole)


def check_file(path, jpegs, name, codec, bits, kept, segment, cut, length):
    """What ffprobe and ffmpeg make of the file holding the steps `kept`, of
    `length` steps in its headers when it is not cut."""
    for problem in avi_riff.problems(path.read_bytes(), segment, cut):
        check(name, False, problem)
    pix_fmt = "bgr24" if bits == 24 else "pal8"
    want_codec = {"raw": "rawvideo", "mjpg": "mjpeg"}[codec]
    check(name, probe(path, "codec_name") == want_codec, probe(path, "codec_name"))
    check(name, probe(path, "width") + "x" + probe(path, "height") == "%dx%d" % (W, H), "size")
    if not cut:
        check(name, probe(path, "nb_frames") == str(length),
              "nb_frames %s, %d steps" % (probe(path, "nb_frames"), length))
    # The picture each step shows; ffmpeg plays up to the last frame with data.
    shown, frames = [], 0
    for step in kept:
        frames += step == "F"
        shown.append(frames - 1)
    shown = shown[:kept.rfind("F") + 1]
    got = decoded(path, pix_fmt)
    check(name, len(got) == len(shown), "ffmpeg played %d steps, %d written whole" % (len(got), len(shown)))
    if codec == "raw":
        expected = {n: raw_frame(n, bits) for n in set(shown)}
    else:
        pictures = [decoded(pathlib.Path(j), pix_fmt)[0] for j in jpegs]
        expected = {n: pictures[n % 3] for n in set(shown)}
    bad = [i for i, (g, n) in enumerate(zip(got, shown)) if g != expected[n]]
    check(name, not bad, "steps %s decode to other pictures" % bad[:5])
    print("%-44s %2d steps whole, ffmpeg played %2d" % (name, len(kept), len(got)))


with tempfile.TemporaryDirectory() as tmp:
    tmp = pathlib.Path(tmp)
    run("ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=%dx%d:rate=25" % (W, H), "-frames:v", "3",
        "-q:v", "3", str(tmp / "j%d.jpg"))
    jpegs = [str(tmp / ("j%d.jpg" % i)) for i in (1, 2, 3)]
    pattern = "FFRFFFRRF" + "F" * 30 + "RF" * 5 + "F"
    rows = [
        # name, codec, bits, pattern, segment bytes, cut after bytes (0: none), segments at least
        ("raw 24-bit with repeats", "raw", 24, pattern, 1 << 30, 0, 1),
        ("raw 8-bit grey", "raw", 8, pattern[:12], 1 << 30, 0, 1),
        ("raw in many segments", "raw", 24, pattern, 40000, 0, 8),
        ("raw killed in a frame", "raw", 24, pattern, 40000, 200000, 3),
        ("raw killed in the first segment", "raw", 24, pattern, 1 << 30, 120000, 1),
        ("Motion JPEG in many segments", "mjpg", 24, pattern, 6000, 0, 3),
        ("Motion JPEG killed", "mjpg", 24, pattern, 6000, 90000, 2),
        ("raw cut where segment 3 begins", "raw", 24, pattern, 40000, lambda d: avi_riff.walk(d)[0][2].at, 2),
        ("raw cut in segment 2's index", "raw", 24, pattern, 40000,
         lambda d: d.find(b"ix00", avi_riff.walk(d)[0][1].movi) + 12, 2),
    ]
    for row in rows:
        try:
            check_row(tmp, jpegs, *row)
        except subprocess.CalledProcessError as error:
            failures.append("%s: %s failed: %s" % (row[0], error.cmd[0], error.stderr.decode().strip()))
    # Segment sizes from a byte to past the headers and many steps. Long
    # runs of repeats, chunks of a header alone, end segments at nearly any
    # byte: a segment that passes its size by what one index entry or chunk
    # header takes is seen at several sizes.
    swept = ("F" + "R" * 100) * 10
    for codec, width, height in (("raw", 8, 6), ("mjpg", W, H)):
        for limit in range(1, 100000, 1999):
            run(sample, str(tmp / "swept.avi"), codec, str(width), str(height), "24", "25", swept, str(limit), "0",
                *jpegs)
            for problem in avi_riff.problems((tmp / "swept.avi").read_bytes(), limit):
                check("%s, segments of %d bytes" % (codec, limit), False, problem)
    print("segment sizes swept")

for failure in failures:
    print("FAIL", failure)
sys.exit(1 if failures else 0)
