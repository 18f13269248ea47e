// An AVI writer's sink in memory that keeps every write in order, so that a
// test can rebuild the file as it stood at any moment of the recording: as a
// kill, a full disk or a power cut leaves it. And a file in memory to mend.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "avi_mend.h"
#include "avi_writer.h"

struct AviMemorySink {
    struct Write {
        bool append;
        uint64_t offset;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> file;
    std::vector<Write> writes;
    std::vector<size_t> flushes;  // the writes done at each flush
    uint64_t room = UINT64_MAX;  // the bytes the disk still takes
    bool patchFails = false;     // no byte already written can be overwritten

    avi::WriterSink Sink() { return avi::WriterSink{this, Append, Patch, Flush}; }

    static bool Append(void *context, const void *bytes, size_t size) {
        AviMemorySink &sink = *static_cast<AviMemorySink *>(context);
        const size_t taken = sink.room < size ? static_cast<size_t>(sink.room) : size;
        const uint8_t *b = static_cast<const uint8_t *>(bytes);
        sink.writes.push_back(Write{true, sink.file.size(), std::vector<uint8_t>(b, b + taken)});
        sink.file.insert(sink.file.end(), b, b + taken);
        sink.room -= taken;
        return taken == size;
    }
    static bool Patch(void *context, uint64_t offset, const void *bytes, size_t size) {
        AviMemorySink &sink = *static_cast<AviMemorySink *>(context);
        if (sink.patchFails || offset > sink.file.size() || size > sink.file.size() - offset) return false;
        const uint8_t *b = static_cast<const uint8_t *>(bytes);
        sink.writes.push_back(Write{false, offset, std::vector<uint8_t>(b, b + size)});
        std::memcpy(sink.file.data() + offset, bytes, size);
        return true;
    }

    static bool Flush(void *context) {
        AviMemorySink &sink = *static_cast<AviMemorySink *>(context);
        sink.flushes.push_back(sink.writes.size());
        return true;
    }

    // The file after the first `count` writes, as a power cut leaves it at
    // worst: what was appended since the last flush has its length on the
    // disk but not its bytes (zeros), while the patches since then landed.
    // `intact`: the bytes before the first of those zeros.
    std::vector<uint8_t> FileAfterPowerCut(size_t count, size_t &intact) const {
        size_t flushed = 0;
        for (size_t done : flushes)
            if (done < count) flushed = done;
        intact = FileAfter(flushed, 0).size();
        std::vector<uint8_t> out = FileAfter(count, 0);
        for (size_t i = flushed; i < count; ++i)  // in order: a patch lands on what was appended before it
            if (writes[i].append) std::memset(out.data() + writes[i].offset, 0, writes[i].bytes.size());
            else std::memcpy(out.data() + writes[i].offset, writes[i].bytes.data(), writes[i].bytes.size());
        return out;
    }

    // The file after the first `count` writes and `partial` bytes of the next.
    std::vector<uint8_t> FileAfter(size_t count, size_t partial) const {
        std::vector<uint8_t> out;
        for (size_t i = 0; i <= count && i < writes.size(); ++i) {
            const Write &w = writes[i];
            const size_t n = i < count ? w.bytes.size() : (partial < w.bytes.size() ? partial : w.bytes.size());
            if (w.append) out.insert(out.end(), w.bytes.begin(), w.bytes.begin() + static_cast<std::ptrdiff_t>(n));
            else std::memcpy(out.data() + w.offset, w.bytes.data(), n);
        }
        return out;
    }
};

// A file in memory for mending, whose writes can be made to fail from the
// `writesLeft`-th on, as a mending cut short leaves it.
struct AviMemoryMendFile {
    std::vector<uint8_t> bytes;
    size_t writesLeft = SIZE_MAX;
    size_t writes = 0;  // writes, size changes and flushes asked for

    avi::MendIo Io() { return avi::MendIo{this, Read, WriteAt, SetSize, Flush}; }
    avi::MendOutcome Mend(uint64_t largestFile = UINT64_MAX) { return avi::MendFile(Io(), bytes.size(), largestFile); }

    static AviMemoryMendFile &Of(void *file) { return *static_cast<AviMemoryMendFile *>(file); }
    // Counts the write; false once the writes left are spent.
    static bool Allowed(void *file) {
        ++Of(file).writes;
        if (Of(file).writesLeft == 0) return false;
        --Of(file).writesLeft;
        return true;
    }
    static bool Read(void *file, uint64_t offset, uint8_t *into, size_t size) {
        avi::MemoryFile memory{Of(file).bytes.data(), Of(file).bytes.size()};
        return size == 0 || avi::ReadMemory(&memory, offset, into, size);
    }
    static bool WriteAt(void *file, uint64_t offset, const void *data, size_t size) {
        std::vector<uint8_t> &b = Of(file).bytes;
        if (!Allowed(file)) return false;
        if (offset + size > b.size()) b.resize(static_cast<size_t>(offset + size), 0);
        std::memcpy(b.data() + offset, data, size);
        return true;
    }
    static bool SetSize(void *file, uint64_t size) {
        if (!Allowed(file)) return false;
        Of(file).bytes.resize(static_cast<size_t>(size), 0);
        return true;
    }
    static bool Flush(void *file) { return Allowed(file); }
};
