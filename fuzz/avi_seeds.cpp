// Writes the AVI reader's seeds into OUT: files the recorder's writer makes
// (a 0 byte before each, the target's mark for a file), whole, cut, and
// with each damage to their indexes of the tests' table, and recordings
// for the target to choose (a 1 byte before each choice).
//   avi_seeds OUT
#include <cstdio>
#include <string>
#include <vector>

#include "avi_index_damage.h"
#include "avi_memory_sink.h"
#include "avi_writer.h"

namespace {

void Save(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::perror(path.c_str());
    if (f != nullptr) std::fclose(f);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) return 2;
    const std::string out = argv[1];
    struct Seed {
        avi::Codec codec;
        uint16_t bits;
        uint64_t segmentBytes;
        const char *pattern;
    } seeds[] = {
        {avi::Codec::kRaw, 24, avi::kDefaultSegmentBytes, "FFRF"},
        {avi::Codec::kRaw, 8, avi::kDefaultSegmentBytes, "FRRF"},
        {avi::Codec::kMjpeg, 24, avi::kDefaultSegmentBytes, "FFFRFF"},
        {avi::Codec::kMjpeg, 24, 300, "FFRFFFFFRRFFFFFF"},
    };
    int n = 0;
    for (const Seed &seed : seeds) {
        avi::WriterSettings s;
        s.codec = seed.codec;
        s.bits = seed.bits;
        s.width = 5;
        s.height = 3;
        s.rate = 2;
        s.segmentBytes = seed.segmentBytes;
        s.superIndexEntries = 8;
        AviMemorySink sink;
        avi::Writer writer;
        bool ok = writer.Open(sink.Sink(), s);
        const std::vector<uint8_t> frame(s.codec == avi::Codec::kRaw ? avi::DibBytes(5, 3, s.bits) : 23, 0x5A);
        for (const char *p = seed.pattern; ok && *p != '\0'; ++p)
            ok = *p == 'R' ? writer.AddRepeat() : writer.AddFrame(frame.data(), frame.size());
        if (!ok || !writer.Close()) {
            std::fprintf(stderr, "avi_seeds: %s\n", writer.Error());
            return 1;
        }
        std::vector<uint8_t> file(1, 0);
        file.insert(file.end(), sink.file.begin(), sink.file.end());
        Save(out + "/file" + std::to_string(n), file);
        for (const avi_edit::IndexDamage &damage : avi_edit::kIndexDamage) {
            std::vector<uint8_t> damaged = sink.file;
            damage.damage(damaged);
            damaged.insert(damaged.begin(), 0);
            Save(out + "/damaged" + std::to_string(n) + "-" + std::to_string(&damage - avi_edit::kIndexDamage),
                 damaged);
        }
        // The same recording killed in its last frame.
        file.resize(file.size() - 40);
        Save(out + "/cut" + std::to_string(n), file);
        ++n;
    }
    const std::vector<std::vector<uint8_t>> choices = {
        {1, 1, 5, 3, 24, 255, 8, 12, 1, 2, 0, 3, 4, 5, 8, 7, 0, 0, 1, 200},
        {1, 0, 8, 4, 1, 20, 30, 40, 1, 2, 0, 3, 4, 5, 8, 7, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 44},
        {1, 3, 2, 2, 5, 1, 2, 6, 0, 1, 1, 1, 0, 1, 7, 7},
    };
    for (size_t i = 0; i < choices.size(); ++i) Save(out + "/recording" + std::to_string(i), choices[i]);
    return 0;
}
