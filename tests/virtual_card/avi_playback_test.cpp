// The virtual card playing AVI recordings through VcPlayFile: time steps at
// the file's own rate with their repeats, ffmpeg's files at rates of other
// scales, a frame that cannot be decoded, damaged files refused with one
// line, damaged indexes passed over, cut files played to their last whole
// frame. That a raw recording comes back byte for byte is
// tests/sdk/replay_avi_test.sh's part.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "card_library.h"
#include "avi_reader.h"
#include "avi_writer.h"
#include "avi_index_damage.h"
#include "avi_memory_sink.h"
#include "jpeg_encoder.h"
#include "recording_parts.h"
#include "test_support.h"
#include "vcard_control.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kWidth = 8, kHeight = 6;  // frames fitted into 768 x 576 fill it
constexpr int kRepeat = -1;             // a step with no data
constexpr int kBroken = -2;             // a Motion JPEG frame of bytes no decoder takes
constexpr int kNextPart = -3;           // the steps after it go to the recording's next file
constexpr int kOutWidth = 96, kOutHeight = 72;

// A flat frame of grey level `level`, as the recorder stores its pictures.
Bytes FlatDib(int level, uint16_t bits) {
    const uint64_t bytes = avi::DibBytes(kWidth, kHeight, bits);
    return Bytes(static_cast<size_t>(bytes), static_cast<uint8_t>(level));
}

// A recording whose steps show these grey levels (kRepeat: none).
Bytes Recording(avi::Codec codec, uint16_t bits, uint32_t rate, const std::vector<int> &steps) {
    AviMemorySink sink;
    avi::WriterSettings settings;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.bits = bits;
    settings.codec = codec;
    settings.rate = rate;
    avi::Writer writer;
    EXPECT_TRUE(writer.Open(sink.Sink(), settings));
    cli::JpegEncoder encoder;
    for (int level : steps) {
        if (level == kRepeat) {
            EXPECT_TRUE(writer.AddRepeat());
            continue;
        }
        Bytes frame = level == kBroken ? Bytes(40, 'x') : FlatDib(level, bits);
        if (codec == avi::Codec::kMjpeg && level != kBroken) {
            Bytes jpeg;
            EXPECT_TRUE(encoder.Encode(frame.data(), kWidth, kHeight, kWidth * 3, 24, 90, jpeg));
            frame = jpeg;
        }
        EXPECT_TRUE(writer.AddFrame(frame.data(), frame.size()));
    }
    EXPECT_TRUE(writer.Close());
    return sink.file;
}

std::string Play(const std::string &path) {
    char reason[512] = "untouched";
    return VcPlayFile(path.c_str(), reason, sizeof reason) == 1 ? std::string() : std::string(reason);
}

// The grey level in the middle of each of `frames` card frames, one frame
// (two status changes) apart.
std::vector<int> Levels(int frames) {
    std::vector<int> seen;
    for (int n = 0; n < frames; ++n) {
        const int h = BeginCG400(card::kCardNumber);
        CG400SetDispWindow(h, 0, 0, kOutWidth, kOutHeight);
        Bytes frame(kOutWidth * kOutHeight * 3, 0xEE);
        CG400ReadFromMem(h, VC_READ_SOURCE, VC_MEM_PAGES * card::kMemPageBytes, 0, frame.data(), 1);
        seen.push_back(frame[(kOutHeight / 2 * kOutWidth + kOutWidth / 2) * 3 + 1]);
        for (uint32_t status = 0, i = 0; i < 2; ++i) CG400GetSnappingStatus(h, &status);
    }
    return seen;
}

std::string Text(const std::vector<int> &levels) {
    std::string text;
    for (int level : levels) text += (text.empty() ? "" : " ") + std::to_string(level);
    return text;
}

class AviPlaybackTest : public ::testing::Test {
protected:
    void SetUp() override { VcReset(); }
    void TearDown() override { VcReset(); }

