#include "avi_mend.h"

#include <cstring>
#include <vector>

#include "avi_building.h"

namespace avi {

namespace {

std::string Count(uint64_t value, const char *one, const char *many) {
    return std::to_string(value) + " " + (value == 1 ? one : many);
}

template <typename T>
bool Read(const MendIo &io, uint64_t offset, T &value) {
    return io.read(io.file, offset, reinterpret_cast<uint8_t *>(&value), sizeof value);
}

// The settings the writer would have had, when the file's headers are
// byte for byte what it writes, but for the sizes and counts that grow.
bool WriterSettingsOf(const MendIo &io, const Movie &movie, WriterSettings &settings, Head &head) {
    settings.width = movie.info.biWidth;
    settings.height = movie.info.biHeight;
    settings.bits = movie.info.biBitCount;
    settings.codec = movie.codec;
    settings.rate = movie.rate;
    settings.superIndexEntries = movie.superIndexRoom;
    if (SettingsProblem(settings) != nullptr) return false;
    head = MakeHead(settings);
    if (movie.places.front().moviAt != head.moviAt) return false;
    std::vector<uint8_t> file(head.bytes.size());
    if (!io.read(io.file, 0, file.data(), file.size())) return false;
    struct Field {
        uint64_t at, bytes;
    } const growing[] = {
        {offsetof(ListHeader, ckSize), 4},
        {head.avihAt + offsetof(MainHeader, dwMaxBytesPerSec), 4},
        {head.avihAt + offsetof(MainHeader, dwTotalFrames), 4},
        {head.avihAt + offsetof(MainHeader, dwSuggestedBufferSize), 4},
        {head.strhAt + offsetof(StreamHeader, dwLength), 4},
        {head.strhAt + offsetof(StreamHeader, dwSuggestedBufferSize), 4},
        {head.dmlhAt + offsetof(ExtendedHeader, dwTotalFrames), 4},
        {head.indxAt + offsetof(SuperIndexHeader, nEntriesInUse), 4},
        {head.SuperIndexEntryAt(0), uint64_t{settings.superIndexEntries} * sizeof(SuperIndexEntry)},
        {head.moviAt + offsetof(ListHeader, ckSize), 4},
    };
    for (const Field &field : growing)
        std::memcpy(head.bytes.data() + field.at, file.data() + field.at, static_cast<size_t>(field.bytes));
    return head.bytes == file;
}

// The headers as the writer leaves them when it closes the file.
struct Headers {
    MainHeader main;
    StreamHeader stream;
    ExtendedHeader extended;
};

Headers ClosedHeaders(const WriterSettings &settings, const Movie &movie, size_t segments) {
    HeaderCounts counts;
    counts.steps = movie.frames.size();
    counts.firstSegmentSteps = segments > 1 ? movie.places[1].firstFrame : counts.steps;
    for (const Frame &frame : movie.frames)
        if (frame.size > counts.largestChunk) counts.largestChunk = frame.size;
    return Headers{MainHeaderFor(settings, counts), StreamHeaderFor(settings, counts), ExtendedHeaderFor(counts)};
}

bool SameHeaders(const MendIo &io, const Head &head, const Headers &want) {
    Headers have{};
    return Read(io, head.avihAt, have.main) && Read(io, head.strhAt, have.stream) &&
           Read(io, head.dmlhAt, have.extended) && std::memcmp(&have.main, &want.main, sizeof have.main) == 0 &&
           std::memcmp(&have.stream, &want.stream, sizeof have.stream) == 0 &&
           std::memcmp(&have.extended, &want.extended, sizeof have.extended) == 0;
}

struct Writing {
    const MendIo &io;
    bool ok = true;
    void At(uint64_t offset, const void *bytes, size_t size) {
        ok = ok && io.writeAt(io.file, offset, bytes, size);
    }
    template <typename T>
    void Value(uint64_t offset, const T &value) {
        At(offset, &value, sizeof value);
    }
    void Size(uint64_t size) { ok = ok && io.setSize(io.file, size); }
    void Flush() { ok = ok && io.flush(io.file); }
};

MendOutcome Outcome(MendStatus status, std::string line, const Movie &movie, size_t segments) {
    return MendOutcome{status, std::move(line), movie.frames.size(), static_cast<uint32_t>(segments)};
}

}  // namespace

MendOutcome MendFile(const MendIo &io, uint64_t size, uint64_t largestFile) {
    Movie movie;
    char why[200];
    if (!ReadMovie(io.read, io.file, size, movie, why, sizeof why))
        return Outcome(MendStatus::kRefused, std::string("not mended: ") + why, movie, 0);
    WriterSettings settings;
    Head head;
    const std::string foreign = "not mended: not an AVI file this recorder writes";
    if (!WriterSettingsOf(io, movie, settings, head)) return Outcome(MendStatus::kRefused, foreign, movie, 0);
    const SegmentPlace last = movie.places.back();
    const size_t lastIndex = movie.places.size() - 1;
    const size_t lastFrames = movie.frames.size() - last.firstFrame;

    // A part-written chunk after the last whole frame, or a segment begun
    // with none, is dropped; so is whatever follows the last closed segment
    // (a segment's start cut short, or after a power cut zeros or older
    // bytes of the disk).
    size_t segments = movie.places.size();
    uint64_t framesEnd = movie.end;
    bool finish = false;
    if (movie.cut && lastFrames > 0) {
        const Frame &frame = movie.frames.back();
        framesEnd = frame.offset + Padded(frame.size);
        finish = true;
    } else if (movie.cut) {
        segments = lastIndex;
        framesEnd = last.riffAt;
    }
    // Each closed segment has its super index entry; the one being written
    // may have it already, when the cut came as it was closing. Entries
    // past the segments kept name segments the file no longer holds.
    const size_t inUse = movie.superIndex.size();
    if (inUse + (finish ? 1 : 0) < segments || segments > settings.superIndexEntries)
        return Outcome(MendStatus::kRefused, foreign, movie, 0);

    std::vector<IndexEntry> entries;
    std::vector<uint8_t> standard, legacy;
    if (finish) {
        for (size_t i = last.firstFrame; i < movie.frames.size(); ++i)
            entries.push_back(IndexEntry{movie.frames[i].offset - sizeof(ChunkHeader), movie.frames[i].size});
        standard = StandardIndex(FrameId(settings.codec), last.moviAt, entries);
        if (lastIndex == 0) legacy = LegacyIndex(FrameId(settings.codec), last.moviAt, entries);
    }
    const uint64_t end = framesEnd + standard.size() + legacy.size();
    if (finish && end - last.riffAt - 8 > UINT32_MAX) return Outcome(MendStatus::kRefused, foreign, movie, 0);
    const Headers headers = ClosedHeaders(settings, movie, segments);
    const std::string holds =
        Count(movie.frames.size(), "time step", "time steps") + " in " + Count(segments, "segment", "segments");
    if (!finish && end == size && inUse == segments && SameHeaders(io, head, headers))
        return Outcome(MendStatus::kWhole, "whole: " + holds + ", nothing to mend; left as it was", movie, segments);
    if (end > largestFile)
        return Outcome(MendStatus::kFailed,
                       "not mended: its index would end at byte " + std::to_string(end) +
                           ", past the largest file its file system takes (" + std::to_string(largestFile) +
                           " bytes); left as it was, it plays up to its last whole frame",
                       movie, segments);

    // The writer's order: each index on the disk before what points at it.
    Writing write{io};
    if (finish) {
        write.At(framesEnd, standard.data(), standard.size());
        write.Flush();
        write.Value(head.SuperIndexEntryAt(static_cast<uint32_t>(lastIndex)),
                    SuperIndexEntry{framesEnd, static_cast<uint32_t>(standard.size()),
                                    static_cast<uint32_t>(entries.size())});
        write.Value(last.moviAt + offsetof(ListHeader, ckSize),
                    static_cast<uint32_t>(framesEnd + standard.size() - last.moviAt - 8));
        if (!legacy.empty()) write.At(framesEnd + standard.size(), legacy.data(), legacy.size());
    }
    if (inUse > segments) {
        const std::vector<uint8_t> none((inUse - segments) * sizeof(SuperIndexEntry), 0);
        write.At(head.SuperIndexEntryAt(static_cast<uint32_t>(segments)), none.data(), none.size());
    }
    write.Value(head.indxAt + offsetof(SuperIndexHeader, nEntriesInUse), static_cast<uint32_t>(segments));
    if (end < size) write.Size(end);
    write.Flush();
    if (finish) write.Value(last.riffAt + offsetof(ListHeader, ckSize), static_cast<uint32_t>(end - last.riffAt - 8));
    write.Value(head.avihAt, headers.main);
    write.Value(head.strhAt, headers.stream);
    write.Value(head.dmlhAt, headers.extended);
    write.Flush();
    if (!write.ok)
        return Outcome(MendStatus::kFailed, "not mended: writing the file failed; it plays up to its last whole frame",
                       movie, segments);

    const uint64_t dropped = size > framesEnd ? size - framesEnd : 0;
    const std::string droppedBytes = Count(dropped, "byte", "bytes");
    std::string line;
    if (finish)
        line = "cut in segment " + std::to_string(segments) + " after " +
               Count(lastFrames, "whole time step", "whole time steps") +
               (dropped > 0 ? " (the " + droppedBytes + " after it dropped)" : "") +
               "; wrote its standard index, its super index entry, " + (legacy.empty() ? "" : "the legacy index, ");
    else if (dropped > 0)
        line = "cut as segment " + std::to_string(segments + 1) + " began (its " + droppedBytes + " dropped); wrote ";
    else
        line = "its segments were whole; wrote ";
    return Outcome(MendStatus::kMended, line + "every size and count: " + holds, movie, segments);
}

}  // namespace avi
