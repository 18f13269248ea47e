"""An AVI recording's RIFF structure walked chunk by chunk, sharing nothing
with the writer: its segments, the frames in the order the file holds them,
and the legacy index (idx1) as Video for Windows reads it.

  avi_riff.py check FILE.avi [cut]
      The file's problems() against the segment size the recorder was given
      (VORLANE_AVI_SEGMENT_BYTES, as vorlane-cli reads it; else 1 GB); one
      line, a FAIL line each.
  avi_riff.py steps FILE.avi
      "steps N" and each step's "STEP BYTES CRC-32", as avifile_read prints them."""
import os
import struct
import sys
import zlib

DEFAULT_SEGMENT_BYTES = 1 << 30
FRAMES = (b"00dc", b"00db")  # stream 0's compressed and uncompressed frames
KEY_FRAME = 0x10             # AVIIF_KEYFRAME: every Motion JPEG and raw frame is one


def segment_limit():
    """The segment size vorlane-cli was given: decimal bytes from 1 to 2 GB."""
    text = os.environ.get("VORLANE_AVI_SEGMENT_BYTES", "")
    return int(text) if text.isdigit() and 0 < int(text) <= 1 << 31 else DEFAULT_SEGMENT_BYTES


class Segment:
    def __init__(self, at, kind, size):
        self.at, self.kind = at, kind
        self.closed = size != 0       # 0: runs to the file's end, as the writer leaves it until closed
        self.bytes = 8 + size
        self.movi = None              # the offset of the 'movi' fourcc
        self.frames = []              # (offset of the chunk's header, fourcc, data bytes)
        self.idx1 = None              # (ckid, flags, offset, length) of each entry


def _chunks(data, start, end):
    """(fourcc, offset, data bytes, whole) of each chunk from start to end;
    the walk stops at the first chunk that runs past end."""
    at = start
    while at + 8 <= end:
        fourcc, size = data[at:at + 4], struct.unpack_from("<I", data, at + 4)[0]
        whole = at + 8 + size <= end
        yield fourcc, at, size, whole
        if not whole:
            return
        at += 8 + size + (size & 1)


