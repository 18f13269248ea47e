// The recorder's AVI writer and the virtual card's AVI reader together:
// what is written reads back frame for frame, a file cut at any moment reads
// back every step written whole before the cut, damage is refused by name.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "avi_index_damage.h"
#include "avi_memory_sink.h"
#include "avi_reader.h"
#include "avi_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using avi_edit::Find;
using avi_edit::Put;

// A recording of `pattern`: F a frame, R a repeat.
struct Recording {
    AviMemorySink sink;
    avi::Writer writer;
    std::vector<Bytes> steps;       // each step's frame; empty for a repeat
    std::vector<uint64_t> dataEnds; // where each step's data ends in the file
    bool closed = false;
};

avi::WriterSettings Settings(avi::Codec codec, int32_t width, int32_t height, uint16_t bits, uint64_t segmentBytes) {
    avi::WriterSettings s;
    s.codec = codec;
    s.width = width;
    s.height = height;
    s.bits = bits;
    s.rate = 4;
    s.segmentBytes = segmentBytes;
    s.superIndexEntries = 64;
    return s;
}

Bytes FrameBytes(const avi::WriterSettings &s, size_t n) {
    // Motion JPEG frames of odd and even sizes, so that pad bytes are used.
    const size_t size =
        s.codec == avi::Codec::kRaw ? static_cast<size_t>(avi::DibBytes(s.width, s.height, s.bits)) : 20 + n * 7 % 13;
    Bytes frame(size);
    for (size_t i = 0; i < size; ++i) frame[i] = static_cast<uint8_t>(n * 31 + i * 7);
    return frame;
}

void Record(Recording &r, const avi::WriterSettings &s, const std::string &pattern) {
    ASSERT_TRUE(r.writer.Open(r.sink.Sink(), s)) << r.writer.Error();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == 'R') {
            ASSERT_TRUE(r.writer.AddRepeat()) << r.writer.Error();
            r.steps.emplace_back();
            r.dataEnds.push_back(r.sink.file.size());
        } else {
            const Bytes frame = FrameBytes(s, i);
            ASSERT_TRUE(r.writer.AddFrame(frame.data(), frame.size())) << r.writer.Error();
            r.steps.push_back(frame);
            r.dataEnds.push_back(r.sink.file.size() - (frame.size() & 1));
        }
    }
    ASSERT_TRUE(r.writer.Close()) << r.writer.Error();
}

bool Read(const Bytes &file, avi::Movie &movie, std::string &why) {
    avi::MemoryFile memory{file.data(), file.size()};
    char text[200];
    const bool read = avi::ReadMovie(avi::ReadMemory, &memory, file.size(), movie, text, sizeof text);
    why = text;
    return read;
}

// The movie holds exactly the first `count` steps of the recording, each
// showing the last frame written at or before it, and a frame only for
// each step with data.
::testing::AssertionResult HoldsSteps(const Bytes &file, const avi::Movie &movie, const Recording &r, size_t count) {
    if (movie.steps != count)
        return ::testing::AssertionFailure() << movie.steps << " steps read, " << count << " written whole";
    const auto withData = std::count_if(r.steps.begin(), r.steps.begin() + static_cast<std::ptrdiff_t>(count),
                                        [](const Bytes &step) { return !step.empty(); });
    if (movie.frames.size() != static_cast<size_t>(withData))
        return ::testing::AssertionFailure() << movie.frames.size() << " frames kept, " << withData << " with data";
    Bytes shown;
    for (size_t i = 0; i < count; ++i) {
        if (!r.steps[i].empty()) shown = r.steps[i];
        const int64_t frame = avi::ShownFrame(movie, i);
        const avi::Frame f = frame < 0 ? avi::Frame{0, 0} : movie.frames[static_cast<size_t>(frame)];
        if (f.offset > file.size() || f.size > file.size() - f.offset)
            return ::testing::AssertionFailure() << "step " << i << " lies outside the file";
        if (Bytes(file.begin() + static_cast<std::ptrdiff_t>(f.offset),
                  file.begin() + static_cast<std::ptrdiff_t>(f.offset + f.size)) != shown)
            return ::testing::AssertionFailure() << "step " << i << " reads back other bytes";
    }
    return ::testing::AssertionSuccess();
}

