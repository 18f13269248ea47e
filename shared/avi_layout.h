// The layout of the AVI files vorlane-cli records and the virtual card
// plays: RIFF chunks, the AVI 1.0 headers and legacy index, and the OpenDML
// (AVI 2.0) extensions that let a file pass 1 GB: RIFF-AVIX segments, the
// super index and the standard indexes it points at. Little-endian and
// packed; the fields keep the names the AVI documents give them. The
// bitmap header of 'strf' is the BMP info header.
#pragma once

#include <cstdint>

#include "bmp_headers.h"

namespace avi {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the structs are the file's bytes");

using Fourcc = uint32_t;

// What the frames hold: JPEG pictures, or DIB pixels as a BMP file holds them.
enum class Codec { kMjpeg, kRaw };

constexpr Fourcc MakeFourcc(const char (&text)[5]) {
    return static_cast<Fourcc>(static_cast<uint8_t>(text[0])) |
           static_cast<Fourcc>(static_cast<uint8_t>(text[1])) << 8 |
           static_cast<Fourcc>(static_cast<uint8_t>(text[2])) << 16 |
           static_cast<Fourcc>(static_cast<uint8_t>(text[3])) << 24;
}

constexpr Fourcc kRiff = MakeFourcc("RIFF");
constexpr Fourcc kList = MakeFourcc("LIST");
constexpr Fourcc kAvi = MakeFourcc("AVI ");    // the first RIFF segment's type
constexpr Fourcc kAvix = MakeFourcc("AVIX");   // every further segment's type
constexpr Fourcc kHdrl = MakeFourcc("hdrl");
constexpr Fourcc kAvih = MakeFourcc("avih");
constexpr Fourcc kStrl = MakeFourcc("strl");
constexpr Fourcc kStrh = MakeFourcc("strh");
constexpr Fourcc kStrf = MakeFourcc("strf");
constexpr Fourcc kIndx = MakeFourcc("indx");
constexpr Fourcc kOdml = MakeFourcc("odml");
constexpr Fourcc kDmlh = MakeFourcc("dmlh");
constexpr Fourcc kMovi = MakeFourcc("movi");
constexpr Fourcc kRec = MakeFourcc("rec ");
constexpr Fourcc kIdx1 = MakeFourcc("idx1");
constexpr Fourcc kJunk = MakeFourcc("JUNK");
constexpr Fourcc kVids = MakeFourcc("vids");
constexpr Fourcc kMjpg = MakeFourcc("MJPG");     // fccHandler and biCompression of Motion JPEG
constexpr Fourcc kDib = MakeFourcc("DIB ");      // fccHandler of uncompressed frames
constexpr Fourcc kCompressed = MakeFourcc("00dc");    // stream 0's compressed frames
constexpr Fourcc kUncompressed = MakeFourcc("00db");  // stream 0's uncompressed frames
constexpr Fourcc kStandardIndex = MakeFourcc("ix00"); // stream 0's standard index chunk

#pragma pack(push, 1)
struct ChunkHeader {
    Fourcc ckid;
    uint32_t ckSize;  // the data's bytes, without this header or the pad byte
};

struct ListHeader {
    Fourcc ckid;      // RIFF or LIST
    uint32_t ckSize;  // counts fccType and the chunks inside
    Fourcc fccType;
};

// 'avih'
struct MainHeader {
    uint32_t dwMicroSecPerFrame;
    uint32_t dwMaxBytesPerSec;
    uint32_t dwPaddingGranularity;
    uint32_t dwFlags;
    uint32_t dwTotalFrames;  // the first RIFF segment's frames only
    uint32_t dwInitialFrames;
    uint32_t dwStreams;
    uint32_t dwSuggestedBufferSize;
    uint32_t dwWidth;
    uint32_t dwHeight;
    uint32_t dwReserved[4];
};

// 'strh'
struct StreamHeader {
    Fourcc fccType;
    Fourcc fccHandler;
    uint32_t dwFlags;
    uint16_t wPriority;
    uint16_t wLanguage;
    uint32_t dwInitialFrames;
    uint32_t dwScale;  // frames a second are dwRate / dwScale
    uint32_t dwRate;
    uint32_t dwStart;
    uint32_t dwLength;  // every segment's frames
    uint32_t dwSuggestedBufferSize;
    uint32_t dwQuality;
    uint32_t dwSampleSize;
    int16_t rcFrameLeft, rcFrameTop, rcFrameRight, rcFrameBottom;
};

// 'dmlh' in LIST 'odml'
struct ExtendedHeader {
    uint32_t dwTotalFrames;  // every segment's frames
    uint32_t dwFuture[61];
};

// 'indx': the super index, one entry for each RIFF segment's 'ix00'.
struct SuperIndexHeader {
    uint16_t wLongsPerEntry;  // 4
    uint8_t bIndexSubType;    // 0
    uint8_t bIndexType;       // kIndexOfIndexes
    uint32_t nEntriesInUse;
    Fourcc dwChunkId;         // the chunks the standard indexes list
    uint32_t dwReserved[3];
};

struct SuperIndexEntry {
    uint64_t qwOffset;     // of the 'ix00' chunk's header, from the file's start
    uint32_t dwSize;       // of the 'ix00' chunk, header included
    uint32_t dwDuration;   // the frames it lists
};

// 'ix00': a standard index of one segment's frames.
struct StandardIndexHeader {
    uint16_t wLongsPerEntry;  // 2
    uint8_t bIndexSubType;    // 0
    uint8_t bIndexType;       // kIndexOfChunks
    uint32_t nEntriesInUse;
    Fourcc dwChunkId;
    uint64_t qwBaseOffset;    // the entries' offsets count from here
    uint32_t dwReserved3;
};

struct StandardIndexEntry {
    uint32_t dwOffset;  // of the frame's data (past its chunk header), from qwBaseOffset
    uint32_t dwSize;    // the data's bytes; kDeltaFrame set for a frame that is not a key frame
};

// 'idx1': the legacy index, of the first RIFF segment only.
struct LegacyIndexEntry {
    Fourcc ckid;
    uint32_t dwFlags;        // AVIIF_*
    uint32_t dwChunkOffset;  // of the chunk's header, from the 'movi' fourcc
    uint32_t dwChunkLength;
};
#pragma pack(pop)

static_assert(sizeof(ChunkHeader) == 8, "chunk header");
static_assert(sizeof(ListHeader) == 12, "list header");
static_assert(sizeof(MainHeader) == 56, "avih");
static_assert(sizeof(StreamHeader) == 56, "strh");
static_assert(sizeof(ExtendedHeader) == 248, "dmlh");
static_assert(sizeof(SuperIndexHeader) == 24, "indx header");
static_assert(sizeof(SuperIndexEntry) == 16, "indx entry");
static_assert(sizeof(StandardIndexHeader) == 24, "ix00 header");
static_assert(sizeof(StandardIndexEntry) == 8, "ix00 entry");
static_assert(sizeof(LegacyIndexEntry) == 16, "idx1 entry");
static_assert(sizeof(bmp::InfoHeaderFields) == 40, "strf is a BMP info header");

// avih dwFlags
constexpr uint32_t kHasIndex = 0x10;       // AVIF_HASINDEX
constexpr uint32_t kIsInterleaved = 0x100; // AVIF_ISINTERLEAVED
constexpr uint32_t kTrustChunkType = 0x800;  // AVIF_TRUSTCKTYPE
// idx1 dwFlags
constexpr uint32_t kKeyFrameFlag = 0x10;   // AVIIF_KEYFRAME
// indx / ix00 bIndexType
constexpr uint8_t kIndexOfIndexes = 0x00;  // AVI_INDEX_OF_INDEXES
constexpr uint8_t kIndexOfChunks = 0x01;   // AVI_INDEX_OF_CHUNKS
// ix00 dwSize
constexpr uint32_t kDeltaFrame = 0x80000000u;

// An uncompressed frame holds a DIB's pixels, as a BMP file does.
using bmp::DibBytes;

// Chunks start on even offsets: odd data is followed by one pad byte.
constexpr uint64_t Padded(uint64_t bytes) { return bytes + (bytes & 1); }

}  // namespace avi