def walk(data):
    """The segments, and what does not belong in a recording."""
    segments, problems, at = [], [], 0
    while at + 12 <= len(data) and data[at:at + 4] == b"RIFF":
        size = struct.unpack_from("<I", data, at + 4)[0]
        segment = Segment(at, data[at + 8:at + 12], size)
        segments.append(segment)
        end = at + segment.bytes if segment.closed else len(data)
        if end > len(data):
            problems.append("segment %d runs %d bytes past the file's end" % (len(segments), end - len(data)))
            end = len(data)
        for fourcc, chunk, chunk_size, whole in _chunks(data, at + 12, end):
            if not whole:
                if segment.closed:
                    problems.append("segment %d: chunk %r at byte %d runs past its end" % (len(segments), fourcc, chunk))
                break
            kind = data[chunk + 8:chunk + 12]
            if fourcc == b"LIST" and kind == b"movi":
                segment.movi = chunk + 8
                movi_end = min(end, chunk + 8 + chunk_size) if chunk_size else end
                for inner, inner_at, inner_size, inner_whole in _chunks(data, chunk + 12, movi_end):
                    if not inner_whole and segment.closed:
                        problems.append("segment %d: chunk %r at byte %d runs past movi's end"
                                        % (len(segments), inner, inner_at))
                    elif inner in FRAMES and inner_whole:
                        segment.frames.append((inner_at, inner, inner_size))
                    elif inner not in FRAMES + (b"ix00", b"JUNK"):
                        problems.append("segment %d: a chunk %r in movi at byte %d" % (len(segments), inner, inner_at))
                if not chunk_size:
                    break
            elif fourcc == b"idx1":
                segment.idx1 = [struct.unpack_from("<4sIII", data, chunk + 8 + 16 * n) for n in range(chunk_size // 16)]
            elif not (fourcc == b"LIST" and kind == b"hdrl") and fourcc != b"JUNK":
                problems.append("segment %d: a chunk %r at byte %d" % (len(segments), fourcc, chunk))
        if not segment.closed:
            break
        at += segment.bytes
    if at < len(data) and (not segments or segments[-1].closed):
        problems.append("%d bytes at byte %d are in no RIFF segment" % (len(data) - at, at))
    return segments, problems


def legacy_index_problems(data, segment):
    """idx1 as Video for Windows reads it: an entry for each frame of the
    first segment, in step order, each pointing at a chunk header of its id
    and size, its offset counted from the 'movi' fourcc."""
    if segment.idx1 is None:
        return ["no legacy index (idx1) in the closed first segment"]
    problems = []
    if len(segment.idx1) != len(segment.frames):
        problems.append("idx1 has %d entries, the first segment %d frames" % (len(segment.idx1), len(segment.frames)))
    wrong = [(step, why) for step, why in ((step, _entry_fault(data, segment, step, entry))
                                           for step, entry in enumerate(segment.idx1)) if why]
    if wrong:
        problems.append("%d of the %d idx1 entries are wrong; entry %d %s"
                        % (len(wrong), len(segment.idx1), wrong[0][0], wrong[0][1]))
    return problems


def _entry_fault(data, segment, step, entry):
    ckid, flags, offset, length = entry
    at = segment.movi + offset
    found = struct.unpack_from("<4sI", data, at) if at + 8 <= len(data) else "the file's end"
    if found != (ckid, length):
        return "points at byte %d, which holds no chunk %r of %d bytes but %r" % (at, ckid, length, found)
    if ckid not in FRAMES:
        return "is a chunk %r, no frame" % ckid
    if step >= len(segment.frames) or segment.frames[step][0] != at:
        return "is out of step: the chunk at byte %d is not step %d's" % (at, step)
    if flags & KEY_FRAME == 0:
        return "is not marked a key frame"
    return None


def problems(data, limit, cut=False):
    """Segments that pass the limit holding more than one step (only a single
    step with its indexes, and in the first segment the headers, may pass
    it); a finished file's segments all closed and whole; the first
    segment's legacy index, once that segment is closed."""
    segments, found = walk(data)
    if not segments:
        return found + ["no RIFF segment"]
    for n, segment in enumerate(segments):
        if segment.kind != (b"AVI " if n == 0 else b"AVIX"):
            found.append("segment %d is RIFF %r" % (n + 1, segment.kind))
        if segment.movi is None:
            found.append("segment %d has no movi list" % (n + 1))
        if segment.bytes > limit and len(segment.frames) > 1:
            found.append("segment %d is %d bytes, %d past the %d-byte segment size, with %d steps"
                         % (n + 1, segment.bytes, segment.bytes - limit, limit, len(segment.frames)))
    last = segments[-1]
    if not cut and (not last.closed or last.at + last.bytes != len(data)):
        found.append("the finished file's last segment does not end at the file's end")
    if segments[0].closed and segments[0].movi is not None:
        found += legacy_index_problems(data, segments[0])
    return found


def steps(data):
    """Each step's frame bytes in the order the file holds them."""
    return [data[at + 8:at + 8 + size] for segment in walk(data)[0] for at, _, size in segment.frames]


if __name__ == "__main__":
    if len(sys.argv) < 3 or sys.argv[1] not in ("check", "steps"):
        sys.exit(__doc__)
    with open(sys.argv[2], "rb") as file:
        whole = file.read()
    if sys.argv[1] == "steps":
        frames = steps(whole)
        print("steps %d" % len(frames))
        for number, frame in enumerate(frames):
            print("%d %d %08x" % (number, len(frame), zlib.crc32(frame)))
        sys.exit(0)
    size = segment_limit()
    faults = problems(whole, size, "cut" in sys.argv[3:])
    for fault in faults:
        print("FAIL %s: %s" % (sys.argv[2], fault))
    print("%s: %d segments of at most %d bytes unless of one step; legacy index checked entry by entry"
          % (sys.argv[2], len(walk(whole)[0]), size))
    sys.exit(1 if faults else 0)