struct Row {
    const char *name;
    avi::Codec codec;
    int32_t width, height;
    uint16_t bits;
    uint64_t segmentBytes;
    const char *pattern;
    uint32_t segments;
};

const Row kRows[] = {
    {"raw 24-bit, one segment", avi::Codec::kRaw, 6, 3, 24, avi::kDefaultSegmentBytes, "FFRFRRF", 1},
    {"raw 8-bit grey, rows padded", avi::Codec::kRaw, 5, 2, 8, avi::kDefaultSegmentBytes, "FRF", 1},
    {"Motion JPEG, odd sizes", avi::Codec::kMjpeg, 16, 8, 24, avi::kDefaultSegmentBytes, "FFFRFFRRF", 1},
    {"a repeat first", avi::Codec::kMjpeg, 16, 8, 24, avi::kDefaultSegmentBytes, "RFF", 1},
    {"one frame a segment", avi::Codec::kRaw, 6, 3, 24, 1, "FFFF", 4},
    {"many segments with repeats", avi::Codec::kMjpeg, 16, 8, 24, 700, "FFRFFFFFRRFFFFFFFFFFFFFFFFFFFRFFFFFFFFFFF", 4},
};

TEST(AviFile, ReadsBackEveryStepAsWritten) {
    for (const Row &row : kRows) {
        Recording r;
        const avi::WriterSettings s = Settings(row.codec, row.width, row.height, row.bits, row.segmentBytes);
        Record(r, s, row.pattern);
        avi::Movie movie;
        std::string why;
        ASSERT_TRUE(Read(r.sink.file, movie, why)) << row.name << ": " << why;
        EXPECT_TRUE(HoldsSteps(r.sink.file, movie, r, r.steps.size())) << row.name;
        EXPECT_EQ(movie.segments, row.segments) << row.name;
        EXPECT_EQ(r.writer.Segments(), row.segments) << row.name;
        EXPECT_FALSE(movie.cut) << row.name;
        EXPECT_EQ(movie.codec, row.codec) << row.name;
        EXPECT_EQ(movie.info.biWidth, row.width) << row.name;
        EXPECT_EQ(movie.info.biHeight, row.height) << row.name;
        EXPECT_EQ(movie.rate, 4u) << row.name;
        EXPECT_EQ(movie.scale, 1u) << row.name;
        EXPECT_EQ(movie.paletteEntries, row.bits == 8 ? 256u : 0u) << row.name;
        EXPECT_EQ(movie.palette[200].rgbGreen, row.bits == 8 ? 200 : 0) << row.name;
    }
}

