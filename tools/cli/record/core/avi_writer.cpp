#include "avi_writer.h"

#include <cstddef>
#include <cstring>

namespace avi {

bool Writer::Fail(const char *why) {
    error_ = why;
    failed_ = true;
    return false;
}

bool Writer::Append(const void *bytes, size_t size) {
    unflushed_ = true;
    if (!sink_.write(sink_.context, bytes, size)) return Fail("writing the file failed");
    end_ += size;
    return true;
}

bool Writer::Patch(uint64_t offset, const void *bytes, size_t size) {
    unflushed_ = true;
    if (!sink_.writeAt(sink_.context, offset, bytes, size)) return Fail("writing the file's headers failed");
    return true;
}

bool Writer::Flush() {
    if (!unflushed_ || sink_.flush == nullptr) return true;
    if (!sink_.flush(sink_.context)) return Fail("flushing the file to the disk failed");
    unflushed_ = false;
    return true;
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
    const char *problem = SettingsProblem(settings);
    if (problem != nullptr) return Fail(problem);
    frameId_ = FrameId(settings.codec);
    head_ = MakeHead(settings);
    moviAt_ = head_.moviAt;
    open_ = true;
    return Append(head_.bytes.data(), head_.bytes.size());
}

// The frames first, then the counts that take them in, each on the disk
// before the next: the counts never tell of a step a power cut has lost.
bool Writer::Refresh() {
    if (!open_) return Fail("the file is not open");
    if (failed_) return false;
    return WriteCounts();
}

bool Writer::SettleCounts() { return open_ && WriteCounts(); }

bool Writer::WriteCounts() {
    HeaderCounts counts;
    counts.firstSegmentSteps = segmentsClosed_ == 0 ? steps_ : firstSegmentSteps_;
    counts.steps = steps_;
    counts.largestChunk = largestChunk_;
    const MainHeader main = MainHeaderFor(settings_, counts);
    const StreamHeader stream = StreamHeaderFor(settings_, counts);
    const ExtendedHeader extended = ExtendedHeaderFor(counts);
    stepsSinceRefresh_ = 0;
    return Flush() && Patch(head_.avihAt, &main, sizeof main) && Patch(head_.strhAt, &stream, sizeof stream) &&
           Patch(head_.dmlhAt, &extended, sizeof extended) && Flush();
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
    entries_.push_back(IndexEntry{at, size});
    if (size > largestChunk_) largestChunk_ = size;
    ++steps_;
    if (++stepsSinceRefresh_ >= settings_.rate) return Refresh();
    return true;
}

// Appends the segment's indexes, then patches in what points at them, the
// segment's sizes last, so that a cut leaves nothing pointing at bytes that
// were never written; each index is flushed before what points at it, so
// that a power cut does not either.
bool Writer::CloseSegment() {
    const uint64_t ixAt = end_;
    const uint32_t count = static_cast<uint32_t>(entries_.size());
    const std::vector<uint8_t> standard = StandardIndex(frameId_, moviAt_, entries_);
    if (!Append(standard.data(), standard.size()) || !Flush()) return false;

    const SuperIndexEntry super{ixAt, static_cast<uint32_t>(standard.size()), count};
    const uint32_t inUse = segmentsClosed_ + 1;
    const uint32_t moviSize = static_cast<uint32_t>(end_ - moviAt_ - 8);
    if (!Patch(head_.SuperIndexEntryAt(segmentsClosed_), &super, sizeof super) ||
        !Patch(head_.indxAt + offsetof(SuperIndexHeader, nEntriesInUse), &inUse, sizeof inUse) ||
        !Patch(moviAt_ + 4, &moviSize, sizeof moviSize))
        return false;

    if (segmentsClosed_ == 0) {
        const std::vector<uint8_t> legacy = LegacyIndex(frameId_, moviAt_, entries_);
        if (!Append(legacy.data(), legacy.size()) || !Flush()) return false;
        firstSegmentSteps_ = steps_;
    }
    const uint32_t riffSize = static_cast<uint32_t>(end_ - segmentAt_ - 8);
    if (!Patch(segmentAt_ + 4, &riffSize, sizeof riffSize) || !Flush()) return false;
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
    const bool closed = CloseSegment() && Refresh();
    open_ = false;
    return closed;
}

}  // namespace avi
