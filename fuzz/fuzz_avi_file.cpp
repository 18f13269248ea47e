// The virtual card's AVI reader on any bytes, and with the recorder's writer.
// First byte even: the rest is a file; whatever it reads lies inside it,
// and every frame of an uncompressed file is a whole picture. First byte
// odd: the rest chooses a recording, which must read back exactly, and,
// cut at a place the input chooses, give exactly the steps written whole
// before the cut, and mended, those steps again; with one byte changed it
// may be refused but never read outside the file, and what mending makes
// of it reads and needs no more mending. A file read is also drawn as the
// virtual card shows it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "avi_memory_sink.h"
#include "fuzz_checks.h"
#include "avi_writer.h"
#include "avi_reader.h"
#include "core/movie_frames.h"

namespace {

using fuzzcheck::Expect;

bool Read(const uint8_t *bytes, size_t size, avi::Movie &movie) {
    avi::MemoryFile memory{bytes, size};
    char why[200];
    const bool read = avi::ReadMovie(avi::ReadMemory, &memory, size, movie, why, sizeof why);
    Expect(read || (why[0] != '\0' && std::memchr(why, '\0', sizeof why) != nullptr), "refused without a reason");
    return read;
}

void CheckInside(const avi::Movie &movie, size_t size) {
    Expect(!movie.frames.empty(), "read a file of no frames");
    for (const avi::Frame &f : movie.frames) {
        Expect(f.offset <= size && f.size <= size - f.offset, "a frame outside the file");
        Expect(f.size == 0 || movie.codec != avi::Codec::kRaw || f.size == movie.frameBytes,
               "an uncompressed frame of other than the picture's bytes");
    }
    Expect(movie.rate != 0 && movie.scale != 0, "a frame rate of 0");
}

// The first steps drawn as the virtual card draws them, and its step at a
// card frame early and very late.
void Draw(const avi::Movie &movie, const uint8_t *file) {
    if (!vcard::CheckMovieFrames(movie, nullptr, 0)) return;
    static vcard::Picture picture;
    std::vector<uint8_t> scratch;
    for (size_t step = 0; step < movie.frames.size() && step < 4; ++step) {
        const int64_t shown = avi::ShownFrame(movie, step);
        if (shown < 0 || movie.codec != avi::Codec::kRaw) continue;
        const avi::Frame &f = movie.frames[static_cast<size_t>(shown)];
        Expect(vcard::DrawRawFrame(movie, file + f.offset, f.size, picture, scratch), "a raw frame not drawn");
    }
    for (int64_t frame : {int64_t{0}, int64_t{1} << 40, INT64_MAX})
        Expect(vcard::StepAtCardFrame(movie, frame) >= 0, "a step before the first");
}

// Reads bytes of the input in turn, zeros past its end.
struct Input {
    const uint8_t *data;
    size_t size, at = 0;
    uint32_t Next() { return at < size ? data[at++] : 0; }
};

void WriteAndRead(Input in) {
    avi::WriterSettings s;
    const uint32_t kind = in.Next();
    s.codec = (kind & 1) != 0 ? avi::Codec::kRaw : avi::Codec::kMjpeg;
    s.bits = s.codec == avi::Codec::kRaw && (kind & 2) != 0 ? 8 : 24;
    s.width = static_cast<int32_t>(1 + in.Next() % 9);
    s.height = static_cast<int32_t>(1 + in.Next() % 5);
    s.rate = 1 + in.Next() % 30;
    s.segmentBytes = 1 + in.Next() * 16;
    s.superIndexEntries = 1 + in.Next() % 40;
    AviMemorySink sink;
    avi::Writer writer;
    Expect(writer.Open(sink.Sink(), s), "refused sound settings");
    std::vector<std::vector<uint8_t>> steps;
    std::vector<uint64_t> dataEnds;
    const uint32_t count = in.Next() % 64;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t choice = in.Next();
        std::vector<uint8_t> frame;
        if (choice % 4 != 0) {
            frame.resize(s.codec == avi::Codec::kRaw ? avi::DibBytes(s.width, s.height, s.bits) : 1 + choice % 61);
            for (size_t b = 0; b < frame.size(); ++b) frame[b] = static_cast<uint8_t>(choice + b);
        }
        const bool added = frame.empty() ? writer.AddRepeat() : writer.AddFrame(frame.data(), frame.size());
        if (!added) {  // only when the super index is full
            Expect(writer.Segments() == s.superIndexEntries, writer.Error());
            break;
        }
        dataEnds.push_back(sink.file.size() - (frame.size() & 1));
        steps.push_back(frame);
    }
    if (writer.Error() == nullptr) Expect(writer.Close(), writer.Error());

    const std::vector<uint8_t> &file = sink.file;
    const size_t cut = (in.Next() << 8 | in.Next()) % (file.size() + 1);
    for (size_t size : {file.size(), cut}) {
        size_t whole = 0;
        while (whole < dataEnds.size() && dataEnds[whole] <= size) ++whole;
        avi::Movie movie;
        const bool read = Read(file.data(), size, movie);
        Expect(read == (whole > 0), read ? "read a file with no step whole" : "refused a file with steps whole");
        if (!read) continue;
        Expect(movie.frames.size() == whole, "other than the steps written whole");
        for (size_t i = 0; i < whole; ++i) {
            const avi::Frame &f = movie.frames[i];
            Expect(f.size == steps[i].size() && (f.size == 0 || std::memcmp(&file[f.offset], steps[i].data(), f.size) == 0),
                   "a step read back other than written");
        }
        AviMemoryMendFile mend{std::vector<uint8_t>(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size))};
        Expect(mend.Mend().steps == whole && Read(mend.bytes.data(), mend.bytes.size(), movie) &&
                   movie.frames.size() == whole && mend.Mend().status == avi::MendStatus::kWhole,
               "mended to other than the steps written whole");
    }
    // One byte changed.
    if (!file.empty()) {
        std::vector<uint8_t> damaged = file;
        damaged[cut % damaged.size()] ^= static_cast<uint8_t>(1 + in.Next());
        avi::Movie movie;
        if (Read(damaged.data(), damaged.size(), movie)) CheckInside(movie, damaged.size());
        AviMemoryMendFile mend{damaged};
        if (mend.Mend().status == avi::MendStatus::kMended)
            Expect(Read(mend.bytes.data(), mend.bytes.size(), movie) && mend.Mend().status == avi::MendStatus::kWhole,
                   "a mended file that does not read, or needs mending again");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    if ((data[0] & 1) == 0) {
        // A copy of exactly its size, so that a read past it is seen.
        std::vector<uint8_t> file(data + 1, data + size);
        avi::Movie movie;
        if (Read(file.data(), file.size(), movie)) {
            CheckInside(movie, file.size());
            Draw(movie, file.data());
        }
    } else {
        WriteAndRead(Input{data + 1, size - 1});
    }
    return 0;
}
