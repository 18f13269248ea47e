#include "avi_writer.h"

#include <cstddef>
#include <cstring>

namespace avi {

namespace {

template <typename T>
void Put(std::vector<uint8_t> &out, const T &part) {
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&part);
    out.insert(out.end(), bytes, bytes + sizeof part);
}

void PutList(std::vector<uint8_t> &out, Fourcc type, uint32_t size) { Put(out, ListHeader{kList, size, type}); }

uint32_t Clamp32(uint64_t value) { return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value); }

}  // namespace

bool Writer::Fail(const char *why) {
    error_ = why;
    failed_ = true;
    return false;
}

bool Writer::Append(const void *bytes, size_t size) {
    if (!sink_.write(sink_.context, bytes, size)) return Fail("writing the file failed");
    end_ += size;
    return true;
}

bool Writer::Patch(uint64_t offset, const void *bytes, size_t size) {
    if (!sink_.writeAt(sink_.context, offset, bytes, size)) return Fail("writing the file's headers failed");
    return true;
}

uint64_t Writer::IndexBytes(uint64_t entries, bool firstSegment) const {
    uint64_t bytes = sizeof(ChunkHeader) + sizeof(StandardIndexHeader) + entries * sizeof(StandardIndexEntry);
    if (firstSegment) bytes += sizeof(ChunkHeader) + entries * sizeof(LegacyIndexEntry);
    return bytes;
}

// A segment holds at least one step, and its indexes stay within its size.
bool Writer::StartsSegment(uint64_t chunkBytes) const {
    return !entries_.empty() &&
           end_ + chunkBytes + IndexBytes(entries_.size() + 1, segmentsClosed_ == 0) - segmentAt_ >
               settings_.segmentBytes;
}

uint64_t Writer::GrowthToClose(size_t size) const {
    const uint64_t chunkBytes = Padded(sizeof(ChunkHeader) + uint64_t{size});
    if (!StartsSegment(chunkBytes)) return chunkBytes + IndexBytes(entries_.size() + 1, segmentsClosed_ == 0);
    return IndexBytes(entries_.size(), segmentsClosed_ == 0) + sizeof(ListHeader) * 2 + chunkBytes +
           IndexBytes(1, false);
}

bool Writer::Fits(size_t size) const {
    const uint64_t chunkBytes = Padded(sizeof(ChunkHeader) + uint64_t{size});
    if (StartsSegment(chunkBytes) && segmentsClosed_ + 1 >= settings_.superIndexEntries) return false;
    return settings_.fileLimit == 0 || end_ + GrowthToClose(size) <= settings_.fileLimit;
}

