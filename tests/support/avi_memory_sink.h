// An AVI writer's sink in memory that keeps every write in order, so that a
// test can rebuild the file as it stood at any moment of the recording: as a
// kill, a full disk or a power cut leaves it.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "avi_writer.h"

struct AviMemorySink {
    struct Write {
        bool append;
        uint64_t offset;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> file;
    std::vector<Write> writes;
    uint64_t room = UINT64_MAX;  // the bytes the disk still takes
    bool patchFails = false;     // no byte already written can be overwritten

    avi::WriterSink Sink() { return avi::WriterSink{this, Append, Patch}; }

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