    std::string Write(const std::string &name, const Bytes &bytes) {
        const std::string path = folder_ + "\\" + name;
        vt::WriteBytes(path, bytes);
        return path;
    }

    const std::string folder_ = vt::NewTempFolder("avi");
};

TEST_F(AviPlaybackTest, StepsPlayInOrderAtTheFileRateWithRepeats) {
    // Card frame n shows step n x rate / 25 (dwRate / dwScale steps a
    // second); a repeat shows the step before again, black before any, and
    // so does a frame that cannot be decoded; the steps loop, and a
    // recording in parts plays them in turn. ffmpeg's files
    // (ffmpeg_movies.sh) hold 10 steps, step n flat grey 20 (n + 1).
    struct Row {
        const char *name;
        avi::Codec codec;
        uint16_t bits;
        uint32_t rate;
        std::vector<int> steps;
        std::vector<int> shown;
        int tolerance;
        const char *ffmpegFile = nullptr;  // a file ffmpeg made, in place of `steps`
    } rows[] = {
        {"raw at 25", avi::Codec::kRaw, 24, 25, {kRepeat, 40, 80, kRepeat, 120}, {0, 40, 80, 80, 120, 0, 40}, 0},
        {"raw at 50", avi::Codec::kRaw, 24, 50, {40, 80, 120, 160}, {40, 120, 40, 120}, 0},
        {"raw at 10", avi::Codec::kRaw, 24, 10, {40, 80, 120}, {40, 40, 40, 80, 80, 120, 120, 120, 40}, 0},
        {"grey at 25", avi::Codec::kRaw, 8, 25, {30, kRepeat, 200}, {30, 30, 200, 30}, 0},
        {"Motion JPEG at 25", avi::Codec::kMjpeg, 24, 25, {kRepeat, 60, kRepeat, 180}, {0, 60, 60, 180, 0}, 2},
        {"Motion JPEG at 50, a frame that cannot be decoded", avi::Codec::kMjpeg, 24, 50,
         {40, 80, kBroken, kRepeat, 160}, {40, 80, 160, 80, 80}, 2},
        {"three parts", avi::Codec::kRaw, 24, 25, {40, 80, kNextPart, 120, kRepeat, kNextPart, 160},
         {40, 80, 120, 120, 160, 40}, 0},
        {"ffmpeg at 12.5 (25 / 2)", {}, 0, 0, {}, {20, 20, 40, 40, 60, 60, 80}, 2, "ffmpeg-12.5.avi"},
        {"ffmpeg at 30000 / 1001", {}, 0, 0, {}, {20, 40, 60, 80, 100, 120, 160, 180, 200, 20}, 2,
         "ffmpeg-30000-1001.avi"},
    };
    for (const Row &row : rows) {
        VcReset();
        std::string path = row.ffmpegFile ? vt::BesideProgram(row.ffmpegFile) : "";
        int number = 0;
        for (auto begin = row.steps.begin(); !row.ffmpegFile;) {
            const auto end = std::find(begin, row.steps.end(), kNextPart);
            const std::string part = Write(parts::PartPath(std::string(row.name) + ".avi", ++number),
                                           Recording(row.codec, row.bits, row.rate, {begin, end}));
            if (number == 1) path = part;
            if (end == row.steps.end()) break;
            begin = end + 1;
        }
        ASSERT_EQ(Play(path), "") << row.name;
        VcSetStatusMode(VC_STATUS_EVERY_POLL);
        const std::vector<int> seen = Levels(static_cast<int>(row.shown.size()));
        bool matches = true;
        for (size_t i = 0; i < seen.size(); ++i) matches = matches && std::abs(seen[i] - row.shown[i]) <= row.tolerance;
        EXPECT_TRUE(matches) << row.name << ": shown " << Text(seen) << ", expected " << Text(row.shown);
    }
}