// A volume's largest file: the writer takes steps while they fit with every
// index still to come, and the file it closes is whole and within the limit;
// the step it refuses would have crossed it. Every limit from one step's
// file to the whole recording's.
TEST(AviWriter, AFileCloseToItsLimitClosesWholeWithinIt) {
    for (const Row &row : kRows) {
        const avi::WriterSettings s = Settings(row.codec, row.width, row.height, row.bits, row.segmentBytes);
        const std::string pattern = row.pattern;
        std::vector<uint64_t> closedBytes;  // of the first n steps, closed
        for (size_t n = 0; n <= pattern.size(); ++n) {
            Recording prefix;
            Record(prefix, s, pattern.substr(0, n));
            closedBytes.push_back(prefix.sink.file.size());
        }
        for (uint64_t limit = closedBytes[1]; limit <= closedBytes.back(); ++limit) {
            const std::string where = std::string(row.name) + ", limit " + std::to_string(limit);
            Recording r;
            avi::WriterSettings limited = s;
            limited.fileLimit = limit;
            ASSERT_TRUE(r.writer.Open(r.sink.Sink(), limited)) << where;
            size_t taken = 0;
            for (; taken < pattern.size(); ++taken) {
                const Bytes next = pattern[taken] == 'R' ? Bytes() : FrameBytes(s, taken);
                const bool fits = r.writer.Fits(next.size());
                const size_t writes = r.sink.writes.size();
                ASSERT_EQ(next.empty() ? r.writer.AddRepeat() : r.writer.AddFrame(next.data(), next.size()), fits) << where;
                if (!fits) {
                    EXPECT_EQ(r.sink.writes.size(), writes) << where << ": wrote a step that does not fit";
                    EXPECT_GT(closedBytes[taken + 1], limit) << where << ": step " << taken << " would have fitted";
                    break;
                }
                r.steps.push_back(next);
            }
            ASSERT_TRUE(r.writer.Close()) << where << ": " << r.writer.Error();
            EXPECT_LE(r.sink.file.size(), limit) << where << ", " << taken << " steps";
            avi::Movie movie;
            std::string why;
            ASSERT_TRUE(Read(r.sink.file, movie, why)) << where << ": " << why;
            EXPECT_TRUE(HoldsSteps(r.sink.file, movie, r, taken) && !movie.cut) << where;
        }
    }
}

// Mends `file`, also (`cutMending`) when the mending is itself cut after
// each of its writes: every whole step still reads back then, and mending
// again ends where one mending does. A mended file needs nothing more.
void ExpectMends(const Bytes &file, size_t whole, const Bytes &want, const std::string &where, bool cutMending) {
    AviMemoryMendFile mend;
    for (size_t left = cutMending ? 0 : SIZE_MAX;; ++left) {
        mend.bytes = file;
        mend.writesLeft = left;
        const avi::MendOutcome outcome = mend.Mend();
        if (whole == 0) {
            EXPECT_EQ(outcome.status, avi::MendStatus::kRefused) << where << ": " << outcome.line;
            EXPECT_EQ(mend.writes, 0u) << where << ": wrote to a file it refused";
            return;
        }
        if (outcome.status != avi::MendStatus::kFailed) {
            EXPECT_EQ(outcome.steps, whole) << where << ": " << outcome.line;
            break;
        }
        avi::Movie movie;
        std::string why;
        EXPECT_TRUE(Read(mend.bytes, movie, why) && movie.steps == whole)
            << where << ", mending cut after " << left << " writes: " << why;
        mend.writesLeft = SIZE_MAX;
        mend.Mend();
        ASSERT_TRUE(mend.bytes == want) << where << ", mending cut after " << left << " writes, then mended";
    }
    ASSERT_TRUE(mend.bytes == want) << where << ": mended to " << mend.bytes.size() << " bytes other than the "
                                    << want.size() << " closed there";
    mend.writes = 0;
    EXPECT_TRUE(mend.Mend().status == avi::MendStatus::kWhole && mend.writes == 0) << where << ": mended twice";
}