bool Writer::Open(const WriterSink &sink, const WriterSettings &settings) {
    if (open_) return Fail("the file is already open");
    *this = Writer();
    sink_ = sink;
    settings_ = settings;
    const bool raw = settings.codec == Codec::kRaw;
    if (settings.width <= 0 || settings.height <= 0 || settings.width > 32768 || settings.height > 32768)
        return Fail("the frame size is outside 1 to 32768 pixels");
    if (settings.bits != 24 && !(raw && settings.bits == 8))
        return Fail("frames are 24 bits, or 8 bits when uncompressed");
    if (raw && DibBytes(settings.width, settings.height, settings.bits) > kLargestFrameBytes)
        return Fail("the frame is too large for one chunk");
    if (settings.rate == 0) return Fail("the frame rate is 0");
    if (settings.segmentBytes == 0 || settings.segmentBytes > kLargestSegmentBytes)
        return Fail("the segment size is outside 1 byte to 2 GB");
    if (settings.superIndexEntries == 0 || settings.superIndexEntries > kLargestSuperIndexEntries)
        return Fail("the super index has room for other than 1 to 65536 segments");
    frameId_ = raw ? kUncompressed : kCompressed;

    const bool grey = raw && settings.bits == 8;
    // Every size here is far below 4 GB: the super index is bounded.
    const uint32_t strfBytes = uint32_t{sizeof(bmp::InfoHeaderFields)} + (grey ? bmp::kGreyPaletteBytes : 0);
    const uint32_t indxBytes =
        uint32_t{sizeof(SuperIndexHeader)} + settings.superIndexEntries * uint32_t{sizeof(SuperIndexEntry)};
    const uint32_t strlBytes = 4 + 8 + uint32_t{sizeof(StreamHeader)} + 8 + strfBytes + 8 + indxBytes;
    const uint32_t odmlBytes = 4 + 8 + uint32_t{sizeof(ExtendedHeader)};
    const uint32_t hdrlBytes = 4 + 8 + uint32_t{sizeof(MainHeader)} + 8 + strlBytes + 8 + odmlBytes;

    std::vector<uint8_t> head;
    head.reserve(12 + 8 + hdrlBytes + 12);
    Put(head, ListHeader{kRiff, 0, kAvi});  // 0 until closed: "to the end of the file"
    PutList(head, kHdrl, hdrlBytes);
    Put(head, ChunkHeader{kAvih, sizeof(MainHeader)});
    avihAt_ = head.size();
    Put(head, MainHeader{});
    PutList(head, kStrl, strlBytes);
    Put(head, ChunkHeader{kStrh, sizeof(StreamHeader)});
    strhAt_ = head.size();
    Put(head, StreamHeader{});
    Put(head, ChunkHeader{kStrf, strfBytes});
    bmp::InfoHeaderFields info = bmp::InfoHeader(settings.width, settings.height, settings.bits);
    info.biSizeImage = Clamp32(DibBytes(settings.width, settings.height, settings.bits));
    if (!raw) info.biCompression = kMjpg;
    if (grey) info.biClrUsed = bmp::kGreyPaletteEntries;
    Put(head, info);
    if (grey) {
        static constexpr bmp::GreyPalette kPalette = bmp::MakeGreyPalette();
        Put(head, kPalette);
    }
    Put(head, ChunkHeader{kIndx, indxBytes});
    indxAt_ = head.size();
    SuperIndexHeader super{};
    super.wLongsPerEntry = 4;
    super.bIndexType = kIndexOfIndexes;
    super.dwChunkId = frameId_;
    Put(head, super);
    head.resize(head.size() + settings.superIndexEntries * sizeof(SuperIndexEntry), 0);
    PutList(head, kOdml, odmlBytes);
    Put(head, ChunkHeader{kDmlh, sizeof(ExtendedHeader)});
    dmlhAt_ = head.size();
    Put(head, ExtendedHeader{});
    moviAt_ = head.size();
    PutList(head, kMovi, 0);

    open_ = true;
    if (!Append(head.data(), head.size())) return false;
    return RefreshHeaders();
}

bool Writer::RefreshHeaders() {
    const uint32_t rate = settings_.rate;
    const uint64_t firstSteps = segmentsClosed_ == 0 ? steps_ : firstSegmentSteps_;
    MainHeader main{};
    main.dwMicroSecPerFrame = 1000000 / rate;
    main.dwMaxBytesPerSec = Clamp32(uint64_t{largestChunk_} * rate);
    main.dwFlags = kHasIndex | kIsInterleaved | kTrustChunkType;
    main.dwTotalFrames = Clamp32(firstSteps);
    main.dwStreams = 1;
    main.dwSuggestedBufferSize = largestChunk_ + sizeof(ChunkHeader);
    main.dwWidth = static_cast<uint32_t>(settings_.width);
    main.dwHeight = static_cast<uint32_t>(settings_.height);

    StreamHeader stream{};
    stream.fccType = kVids;
    stream.fccHandler = settings_.codec == Codec::kRaw ? kDib : kMjpg;
    stream.dwScale = 1;
    stream.dwRate = rate;
    stream.dwLength = Clamp32(steps_);
    stream.dwSuggestedBufferSize = main.dwSuggestedBufferSize;
    stream.dwQuality = UINT32_MAX;  // the codec's default
    stream.rcFrameRight = static_cast<int16_t>(settings_.width > 32767 ? 32767 : settings_.width);
    stream.rcFrameBottom = static_cast<int16_t>(settings_.height > 32767 ? 32767 : settings_.height);

    ExtendedHeader extended{};
    extended.dwTotalFrames = Clamp32(steps_);

    stepsSinceRefresh_ = 0;
    return Patch(avihAt_, &main, sizeof main) && Patch(strhAt_, &stream, sizeof stream) &&
           Patch(dmlhAt_, &extended, sizeof extended);
}

bool Writer::AddFrame(const uint8_t *bytes, size_t size) {
    if (size == 0) return Fail("a frame of 0 bytes");
    if (settings_.codec == Codec::kRaw && size != DibBytes(settings_.width, settings_.height, settings_.bits))
        return Fail("an uncompressed frame of other than the picture's bytes");
    if (size > kLargestFrameBytes) return Fail("the frame is too large for one chunk");
    return AddChunk(bytes, static_cast<uint32_t>(size));
}

bool Writer::AddRepeat() {
    if (!AddChunk(nullptr, 0)) return false;
    ++repeats_;
    return true;
}

