#include "avi_reader.h"

#include <cstdio>
#include <cstring>

namespace avi {

namespace {

// Room for the largest super index the writer makes (1 MB) and more.
constexpr uint32_t kLargestHeaderList = 4u << 20;
constexpr int32_t kLargestSide = 32768;

bool IsFrameChunk(Fourcc id) {
    const Fourcc stream = id & 0xFFFF, kind = id >> 16;
    return stream == (MakeFourcc("00dc") & 0xFFFF) &&
           (kind == MakeFourcc("00dc") >> 16 || kind == MakeFourcc("00db") >> 16);
}

unsigned long long Ull(uint64_t value) { return value; }

bool IsPrintable(Fourcc id) {
    for (int i = 0; i < 4; ++i) {
        const uint32_t c = (id >> (8 * i)) & 0xFF;
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

template <typename T>
T Get(const uint8_t *at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

struct Reading {
    ReadAt read;
    void *file;
    uint64_t fileSize;
    char *why;
    size_t whyBytes;
    Movie &movie;
    std::vector<SuperIndexEntry> &super;

    template <typename... Values>
    bool Refuse(const char *format, Values... values) {
        if (why != nullptr && whyBytes > 0) std::snprintf(why, whyBytes, format, values...);
        return false;
    }

    // Reads bytes that must lie inside the file.
    bool Fetch(uint64_t offset, void *into, size_t bytes) {
        if (offset > fileSize || bytes > fileSize - offset)
            return Refuse("the file ends before offset %llu", Ull(offset + bytes));
        if (!read(file, offset, static_cast<uint8_t *>(into), bytes))
            return Refuse("reading %llu bytes at offset %llu failed", Ull(bytes), Ull(offset));
        return true;
    }

    bool AddFrame(uint64_t offset, uint32_t size) {
        if (size != 0 && movie.codec == Codec::kRaw && size != movie.frameBytes)
            return Refuse("frame %llu holds %llu bytes, not the picture's %llu", Ull(movie.frames.size() + 1),
                          Ull(size), Ull(movie.frameBytes));
        movie.frames.push_back(Frame{offset, size});
        return true;
    }

    bool ReadHeaders(const std::vector<uint8_t> &hdrl);
    bool ReadStreamList(const uint8_t *strl, uint32_t bytes);
    bool ReadSegment(uint64_t moviStart, uint64_t moviEnd, bool open);
    bool ReadStandardIndex(const SuperIndexEntry &entry, uint64_t moviStart, uint64_t moviEnd);
    bool Scan(uint64_t from, uint64_t to, bool open);
};

bool Reading::ReadHeaders(const std::vector<uint8_t> &hdrl) {
    bool mainHeader = false, stream = false;
    for (size_t at = 4; at + 8 <= hdrl.size();) {
        const Fourcc id = Get<Fourcc>(&hdrl[at]);
        const uint32_t size = Get<uint32_t>(&hdrl[at + 4]);
        if (size > hdrl.size() - at - 8) return Refuse("a header chunk runs past the header list");
        if (id == kAvih) {
            if (size < sizeof(MainHeader)) return Refuse("the main header (avih) is too short");
            mainHeader = true;
        } else if (id == kList && size >= 4 && Get<Fourcc>(&hdrl[at + 8]) == kStrl && !stream) {
            if (!ReadStreamList(&hdrl[at + 12], size - 4)) return false;
            stream = true;
        }
        at += static_cast<size_t>(Padded(8 + uint64_t{size}));
    }
    if (!mainHeader) return Refuse("the main header (avih) is missing");
    if (!stream) return Refuse("the file has no stream");
    return true;
}

bool Reading::ReadStreamList(const uint8_t *strl, uint32_t bytes) {
    const uint8_t *streamHeader = nullptr, *format = nullptr;
    uint32_t formatBytes = 0;
    for (uint32_t at = 0; at + 8 <= bytes;) {
        const Fourcc id = Get<Fourcc>(strl + at);
        const uint32_t size = Get<uint32_t>(strl + at + 4);
        if (size > bytes - at - 8) return Refuse("a stream header chunk runs past its list");
        const uint8_t *data = strl + at + 8;
        if (id == kStrh) {
            if (size < sizeof(StreamHeader)) return Refuse("the stream header (strh) is too short");
            streamHeader = data;
        } else if (id == kStrf) {
            format = data;
            formatBytes = size;
        } else if (id == kIndx) {
            if (size < sizeof(SuperIndexHeader)) return Refuse("the super index (indx) is too short");
            const SuperIndexHeader header = Get<SuperIndexHeader>(data);
            if (header.wLongsPerEntry != 4 || header.bIndexType != kIndexOfIndexes ||
                header.nEntriesInUse > (size - sizeof header) / sizeof(SuperIndexEntry))
                return Refuse("the super index (indx) is damaged");
            movie.superIndexRoom = static_cast<uint32_t>((size - sizeof header) / sizeof(SuperIndexEntry));
            for (uint32_t i = 0; i < header.nEntriesInUse; ++i)
                super.push_back(Get<SuperIndexEntry>(data + sizeof header + i * sizeof(SuperIndexEntry)));
        }
        at += static_cast<uint32_t>(Padded(8 + uint64_t{size}));
    }
    if (streamHeader == nullptr) return Refuse("the stream header (strh) is missing");
    const StreamHeader header = Get<StreamHeader>(streamHeader);
    if (header.fccType != kVids) return Refuse("the first stream is not video");
    if (header.dwRate == 0 || header.dwScale == 0) return Refuse("the stream's frame rate is 0");
    movie.rate = header.dwRate;
    movie.scale = header.dwScale;
    if (format == nullptr || formatBytes < sizeof(bmp::InfoHeaderFields))
        return Refuse("the stream format (strf) is missing or too short");
    const bmp::InfoHeaderFields info = Get<bmp::InfoHeaderFields>(format);
    movie.info = info;
    if (info.biWidth <= 0 || info.biWidth > kLargestSide || info.biHeight <= 0 || info.biHeight > kLargestSide)
        return Refuse("the frame size %ld x %ld is outside 1 to %ld", static_cast<long>(info.biWidth),
                      static_cast<long>(info.biHeight), static_cast<long>(kLargestSide));
    if (info.biCompression == kMjpg) {
        movie.codec = Codec::kMjpeg;
    } else if (info.biCompression == bmp::kUncompressed && (info.biBitCount == 24 || info.biBitCount == 8)) {
        movie.codec = Codec::kRaw;
        movie.frameBytes = DibBytes(info.biWidth, info.biHeight, info.biBitCount);
    } else {
        return Refuse("the frames are neither Motion JPEG nor uncompressed 8 or 24-bit pictures");
    }
    if (movie.codec == Codec::kRaw && info.biBitCount == 8) {
        const uint32_t entries = info.biClrUsed == 0 ? bmp::kGreyPaletteEntries : info.biClrUsed;
        const uint64_t room = (formatBytes - uint64_t{info.biSize}) / sizeof(bmp::PaletteEntry);
        if (info.biSize < sizeof info || info.biSize > formatBytes || entries > bmp::kGreyPaletteEntries ||
            entries > room)
            return Refuse("the 8-bit frames' palette is missing");
        std::memcpy(movie.palette, format + info.biSize, entries * sizeof(bmp::PaletteEntry));
        movie.paletteEntries = entries;
    }
    return true;
}

// Frames by walking chunks. In a segment that was cut (`open`), the first
// chunk that is not whole, or not a chunk at all, is where writing stopped.
bool Reading::Scan(uint64_t from, uint64_t to, bool open) {
    uint64_t at = from;
    while (at < to && to - at >= 8) {
        uint8_t head[12];
        if (!Fetch(at, head, 8)) return false;
        const Fourcc id = Get<Fourcc>(head);
        const uint32_t size = Get<uint32_t>(head + 4);
        if (!IsPrintable(id) || size > to - at - 8) {
            if (open) return true;
            return Refuse("the movi list is damaged at offset %llu", Ull(at));
        }
        if (id == kList && size >= 4) {
            if (!Fetch(at + 8, head + 8, 4)) return false;
            if (Get<Fourcc>(head + 8) == kRec) {  // a list of chunks to take one by one
                at += 12;
                continue;
            }
        }
        if (IsFrameChunk(id) && !AddFrame(at + 8, size)) return false;
        at += Padded(8 + uint64_t{size});
    }
    return true;
}

bool Reading::ReadStandardIndex(const SuperIndexEntry &entry, uint64_t moviStart, uint64_t moviEnd) {
    uint8_t head[sizeof(ChunkHeader) + sizeof(StandardIndexHeader)];
    if (!Fetch(entry.qwOffset, head, sizeof head)) return false;
    const ChunkHeader chunk = Get<ChunkHeader>(head);
    const StandardIndexHeader header = Get<StandardIndexHeader>(head + sizeof chunk);
    if (chunk.ckSize < sizeof header || chunk.ckSize > moviEnd - entry.qwOffset - 8 || header.wLongsPerEntry != 2 ||
        header.bIndexType != kIndexOfChunks ||
        header.nEntriesInUse > (chunk.ckSize - sizeof header) / sizeof(StandardIndexEntry))
        return Refuse("the standard index at offset %llu is damaged", Ull(entry.qwOffset));
    std::vector<StandardIndexEntry> entries(header.nEntriesInUse);
    if (!entries.empty() &&
        !Fetch(entry.qwOffset + sizeof head, entries.data(), entries.size() * sizeof(StandardIndexEntry)))
        return false;
    for (const StandardIndexEntry &e : entries) {
        const uint64_t data = header.qwBaseOffset + e.dwOffset;
        const uint32_t size = e.dwSize & ~kDeltaFrame;
        uint8_t frameHead[sizeof(ChunkHeader)];
        if (data < moviStart + 20 || data > moviEnd || size > moviEnd - data || !Fetch(data - 8, frameHead, 8) ||
            !IsFrameChunk(Get<ChunkHeader>(frameHead).ckid) || Get<ChunkHeader>(frameHead).ckSize != size)
            return Refuse("the standard index at offset %llu points at no frame at offset %llu",
                          Ull(entry.qwOffset), Ull(data));
        if (!AddFrame(data, size)) return false;
    }
    return true;
}

// One RIFF segment's movi list: from its standard index when the super
// index points at one wholly inside the list, else by walking it.
bool Reading::ReadSegment(uint64_t moviStart, uint64_t moviEnd, bool open) {
    ++movie.segments;
    for (const SuperIndexEntry &entry : super) {
        if (entry.qwOffset >= moviStart + 12 && entry.qwOffset < moviEnd && entry.dwSize <= moviEnd - entry.qwOffset)
            return ReadStandardIndex(entry, moviStart, moviEnd);
    }
    return Scan(moviStart + 12, moviEnd, open);
}

}  // namespace

bool ReadMovie(ReadAt read, void *file, uint64_t fileSize, Movie &movie, char *why, size_t whyBytes) {
    movie = Movie();
    Reading r{read, file, fileSize, why, whyBytes, movie, movie.superIndex};
    if (whyBytes > 0) why[0] = '\0';
    ListHeader riff{};
    if (fileSize < sizeof riff) return r.Refuse("the file is too short to be an AVI file");
    if (!r.Fetch(0, &riff, sizeof riff)) return false;
    if (riff.ckid != kRiff || riff.fccType != kAvi) return r.Refuse("not an AVI file (no RIFF AVI header)");

    // A segment whose size is 0 or runs past the file was being written
    // when the file was cut: it lasts to the end of the file.
    uint64_t segmentEnd = 8 + uint64_t{riff.ckSize};
    bool open = riff.ckSize == 0 || segmentEnd > fileSize;
    if (open) segmentEnd = fileSize;

    bool headers = false;
    uint64_t at = sizeof riff;
    for (;;) {
        ListHeader list{};
        if (segmentEnd - at < sizeof list) {
            return r.Refuse(headers ? "the file ends before its frames (no movi list)"
                                    : "the file ends before its headers (no hdrl list)");
        }
        if (!r.Fetch(at, &list, sizeof list)) return false;
        if (list.ckid == kList && list.fccType == kMovi) break;
        const uint64_t next = at + Padded(8 + uint64_t{list.ckSize});
        if (list.ckid == kList && list.fccType == kHdrl && !headers) {
            if (next > fileSize) return r.Refuse("the file ends inside its headers");
            if (list.ckSize > kLargestHeaderList) return r.Refuse("the header list is too large");
            std::vector<uint8_t> hdrl(list.ckSize);
            if (!r.Fetch(at + 8, hdrl.data(), hdrl.size()) || !r.ReadHeaders(hdrl)) return false;
            headers = true;
        }
        if (next > segmentEnd) return r.Refuse("the file ends inside its headers");
        at = next;
    }
    if (!headers) return r.Refuse("the header list (hdrl) is missing before the frames");

    uint64_t riffAt = 0;
    for (;;) {
        ListHeader movi{};
        if (!r.Fetch(at, &movi, sizeof movi)) return false;
        uint64_t moviEnd = at + 8 + uint64_t{movi.ckSize};
        const bool moviOpen = open || movi.ckSize == 0 || moviEnd > segmentEnd;
        if (movi.ckSize == 0 || moviEnd > segmentEnd) moviEnd = segmentEnd;
        movie.places.push_back(SegmentPlace{riffAt, at, riff.ckSize, movi.ckSize, movie.frames.size()});
        if (!r.ReadSegment(at, moviEnd, moviOpen)) return false;
        movie.end = segmentEnd;
        if (open) {
            movie.cut = true;
            break;
        }
        // The next segment, if one follows whole enough to begin.
        at = Padded(segmentEnd);
        movie.end = at < fileSize ? at : fileSize;
        if (fileSize - at < 2 * sizeof(ListHeader)) break;
        if (!r.Fetch(at, &riff, sizeof riff)) return false;
        if (riff.ckid != kRiff || riff.fccType != kAvix) break;
        segmentEnd = at + 8 + uint64_t{riff.ckSize};
        open = riff.ckSize == 0 || segmentEnd > fileSize;
        if (open) segmentEnd = fileSize;
        riffAt = at;
        at += sizeof riff;
        ListHeader list{};
        if (!r.Fetch(at, &list, sizeof list)) return false;
        if (list.ckid != kList || list.fccType != kMovi)
            return r.Refuse("the RIFF segment at offset %llu does not begin with its frames",
                            Ull(at - sizeof riff));
    }
    if (movie.frames.empty()) return r.Refuse("the file holds no frames");
    return true;
}

int64_t ShownFrame(const Movie &movie, size_t step) {
    for (size_t i = step + 1; i-- > 0;) {
        if (i < movie.frames.size() && movie.frames[i].size != 0) return static_cast<int64_t>(i);
    }
    return -1;
}

bool ReadMemory(void *file, uint64_t offset, uint8_t *into, size_t bytes) {
    const MemoryFile &memory = *static_cast<const MemoryFile *>(file);
    if (offset > memory.size || bytes > memory.size - offset) return false;
    std::memcpy(into, memory.bytes + offset, bytes);
    return true;
}

}  // namespace avi