// Every moment of the recording (each write done, or part of it, or a power
// cut after it) and every length the finished file can be cut to: each
// reads back every step written whole before the cut, and mends to the
// recording closed after them.
TEST(AviFile, CutAnywhereReadsAndMendsEveryStepWrittenWhole) {
    for (const Row &row : kRows) {
        Recording r;
        const avi::WriterSettings s = Settings(row.codec, row.width, row.height, row.bits, row.segmentBytes);
        Record(r, s, row.pattern);
        std::map<size_t, Recording> closed;  // of the first n steps: what mending one cut after them gives
        // The steps whose data lie in the first `bytes` bytes.
        auto wholeIn = [&](size_t bytes) {
            size_t whole = 0;
            while (whole < r.dataEnds.size() && r.dataEnds[whole] <= bytes) ++whole;
            return whole;
        };
        auto check = [&](const Bytes &file, size_t whole, const std::string &where, bool cutMending) {
            avi::Movie movie;
            std::string why;
            if (whole == 0) {
                EXPECT_FALSE(Read(file, movie, why)) << row.name << ", " << where << ": read with no step whole";
            } else {
                ASSERT_TRUE(Read(file, movie, why)) << row.name << ", " << where << ": " << why;
                EXPECT_TRUE(HoldsSteps(file, movie, r, whole)) << row.name << ", " << where;
            }
            Recording &want = closed[whole];
            if (want.sink.writes.empty()) Record(want, s, std::string(row.pattern).substr(0, whole));
            ExpectMends(file, whole, want.sink.file, std::string(row.name) + ", " + where, cutMending);
        };
        for (size_t w = 0; w < r.sink.writes.size(); ++w) {
            const size_t n = r.sink.writes[w].bytes.size();
            // A patch of a header field is one small write, which a kill
            // does not tear; an append can stop anywhere (a full disk).
            for (size_t part : {size_t{0}, size_t{1}, n / 2, n - 1}) {
                if ((part >= n && n > 0) || (part > 0 && !r.sink.writes[w].append)) continue;
                const Bytes file = r.sink.FileAfter(w, part);
                check(file, wholeIn(file.size()), "write " + std::to_string(w) + " cut after " + std::to_string(part),
                      true);
            }
            size_t intact = 0;
            const Bytes file = r.sink.FileAfterPowerCut(w + 1, intact);
            check(file, wholeIn(intact), "power cut after write " + std::to_string(w), true);
            // The headers' counts lag the steps by a second at most, and
            // never count a step a power cut can take.
            uint32_t length;
            const size_t strh = 12 + 12 + 64 + 12 + 8;
            std::memcpy(&length, &file[strh + offsetof(avi::StreamHeader, dwLength)], 4);
            EXPECT_LE(wholeIn(r.sink.FileAfter(w + 1, 0).size()) - length, s.rate) << row.name << ", after write " << w;
            EXPECT_LE(length, wholeIn(intact)) << row.name << ", power cut after write " << w;
        }
        for (size_t size = 0; size <= r.sink.file.size(); ++size)
            check(Bytes(r.sink.file.begin(), r.sink.file.begin() + static_cast<std::ptrdiff_t>(size)), wholeIn(size),
                  "finished file cut to " + std::to_string(size) + " bytes", false);
    }
}