// A repeat is a chunk of no data: its index entry then points at a place of
// its own, and a reader that scans a cut file finds it as well.
bool Writer::AddChunk(const uint8_t *bytes, uint32_t size) {
    if (!open_) return Fail("the file is not open");
    if (failed_) return false;
    // Refused, not failed: the file stays whole and closes as it is.
    if (!Fits(size)) {
        error_ = settings_.fileLimit != 0 && end_ + GrowthToClose(size) > settings_.fileLimit
                     ? "the file has reached the largest size its volume takes"
                     : "the file holds as many segments as its super index has room for";
        return false;
    }
    if (StartsSegment(Padded(sizeof(ChunkHeader) + uint64_t{size})) && (!CloseSegment() || !StartSegment()))
        return false;
    const ChunkHeader header{frameId_, size};
    const uint64_t at = end_;
    if (!Append(&header, sizeof header)) return false;
    if (size > 0 && !Append(bytes, size)) return false;
    if ((size & 1) != 0) {
        const uint8_t pad = 0;
        if (!Append(&pad, 1)) return false;
    }
    entries_.push_back(Entry{at, size});
    if (size > largestChunk_) largestChunk_ = size;
    ++steps_;
    if (++stepsSinceRefresh_ >= settings_.rate) return RefreshHeaders();
    return true;
}

// Appends the segment's indexes, then patches in what points at them, the
// segment's sizes last, so that a cut leaves nothing pointing at bytes that
// were never written.
bool Writer::CloseSegment() {
    const uint64_t ixAt = end_;
    const uint32_t count = static_cast<uint32_t>(entries_.size());
    const uint32_t ixBytes = sizeof(StandardIndexHeader) + count * uint32_t{sizeof(StandardIndexEntry)};
    std::vector<uint8_t> index;
    index.reserve(sizeof(ChunkHeader) + ixBytes);
    Put(index, ChunkHeader{kStandardIndex, ixBytes});
    StandardIndexHeader standard{};
    standard.wLongsPerEntry = 2;
    standard.bIndexType = kIndexOfChunks;
    standard.nEntriesInUse = count;
    standard.dwChunkId = frameId_;
    standard.qwBaseOffset = moviAt_;
    Put(index, standard);
    for (const Entry &entry : entries_)
        Put(index, StandardIndexEntry{static_cast<uint32_t>(entry.chunk + sizeof(ChunkHeader) - moviAt_), entry.size});
    if (!Append(index.data(), index.size())) return false;

    const SuperIndexEntry super{ixAt, static_cast<uint32_t>(index.size()), count};
    const uint32_t inUse = segmentsClosed_ + 1;
    const uint64_t moviSize = end_ - moviAt_ - 8;
    if (!Patch(indxAt_ + sizeof(SuperIndexHeader) + uint64_t{segmentsClosed_} * sizeof(SuperIndexEntry), &super,
               sizeof super) ||
        !Patch(indxAt_ + offsetof(SuperIndexHeader, nEntriesInUse), &inUse, sizeof inUse))
        return false;
    const uint32_t moviSize32 = static_cast<uint32_t>(moviSize);
    if (!Patch(moviAt_ + 4, &moviSize32, sizeof moviSize32)) return false;

    if (segmentsClosed_ == 0) {
        index.clear();
        Put(index, ChunkHeader{kIdx1, count * uint32_t{sizeof(LegacyIndexEntry)}});
        for (const Entry &entry : entries_)
            Put(index, LegacyIndexEntry{frameId_, kKeyFrameFlag, static_cast<uint32_t>(entry.chunk - moviAt_ - 8),
                                        entry.size});
        if (!Append(index.data(), index.size())) return false;
        firstSegmentSteps_ = steps_;
    }
    const uint32_t riffSize = static_cast<uint32_t>(end_ - segmentAt_ - 8);
    if (!Patch(segmentAt_ + 4, &riffSize, sizeof riffSize)) return false;
    ++segmentsClosed_;
    entries_.clear();
    return true;
}

bool Writer::StartSegment() {
    uint8_t head[sizeof(ListHeader) * 2];
    const ListHeader riff{kRiff, 0, kAvix}, movi{kList, 0, kMovi};
    std::memcpy(head, &riff, sizeof riff);
    std::memcpy(head + sizeof riff, &movi, sizeof movi);
    segmentAt_ = end_;
    moviAt_ = end_ + sizeof riff;
    return Append(head, sizeof head);
}

bool Writer::Close() {
    if (!open_) return Fail("the file is not open");
    if (failed_) {
        open_ = false;
        return false;
    }
    const bool closed = CloseSegment() && RefreshHeaders();
    open_ = false;
    return closed;
}

}  // namespace avi
