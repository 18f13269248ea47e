// Writes an AVI file with the recorder's writer for the ffmpeg checks:
// numbered frames (raw), or the given JPEG files in turn (Motion JPEG), a
// repeat for each R of the pattern, the file cut after CUT bytes when CUT is
// not 0, as a kill or a full disk leaves it. Prints the steps written whole.
// Or mends FILE in place as vorlane-cli mend does, and prints how it went;
// status 1 when it did not mend it.
//   avi_sample OUT raw|mjpg WIDTH HEIGHT BITS RATE PATTERN SEGMENT CUT [JPEG...]
//   avi_sample mend FILE
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "avi_mend.h"
#include "avi_writer.h"

namespace {

struct CutFile {
    std::FILE *file;
    uint64_t budget;  // bytes it may still grow by; UINT64_MAX: no cut
    uint64_t size;
};

bool Write(void *context, const void *bytes, size_t size) {
    CutFile &f = *static_cast<CutFile *>(context);
    const size_t room = f.budget < size ? static_cast<size_t>(f.budget) : size;
    if (std::fseek(f.file, 0, SEEK_END) != 0 || std::fwrite(bytes, 1, room, f.file) != room) return false;
    f.budget -= room;
    f.size += room;
    return room == size;
}

bool WriteAt(void *context, uint64_t offset, const void *bytes, size_t size) {
    CutFile &f = *static_cast<CutFile *>(context);
    if (f.budget == 0) return false;  // killed
    return std::fseek(f.file, static_cast<long>(offset), SEEK_SET) == 0 && std::fwrite(bytes, 1, size, f.file) == size;
}

std::FILE *Of(void *file) { return static_cast<std::FILE *>(file); }

bool ReadAt(void *file, uint64_t offset, uint8_t *into, size_t size) {
    return fseeko(Of(file), static_cast<off_t>(offset), SEEK_SET) == 0 && std::fread(into, 1, size, Of(file)) == size;
}

bool MendWriteAt(void *file, uint64_t offset, const void *bytes, size_t size) {
    return fseeko(Of(file), static_cast<off_t>(offset), SEEK_SET) == 0 && std::fwrite(bytes, 1, size, Of(file)) == size;
}

bool SetSize(void *file, uint64_t size) {
    return std::fflush(Of(file)) == 0 && ftruncate(fileno(Of(file)), static_cast<off_t>(size)) == 0;
}

bool Flush(void *file) { return std::fflush(Of(file)) == 0; }

int Mend(const char *path) {
    std::FILE *file = std::fopen(path, "rb+");
    if (file == nullptr || fseeko(file, 0, SEEK_END) != 0) return 1;
    const avi::MendOutcome outcome =
        avi::MendFile(avi::MendIo{file, ReadAt, MendWriteAt, SetSize, Flush}, static_cast<uint64_t>(ftello(file)), UINT64_MAX);
    std::fclose(file);
    const bool mended = outcome.status == avi::MendStatus::kMended;
    std::fprintf(mended ? stdout : stderr, "%s\n", outcome.line.c_str());
    return mended ? 0 : 1;
}

}  // namespace

// Byte i of raw frame n, which the check computes again.
static uint8_t Pixel(uint64_t n, uint64_t i) { return static_cast<uint8_t>((n * 31 + i * 7 + i / 97) & 0xFF); }

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "mend") == 0) return Mend(argv[2]);
    if (argc < 10) {
        std::fprintf(stderr, "usage: avi_sample OUT raw|mjpg WIDTH HEIGHT BITS RATE PATTERN SEGMENT CUT [JPEG...]\n");
        return 2;
    }
    avi::WriterSettings settings;
    settings.codec = std::strcmp(argv[2], "raw") == 0 ? avi::Codec::kRaw : avi::Codec::kMjpeg;
    settings.width = std::atoi(argv[3]);
    settings.height = std::atoi(argv[4]);
    settings.bits = static_cast<uint16_t>(std::atoi(argv[5]));
    settings.rate = static_cast<uint32_t>(std::atoi(argv[6]));
    const std::string pattern = argv[7];
    settings.segmentBytes = std::strtoull(argv[8], nullptr, 10);
    const uint64_t cut = std::strtoull(argv[9], nullptr, 10);
    std::vector<std::vector<uint8_t>> jpegs;
    for (int i = 10; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        jpegs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    CutFile out{std::fopen(argv[1], "wb+"), cut == 0 ? UINT64_MAX : cut, 0};
    if (out.file == nullptr) return 1;
    avi::Writer writer;
    const avi::WriterSink sink{&out, Write, WriteAt, nullptr};
    uint64_t whole = 0, frames = 0;
    bool ok = writer.Open(sink, settings);
    const uint64_t frameBytes = avi::DibBytes(settings.width, settings.height, settings.bits);
    std::vector<uint8_t> raw(frameBytes);
    for (size_t step = 0; ok && step < pattern.size(); ++step) {
        if (pattern[step] == 'R') {
            ok = writer.AddRepeat();
        } else if (settings.codec == avi::Codec::kRaw) {
            for (uint64_t i = 0; i < frameBytes; ++i) raw[i] = Pixel(frames, i);
            ok = writer.AddFrame(raw.data(), raw.size());
            ++frames;
        } else {
            const std::vector<uint8_t> &jpeg = jpegs[frames++ % jpegs.size()];
            ok = writer.AddFrame(jpeg.data(), jpeg.size());
        }
        if (ok) ++whole;
    }
    if (ok) ok = writer.Close();
    std::fclose(out.file);
    std::printf("%llu %u\n", static_cast<unsigned long long>(whole), writer.Segments());
    if (!ok && cut == 0) {
        std::fprintf(stderr, "avi_sample: %s\n", writer.Error());
        return 1;
    }
    return 0;
}