// Refused by the reader, or read but not the writer's, or with no room for
// its index: mending leaves each as it is.
TEST(AviFile, RefusesDamageNamingIt) {
    struct Damage {
        const char *name;
        void (*damage)(Bytes &file);
        const char *why;          // the reader's; null: it reads the file
        const char *mend = nullptr;  // then why mending does not
    } rows[] = {
        {"empty", [](Bytes &f) { f.clear(); }, "too short"},
        {"a WAVE file", [](Bytes &f) { std::memcpy(&f[8], "WAVE", 4); }, "not an AVI file"},
        {"no main header", [](Bytes &f) { std::memcpy(&f[Find(f, "avih")], "xvih", 4); }, "avih) is missing"},
        {"audio first", [](Bytes &f) { std::memcpy(&f[Find(f, "strh") + 8], "auds", 4); }, "not video"},
        {"rate 0",
         [](Bytes &f) { Put<uint32_t>(f, Find(f, "strh") + 8 + offsetof(avi::StreamHeader, dwRate), 0); },
         "frame rate is 0"},
        {"width 0", [](Bytes &f) { Put<int32_t>(f, Find(f, "strf") + 8 + offsetof(bmp::InfoHeaderFields, biWidth), 0); }, "frame size 0 x 3"},
        {"H.264", [](Bytes &f) { std::memcpy(&f[Find(f, "strf") + 8 + offsetof(bmp::InfoHeaderFields, biCompression)], "H264", 4); }, "neither Motion JPEG"},
        {"8 bits, no palette", [](Bytes &f) { Put<uint16_t>(f, Find(f, "strf") + 8 + offsetof(bmp::InfoHeaderFields, biBitCount), 8); }, "palette is missing"},
        {"header list cut", [](Bytes &f) { f.resize(300); }, "ends inside its headers"},
        {"no frames", [](Bytes &f) { f.resize(Find(f, "movi") + 4); }, "holds no frames"},
        {"frames larger than the picture", [](Bytes &f) { Put<int32_t>(f, Find(f, "strf") + 8 + offsetof(bmp::InfoHeaderFields, biWidth), 5); },
         "frame 1 holds 60 bytes, not the picture's 48"},
        {"two steps a frame",
         [](Bytes &f) { Put<uint32_t>(f, Find(f, "strh") + 8 + offsetof(avi::StreamHeader, dwScale), 2); }, nullptr, "not an AVI file this recorder writes"},
        {"a closed segment not in the super index",
         [](Bytes &f) { Put<uint32_t>(f, Find(f, "indx") + 8 + offsetof(avi::SuperIndexHeader, nEntriesInUse), 0); },
         nullptr, "not an AVI file this recorder writes"},
        {"its index past the file system's largest file", [](Bytes &f) { f.pop_back(); }, nullptr,
         "past the largest file its file system takes"},
        {"another stream's chunk before the last steps being written",
         [](Bytes &f) {
             size_t at = Find(f, "movi");
             for (int chunk = 0; chunk < 4; ++chunk) at = Find(f, "00db", at + 4);
             f[at + 1] = '1';
             f.pop_back();
         },
         nullptr, "not an AVI file this recorder writes"},
        {"a closed segment of no step, in the super index",
         [](Bytes &f) {
             Put<uint32_t>(f, Find(f, "indx") + 8 + offsetof(avi::SuperIndexHeader, nEntriesInUse), 2);
             const avi::ListHeader empty[] = {{avi::kRiff, 16, avi::kAvix}, {avi::kList, 4, avi::kMovi}};
             f.insert(f.end(), reinterpret_cast<const uint8_t *>(empty), reinterpret_cast<const uint8_t *>(empty + 2));
         },
         nullptr, "not an AVI file this recorder writes"},
    };
    Recording r;
    Record(r, Settings(avi::Codec::kRaw, 6, 3, 24, avi::kDefaultSegmentBytes), "FFRFRR");
    for (const Damage &row : rows) {
        Bytes file = r.sink.file;
        row.damage(file);
        avi::Movie movie;
        std::string why;
        EXPECT_EQ(Read(file, movie, why), row.why == nullptr) << row.name;
        EXPECT_TRUE(row.why == nullptr || why.find(row.why) != std::string::npos) << row.name << ": " << why;
        // The finished file is the most the file system takes.
        AviMemoryMendFile mend{file};
        const avi::MendOutcome outcome = mend.Mend(r.sink.file.size() - 1);
        EXPECT_NE(outcome.line.find(row.why != nullptr ? row.why : row.mend), std::string::npos)
            << row.name << ": " << outcome.line;
        EXPECT_EQ(mend.writes, 0u) << row.name << ": mending wrote to it";
    }
}

