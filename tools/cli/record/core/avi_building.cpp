#include "avi_building.h"

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

bool Grey(const WriterSettings &settings) { return settings.codec == Codec::kRaw && settings.bits == 8; }

}  // namespace

const char *SettingsProblem(const WriterSettings &settings) {
    const bool raw = settings.codec == Codec::kRaw;
    if (settings.width <= 0 || settings.height <= 0 || settings.width > 32768 || settings.height > 32768)
        return "the frame size is outside 1 to 32768 pixels";
    if (settings.bits != 24 && !(raw && settings.bits == 8)) return "frames are 24 bits, or 8 bits when uncompressed";
    if (raw && DibBytes(settings.width, settings.height, settings.bits) > kLargestFrameBytes)
        return "the frame is too large for one chunk";
    if (settings.rate == 0) return "the frame rate is 0";
    if (settings.segmentBytes == 0 || settings.segmentBytes > kLargestSegmentBytes)
        return "the segment size is outside 1 byte to 2 GB";
    if (settings.superIndexEntries == 0 || settings.superIndexEntries > kLargestSuperIndexEntries)
        return "the super index has room for other than 1 to 65536 segments";
    return nullptr;
}

Fourcc FrameId(Codec codec) { return codec == Codec::kRaw ? kUncompressed : kCompressed; }

MainHeader MainHeaderFor(const WriterSettings &settings, const HeaderCounts &counts) {
    MainHeader main{};
    main.dwMicroSecPerFrame = 1000000 / settings.rate;
    main.dwMaxBytesPerSec = Clamp32(uint64_t{counts.largestChunk} * settings.rate);
    main.dwFlags = kHasIndex | kIsInterleaved | kTrustChunkType;
    main.dwTotalFrames = Clamp32(counts.firstSegmentSteps);
    main.dwStreams = 1;
    main.dwSuggestedBufferSize = counts.largestChunk + sizeof(ChunkHeader);
    main.dwWidth = static_cast<uint32_t>(settings.width);
    main.dwHeight = static_cast<uint32_t>(settings.height);
    return main;
}

StreamHeader StreamHeaderFor(const WriterSettings &settings, const HeaderCounts &counts) {
    StreamHeader stream{};
    stream.fccType = kVids;
    stream.fccHandler = settings.codec == Codec::kRaw ? kDib : kMjpg;
    stream.dwScale = 1;
    stream.dwRate = settings.rate;
    stream.dwLength = Clamp32(counts.steps);
    stream.dwSuggestedBufferSize = counts.largestChunk + sizeof(ChunkHeader);
    stream.dwQuality = UINT32_MAX;  // the codec's default
    stream.rcFrameRight = static_cast<int16_t>(settings.width > 32767 ? 32767 : settings.width);
    stream.rcFrameBottom = static_cast<int16_t>(settings.height > 32767 ? 32767 : settings.height);
    return stream;
}

ExtendedHeader ExtendedHeaderFor(const HeaderCounts &counts) {
    ExtendedHeader extended{};
    extended.dwTotalFrames = Clamp32(counts.steps);
    return extended;
}