TEST_F(AviPlaybackTest, DamagedFileIsRefusedWithOneLineAndTheSceneStays) {
    const Bytes good = Recording(avi::Codec::kRaw, 24, 25, {90});
    auto edited = [&good](size_t at, Bytes with) {
        Bytes bytes = good;
        std::copy(with.begin(), with.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
        return bytes;
    };
    // strf's biCompression and biBitCount, found rather than assumed.
    const std::string strf(reinterpret_cast<const char *>(good.data()), good.size());
    const size_t format = strf.find("strf") + 8;
    struct Row {
        const char *name;
        Bytes bytes;
        const char *problem;
    } rows[] = {
        {"text", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!', '!', '!'}, "not"},
        {"headers cut", Bytes(good.begin(), good.begin() + 100), "ends"},
        {"16-bit frames", edited(format + 14, {16, 0}), "neither Motion JPEG nor uncompressed"},
        {"no frame rate", edited(strf.find("strh") + 8 + 20, {0, 0, 0, 0, 0, 0, 0, 0}), "frame rate is 0"},
    };
    const std::string shown = Write("shown.avi", good);
    ASSERT_EQ(Play(shown), "");
    VcSetStatusMode(VC_STATUS_EVERY_POLL);
    for (const Row &row : rows) {
        const std::string path = Write(std::string(row.name) + ".avi", row.bytes);
        const std::string reason = Play(path);
        EXPECT_EQ(reason.rfind(path + ": ", 0), 0u) << row.name << ": " << reason;
        EXPECT_NE(reason.find(row.problem), std::string::npos) << row.name << ": " << reason;
        EXPECT_EQ(reason.find('\n'), std::string::npos) << row.name << ": " << reason;
        EXPECT_EQ(Text(Levels(1)), "90") << row.name << ": the scene changed";
    }
    EXPECT_NE(Play(folder_ + "\\missing.avi").find("cannot be opened"), std::string::npos);
    char small[8] = "x";
    EXPECT_EQ(VcPlayFile(nullptr, small, sizeof small), 0);
    EXPECT_EQ(std::string(small), "no file");
}

TEST_F(AviPlaybackTest, FileWithOneDamagedIndexPlaysEveryStep) {
    const Bytes good = Recording(avi::Codec::kRaw, 24, 25, {40, kRepeat, 80, 120});
    for (const avi_edit::IndexDamage &row : avi_edit::kIndexDamage) {
        VcReset();
        Bytes bytes = good;
        row.damage(bytes);
        EXPECT_NE(bytes, good) << row.name << ": nothing damaged";
        ASSERT_EQ(Play(Write("damaged.avi", bytes)), "") << row.name;
        VcSetStatusMode(VC_STATUS_EVERY_POLL);
        EXPECT_EQ(Text(Levels(5)), "40 40 80 120 40") << row.name;
    }
}

TEST_F(AviPlaybackTest, CutFilePlaysToItsLastWholeFrame) {
    const Bytes whole = Recording(avi::Codec::kRaw, 24, 25, {20, 40, 60, 80, 100});
    avi::Movie movie;
    avi::MemoryFile memory{whole.data(), whole.size()};
    char why[256] = "";
    ASSERT_TRUE(avi::ReadMovie(avi::ReadMemory, &memory, whole.size(), movie, why, sizeof why)) << why;
    ASSERT_EQ(movie.frames.size(), 5u);
    // Cut inside the fourth frame's pixels, and just after the third's.
    struct Row {
        const char *name;
        uint64_t cut;
        std::vector<int> shown;
    } rows[] = {
        {"inside frame 4", movie.frames[3].offset + 7, {20, 40, 60, 20, 40}},
        {"after frame 3", movie.frames[2].offset + movie.frames[2].size, {20, 40, 60, 20}},
    };
    for (const Row &row : rows) {
        VcReset();
        const std::string path = Write(std::string(row.name) + ".avi",
                                       Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(row.cut)));
        ASSERT_EQ(Play(path), "") << row.name;
        VcSetStatusMode(VC_STATUS_EVERY_POLL);
        EXPECT_EQ(Text(Levels(static_cast<int>(row.shown.size()))), Text(row.shown)) << row.name;
    }
}

}  // namespace