TEST(AviWriter, RefusesWhatItCannotWriteAndStopsAtTheFirstFailure) {
    // What the file holds when the writer stops: nothing, its headers, or
    // as much as the disk took.
    enum Left { kNothing, kHeaders, kWithTheFrame, kAllItTook };
    struct Case {
        const char *name;
        avi::WriterSettings settings;
        size_t frameBytes;  // of the frame added after opening
        uint64_t room;      // the disk's
        bool patchFails;    // bytes already written cannot be overwritten
        const char *why;
        Left left;
    } rows[] = {
        {"width 0", Settings(avi::Codec::kRaw, 0, 3, 24, 1 << 20), 0, UINT64_MAX, false, "frame size", kNothing},
        {"16 bits", Settings(avi::Codec::kRaw, 6, 3, 16, 1 << 20), 0, UINT64_MAX, false, "24 bits", kNothing},
        {"grey Motion JPEG", Settings(avi::Codec::kMjpeg, 6, 3, 8, 1 << 20), 0, UINT64_MAX, false, "24 bits", kNothing},
        {"segment 0", Settings(avi::Codec::kRaw, 6, 3, 24, 0), 0, UINT64_MAX, false, "segment size", kNothing},
        {"raw frame short", Settings(avi::Codec::kRaw, 6, 3, 24, 1 << 20), 59, UINT64_MAX, false,
         "other than the picture", kHeaders},
        {"empty frame", Settings(avi::Codec::kMjpeg, 6, 3, 24, 1 << 20), 0, UINT64_MAX, false, "0 bytes", kHeaders},
        {"disk full in the headers", Settings(avi::Codec::kRaw, 6, 3, 24, 1 << 20), 60, 100, false, "writing the file",
         kAllItTook},
        {"disk full in a frame", Settings(avi::Codec::kRaw, 6, 3, 24, 1 << 20), 60, 1560, false, "writing the file",
         kAllItTook},
        {"headers cannot be brought up to date", Settings(avi::Codec::kRaw, 6, 3, 24, 1 << 20), 60, UINT64_MAX, true,
         "file's headers", kWithTheFrame},
    };
    rows[3].settings.segmentBytes = 0;
    for (Case &row : rows) {
        AviMemorySink sink, whole, withFrame;
        sink.room = row.room;
        sink.patchFails = row.patchFails;
        avi::Writer writer, headersOnly, oneFrame;
        const Bytes frame(row.frameBytes, 7);
        headersOnly.Open(whole.Sink(), row.settings);
        if (oneFrame.Open(withFrame.Sink(), row.settings)) oneFrame.AddFrame(frame.data(), frame.size());
        bool ok = writer.Open(sink.Sink(), row.settings);
        // The counts are brought up to date by patching the headers.
        if (ok) ok = writer.AddFrame(frame.data(), frame.size()) && writer.Refresh();
        EXPECT_FALSE(ok) << row.name;
        const size_t left = row.left == kNothing        ? 0
                            : row.left == kHeaders      ? whole.file.size()
                            : row.left == kWithTheFrame ? withFrame.file.size()
                                                        : static_cast<size_t>(row.room);
        EXPECT_EQ(sink.file.size(), left) << row.name << ": failed in another place";
        ASSERT_NE(writer.Error(), nullptr) << row.name;
        EXPECT_NE(std::string(writer.Error()).find(row.why), std::string::npos) << row.name << ": " << writer.Error();
        const size_t writes = sink.writes.size();
        EXPECT_FALSE(writer.AddRepeat() || writer.Close()) << row.name << ": went on after failing";
        EXPECT_EQ(sink.writes.size(), writes) << row.name << ": wrote after failing";
    }
    // The super index full: the file then stays as it is, and plays.
    Recording r;
    avi::WriterSettings s = Settings(avi::Codec::kRaw, 6, 3, 24, 1);
    s.superIndexEntries = 3;
    ASSERT_TRUE(r.writer.Open(r.sink.Sink(), s));
    const Bytes frame = FrameBytes(s, 0);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(r.writer.AddFrame(frame.data(), frame.size())) << "frame " << i;
    EXPECT_FALSE(r.writer.AddFrame(frame.data(), frame.size()));
    EXPECT_NE(std::string(r.writer.Error()).find("super index has room"), std::string::npos) << r.writer.Error();
    avi::Movie movie;
    std::string why;
    EXPECT_TRUE(Read(r.sink.file, movie, why)) << why;
    EXPECT_EQ(movie.steps, 3u);
}

}  // namespace