Head MakeHead(const WriterSettings &settings) {
    const bool raw = settings.codec == Codec::kRaw;
    const bool grey = Grey(settings);
    // Every size here is far below 4 GB: the super index is bounded.
    const uint32_t strfBytes = uint32_t{sizeof(bmp::InfoHeaderFields)} + (grey ? bmp::kGreyPaletteBytes : 0);
    const uint32_t indxBytes =
        uint32_t{sizeof(SuperIndexHeader)} + settings.superIndexEntries * uint32_t{sizeof(SuperIndexEntry)};
    const uint32_t strlBytes = 4 + 8 + uint32_t{sizeof(StreamHeader)} + 8 + strfBytes + 8 + indxBytes;
    const uint32_t odmlBytes = 4 + 8 + uint32_t{sizeof(ExtendedHeader)};
    const uint32_t hdrlBytes = 4 + 8 + uint32_t{sizeof(MainHeader)} + 8 + strlBytes + 8 + odmlBytes;
    const HeaderCounts none;

    Head head;
    std::vector<uint8_t> &out = head.bytes;
    out.reserve(12 + 8 + hdrlBytes + 12);
    Put(out, ListHeader{kRiff, 0, kAvi});  // 0 until closed: "to the end of the file"
    PutList(out, kHdrl, hdrlBytes);
    Put(out, ChunkHeader{kAvih, sizeof(MainHeader)});
    head.avihAt = out.size();
    Put(out, MainHeaderFor(settings, none));
    PutList(out, kStrl, strlBytes);
    Put(out, ChunkHeader{kStrh, sizeof(StreamHeader)});
    head.strhAt = out.size();
    Put(out, StreamHeaderFor(settings, none));
    Put(out, ChunkHeader{kStrf, strfBytes});
    bmp::InfoHeaderFields info = bmp::InfoHeader(settings.width, settings.height, settings.bits);
    info.biSizeImage = Clamp32(DibBytes(settings.width, settings.height, settings.bits));
    if (!raw) info.biCompression = kMjpg;
    if (grey) info.biClrUsed = bmp::kGreyPaletteEntries;
    Put(out, info);
    if (grey) {
        static constexpr bmp::GreyPalette kPalette = bmp::MakeGreyPalette();
        Put(out, kPalette);
    }
    Put(out, ChunkHeader{kIndx, indxBytes});
    head.indxAt = out.size();
    SuperIndexHeader super{};
    super.wLongsPerEntry = 4;
    super.bIndexType = kIndexOfIndexes;
    super.dwChunkId = FrameId(settings.codec);
    Put(out, super);
    out.resize(out.size() + settings.superIndexEntries * sizeof(SuperIndexEntry), 0);
    PutList(out, kOdml, odmlBytes);
    Put(out, ChunkHeader{kDmlh, sizeof(ExtendedHeader)});
    head.dmlhAt = out.size();
    Put(out, ExtendedHeaderFor(none));
    head.moviAt = out.size();
    PutList(out, kMovi, 0);
    return head;
}

uint64_t IndexBytes(uint64_t entries, bool firstSegment) {
    uint64_t bytes = sizeof(ChunkHeader) + sizeof(StandardIndexHeader) + entries * sizeof(StandardIndexEntry);
    if (firstSegment) bytes += sizeof(ChunkHeader) + entries * sizeof(LegacyIndexEntry);
    return bytes;
}

// Segments are at most 2 GB, so every offset within one fits 32 bits.
std::vector<uint8_t> StandardIndex(Fourcc frameId, uint64_t moviAt, const std::vector<IndexEntry> &entries) {
    const uint32_t count = static_cast<uint32_t>(entries.size());
    const uint32_t ixBytes = sizeof(StandardIndexHeader) + count * uint32_t{sizeof(StandardIndexEntry)};
    std::vector<uint8_t> index;
    index.reserve(sizeof(ChunkHeader) + ixBytes);
    Put(index, ChunkHeader{kStandardIndex, ixBytes});
    StandardIndexHeader standard{};
    standard.wLongsPerEntry = 2;
    standard.bIndexType = kIndexOfChunks;
    standard.nEntriesInUse = count;
    standard.dwChunkId = frameId;
    standard.qwBaseOffset = moviAt;
    Put(index, standard);
    for (const IndexEntry &entry : entries)
        Put(index, StandardIndexEntry{static_cast<uint32_t>(entry.chunk + sizeof(ChunkHeader) - moviAt), entry.size});
    return index;
}

std::vector<uint8_t> LegacyIndex(Fourcc frameId, uint64_t moviAt, const std::vector<IndexEntry> &entries) {
    std::vector<uint8_t> index;
    index.reserve(sizeof(ChunkHeader) + entries.size() * sizeof(LegacyIndexEntry));
    Put(index, ChunkHeader{kIdx1, static_cast<uint32_t>(entries.size() * sizeof(LegacyIndexEntry))});
    for (const IndexEntry &entry : entries)
        Put(index, LegacyIndexEntry{frameId, kKeyFrameFlag, static_cast<uint32_t>(entry.chunk - moviAt - 8),
                                    entry.size});
    return index;
}

}  // namespace avi
