// vorlane-cli's recorder: which pictures --rate keeps, the files and their
// order, time kept by the clock, a disk that fills up or falls behind, the
// checks on the folder or file before a recording starts, the card's
// stalls; and record itself on a virtual card that is made to fail.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "avi_file_store.h"
#include "bmp_headers.h"
#include "card_frames.h"
#include "color_modes.h"
#include "commands.h"
#include "record_rate.h"
#include "recorder.h"
#include "recording_claims.h"
#include "recording_report.h"
#include "test_support.h"
#include "vcard_control.h"
#include "watch_loop.h"
#include "win32_guards.h"

namespace {

std::vector<double> Steady(double step, int count, double jitter = 0) {
    std::vector<double> times;
    for (int i = 0; i < count; ++i) times.push_back(i * step + (i % 2 ? jitter : -jitter));
    return times;
}

// A picture of 24-bit pixels whose every byte tells `number` and its place.
std::vector<BYTE> Picture(int number, size_t pixels) {
    std::vector<BYTE> bgr(pixels * 3);
    for (size_t i = 0; i < bgr.size(); ++i) bgr[i] = static_cast<BYTE>(number * 31 + i * 7);
    return bgr;
}

constexpr int32_t kWidth = 12, kHeight = 16;
constexpr size_t kPixels = kWidth * kHeight;

}  // namespace

TEST(RateBudget, KeepsAtMostTheRateAndLosesNothingToJitter) {
    // Steps are powers of two, so that the sums come out exact.
    struct Row {
        const char *name;
        double rate;
        std::vector<double> times;
        int kept;
    } rows[] = {
        {"source at the rate", 16, Steady(1.0 / 16, 48), 48},
        {"source at the rate, arriving early and late", 16, Steady(1.0 / 16, 48, 1.0 / 64), 48},
        {"source slower than the rate", 16, Steady(1.0 / 8, 20), 20},
        {"source twice the rate: every other one after a first two", 16, Steady(1.0 / 32, 64), 33},
        {"burst after a stall keeps two", 16, {0, 10, 10.001, 10.002, 10.003}, 3},
        {"one a second", 1, Steady(1.0 / 32, 96), 4},
    };
    for (const Row &row : rows) {
        recording::RateBudget budget;
        int kept = 0;
        for (double time : row.times) kept += recording::KeepPicture(budget, row.rate, time);
        EXPECT_EQ(kept, row.kept) << row.name;
    }
}

// Polled every quarter of a second, a frame ('|') at some of the polls.
TEST(CardFrames, AGapOfTwoSecondsIsAStallNamedOnceAndCountedWhole) {
    struct Row {
        const char *name, *polls;
        int named;
        double stalled;
    } rows[] = {
        {"gaps just short of a stall", "|......|......|", 0, 0},
        {"a stall and back, then one under way", "|..........|.........", 2, 5},
    };
    for (const Row &row : rows) {
        recording::FrameGaps gaps;
        int named = 0;
        double now = 0;
        for (const char *poll = row.polls; *poll; ++poll, now += 0.25) {
            named += recording::StallBegins(gaps, now);
            if (*poll == '|') recording::FrameCame(gaps, now);
        }
        EXPECT_EQ(named, row.named) << row.name;
        EXPECT_EQ(recording::StalledSeconds(gaps, now - 0.25), row.stalled) << row.name;
    }
}

// A disk that takes the first three files and is full at the fourth, which
// it leaves cut short.
DWORD FullAfterThree(const char *path, const BYTE *bgr, int32_t width, int32_t height) {
    static int written;
    if (std::string(path).find(recording::PictureFileName(1)) != std::string::npos) written = 0;
    if (++written > 3) {
        vt::WriteBytes(path, {'B', 'M'});
        return ERROR_DISK_FULL;
    }
    return recording::WriteBmpPicture(path, bgr, width, height);
}

TEST(Recorder, StopsAtAFullDiskAndKeepsWhatWasWritten) {
    const std::string folder = vt::NewTempFolder("recorder-full");
    ASSERT_EQ(recording::PrepareFolder(folder), "");
    recording::Recorder recorder(folder, kWidth, kHeight, 1000, FullAfterThree);
    ASSERT_TRUE(recorder.Start());
    for (int n = 1; n <= 5; ++n) recorder.Offer(Picture(n, kPixels).data(), n * 0.04);
    ASSERT_TRUE(vt::WaitUntil([&] { return recorder.Stopped(); }));
    recorder.Offer(Picture(6, kPixels).data(), 0.24);
    recording::WriteFailure failure;
    const recording::Counts counts = recorder.Finish(failure);
    EXPECT_EQ(counts.kept, 3);
    EXPECT_EQ(counts.seen, 6);
    EXPECT_EQ(counts.notWritten, 3) << "the one cut short, the one queued, the one offered after";
    EXPECT_EQ(failure.error, static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(failure.path, folder + "\\" + recording::PictureFileName(4));
    // The three written are whole 24-bit files, in the order offered.
    for (int n = 1; n <= 5; ++n) {
        const std::string name = recording::PictureFileName(n);
        const std::vector<uint8_t> file = vt::ReadFileBytes(folder + "\\" + name);
        if (n > 3) {
            EXPECT_FALSE(vt::FileExists(folder + "\\" + name)) << name;
            EXPECT_FALSE(vt::FileExists(folder + "\\" + name + recording::kPartialSuffix)) << name;
            continue;
        }
        ASSERT_EQ(file.size(), bmp::kHeadersBytes + bmp::Bgr24Bytes(kWidth, kHeight)) << name;
        EXPECT_EQ(vt::ReadBmpHeaders(file).info.biBitCount, 24) << name;
        const std::vector<BYTE> bgr = Picture(n, kPixels);
        for (size_t i = 0; i < kPixels * 3; ++i)
            ASSERT_EQ(file[bmp::kHeadersBytes + i], bgr[i]) << name << ", byte " << i;
    }
}

// Names in the folder that a player takes for pictures.
std::vector<std::string> BmpNames(const std::string &folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE first = FindFirstFileA((folder + "\\*").c_str(), &found);
    const guards::UniqueFind search(first == INVALID_HANDLE_VALUE ? nullptr : first);
    for (bool more = search.valid(); more; more = FindNextFileA(search.get(), &found)) {
        const std::string name = found.cFileName;
        if (name.size() > 4 && _stricmp(name.c_str() + name.size() - 4, ".bmp") == 0) names.push_back(name);
    }
    return names;
}

// A disk that has written the first bytes of a picture and then waits.
HANDLE g_diskGoesOn, g_diskWriting;
DWORD SlowDisk(const char *path, const BYTE *bgr, int32_t width, int32_t height) {
    vt::WriteBytes(path, {'B', 'M'});
    SetEvent(g_diskWriting);
    WaitForSingleObject(g_diskGoesOn, INFINITE);
    return recording::WriteBmpPicture(path, bgr, width, height);
}

TEST(Recorder, DropsAndCountsPicturesWhileTheDiskIsBehindWithoutWaiting) {
    const std::string folder = vt::NewTempFolder("recorder-slow");
    ASSERT_EQ(recording::PrepareFolder(folder), "");
    g_diskGoesOn = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_diskWriting = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    constexpr double kRate = 4;
    const int capacity = recording::QueueCapacity(kRate);
    recording::Recorder recorder(folder, kWidth, kHeight, kRate, SlowDisk);
    ASSERT_TRUE(recorder.Start());
    // Spaced at the rate: none is left out by it, so every drop is the disk's.
    for (int n = 0; n < capacity + 5; ++n) recorder.Offer(Picture(n, kPixels).data(), n / kRate);
    // A recording cut off now leaves no picture that a player would refuse.
    ASSERT_EQ(WaitForSingleObject(g_diskWriting, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(BmpNames(folder), std::vector<std::string>{}) << "a picture is named before it is whole";
    SetEvent(g_diskGoesOn);
    recording::WriteFailure failure;
    const recording::Counts counts = recorder.Finish(failure);
    CloseHandle(g_diskGoesOn);
    CloseHandle(g_diskWriting);
    EXPECT_EQ(counts.overRate, 0);
    EXPECT_EQ(counts.diskBehind, 5);
    EXPECT_EQ(counts.kept, capacity);
    EXPECT_EQ(BmpNames(folder).size(), static_cast<size_t>(capacity));
    EXPECT_EQ(failure.error, 0u);
}

// A reader (a virus scanner, say) that holds each just-written picture for
// `g_heldTries` renames, or for good when it is negative.
int g_heldTries, g_renames;
BOOL WINAPI HeldRename(const char *from, const char *to) {
    if (g_heldTries < 0 || g_renames++ % (g_heldTries + 1) < g_heldTries) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    return MoveFileA(from, to);
}

TEST(Recorder, WaitsForAReaderThatHoldsAPictureAndStopsWhenItNeverLetsGoOrTheFolderIsFull) {
    struct Row {
        const char *name;
        int heldTries;
        int kept;
        DWORD error;
        int64_t mostPictures = 0;  // in one folder, as FAT32's 65,000 files: 0 for no limit
        const char *reason = "";
    } rows[] = {
        {"held for three tries", 3, 4, 0},
        {"held for good", -1, 0, ERROR_SHARING_VIOLATION},
        {"not held, in a folder that takes two", 0, 2, 0, 2, "the folder takes no more files"},
    };
    for (const Row &row : rows) {
        g_heldTries = row.heldTries;
        g_renames = 0;
        const std::string folder = vt::NewTempFolder("recorder-held");
        ASSERT_EQ(recording::PrepareFolder(folder), "") << row.name;
        const recording::FrameFormat format{kWidth, kHeight, colormode::kRgb24};
        recording::Recorder recorder(
            recording::MakeBmpFolderStore(folder, format, row.mostPictures, recording::WriteBmpPicture, HeldRename),
            format, 1000, recording::Pacing::kBudget);
        ASSERT_TRUE(recorder.Start()) << row.name;
        for (int n = 1; n <= 4; ++n) recorder.Offer(Picture(n, kPixels).data(), n * 0.04);
        recording::WriteFailure failure;
        const recording::Counts counts = recorder.Finish(failure);
        EXPECT_EQ(counts.kept, row.kept) << row.name;
        EXPECT_EQ(counts.kept + counts.notWritten, 4) << row.name;
        EXPECT_EQ(failure.error, row.error) << row.name;
        EXPECT_NE(failure.reason.find(row.reason), std::string::npos) << row.name << ": " << failure.reason;
        EXPECT_EQ(BmpNames(folder).size(), static_cast<size_t>(row.kept)) << row.name;
        EXPECT_FALSE(vt::FileExists(folder + "\\" + recording::PictureFileName(1) + recording::kPartialSuffix))
            << row.name;
    }
}

TEST(RecordingFolder, RefusesAFolderItWouldOverwriteOrCannotUse) {
    const std::string base = vt::NewTempFolder("recording-folders");
    const std::vector<uint8_t> kept{'k', 'e', 'p', 't'};
    struct Row {
        const char *name;
        const char *folder;      // under base
        const char *existing;    // a file made there first, or nullptr
        const char *refusal;     // "" when the folder is taken
    } rows[] = {
        {"new, two levels deep", "new\\deeper", nullptr, ""},
        {"empty", "empty", "", ""},
        {"holding a picture", "pictures", "0001.BMP", "already holds BMP files (0001.BMP)"},
        {"holding a.bmpx, whose 8.3 name ends in .BMP", "bmpx", "a.bmpx", ""},
        {"holding a file named .bmp alone, which is no picture", "dotbmp", ".bmp", ""},
        {"holding a recording's report", "report", "recording.txt", "already holds a recording.txt"},
        {"a file", "file", nullptr, "is a file, not a folder"},
        {"under a file", "file\\below", nullptr, "cannot be created"},
    };
    vt::WriteBytes(base + "\\file", kept);
    for (const Row &row : rows) {
        const std::string folder = base + "\\" + row.folder;
        if (row.existing) {
            CreateDirectoryA(folder.c_str(), nullptr);
            if (*row.existing) vt::WriteBytes(folder + "\\" + row.existing, kept);
        }
        const std::string refusal = recording::PrepareFolder(folder);
        if (!*row.refusal) {
            EXPECT_EQ(refusal, "") << row.name;
            EXPECT_TRUE(vt::FileExists(folder + "\\recording.txt")) << row.name;
            continue;
        }
        EXPECT_NE(refusal.find(row.refusal), std::string::npos) << row.name << ": " << refusal;
        if (row.existing && *row.existing) {
            EXPECT_EQ(vt::ReadFileBytes(folder + "\\" + row.existing), kept) << row.name;
        }
    }
    EXPECT_EQ(vt::ReadFileBytes(base + "\\file"), kept);
}

// A recording into FILE.avi never overwrites FILE.avi, FILE.txt or any of
// its later parts, and takes no other file for one of them. The AVI store
// refuses a file that exists, whatever the command checked before, and
// leaves it as it was.
TEST(RecordingFile, RefusesWhenItOrAnyOfItsPartsExists) {
    const std::pair<const char *, bool> rows[] = {  // a name made beside rec.avi, and whether it is one of its files
        {"rec.avi", true},      {"rec.txt", true},     {"REC_002.AVI", true},  {"rec_999.avi", true},
        {"rec_001.avi", false}, {"rec_0002.avi", false}, {"rec_02.avi", false}, {"rec_x02.avi", false},
        {"recx_002.avi", false},
    };
    for (const auto &row : rows) {
        const std::string folder = vt::NewTempFolder("recording-parts"), path = folder + "\\" + row.first;
        vt::WriteBytes(path, {'x'});
        EXPECT_EQ(recording::ExistingRecordingFile(folder + "\\rec.avi"), row.second ? path : "") << row.first;
        recording::WriteFailure failure;
        EXPECT_EQ(recording::MakeAviFileStore(path, {16, 16, 1}, {}, failure), nullptr) << row.first;
        EXPECT_EQ(failure.error, static_cast<DWORD>(ERROR_FILE_EXISTS)) << row.first;
        EXPECT_EQ(vt::ReadFileBytes(path), std::vector<uint8_t>{'x'}) << row.first;
    }
}

TEST(RecordingFolder, TellsAFileInsideItHoweverEitherIsSpelled) {
    const std::string base = vt::NewTempFolder("recording-inside");
    CreateDirectoryA((base + "\\rec").c_str(), nullptr);
    CreateDirectoryA((base + "\\rec\\sub").c_str(), nullptr);
    CreateDirectoryA((base + "\\other").c_str(), nullptr);
    char shortName[MAX_PATH];
    const DWORD length = GetShortPathNameA(base.c_str(), shortName, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    std::string forward = base;
    for (char &c : forward) c = c == '\\' ? '/' : c;
    struct Row {
        std::string file, folder;
        bool inside;
    } rows[] = {
        {base + "\\rec\\000001.bmp", base + "\\rec", true},
        {base + "\\REC\\g.bmp", base + "\\rec\\", true},
        {base + "\\other\\..\\rec\\.\\g.bmp", base + "\\rec", true},
        {forward + "/rec/g.bmp", base + "\\rec", true},
        {std::string(shortName) + "\\rec\\g.bmp", base + "\\rec", true},
        {base + "\\rec\\sub\\g.bmp", base + "\\rec", true},
        {base + "\\new\\g.bmp", base + "\\NEW", true},
        {base + "\\new\\deeper\\g.bmp", forward + "/new", true},
        {base + "\\other\\g.bmp", base + "\\rec", false},
        {base + "\\rec.bmp", base + "\\rec", false},
        {base + "\\recx\\g.bmp", base + "\\rec", false},
        {base + "\\g.bmp", base + "\\rec", false},
    };
    for (const Row &row : rows)
        EXPECT_EQ(recording::LiesWithin(row.file, row.folder), row.inside) << row.file << " in " << row.folder;
}

// Pictures at known times: the rate between the first and the last, as the
// watch counts them and as the recorder keeps them.
TEST(RecordFigures, RateOfKnownPicturesOverAKnownTime) {
    struct Row {
        const char *name;
        double start, step;
        int count;
        double rate;
    } rows[] = {
        {"33 pictures over one second", 0.5, 1.0 / 32, 33, 32},
        {"5 pictures over two seconds, from 3 s on", 3, 0.5, 5, 2},
        {"one picture has no rate", 1, 0.25, 1, 0},
    };
    for (const Row &row : rows) {
        const std::string folder = vt::NewTempFolder("recorder-rate");
        ASSERT_EQ(recording::PrepareFolder(folder), "") << row.name;
        recording::Recorder recorder(folder, kWidth, kHeight, recording::kHighestRate);
        ASSERT_TRUE(recorder.Start()) << row.name;
        cli::WatchCount watch;
        for (int n = 0; n < row.count; ++n) {
            watch.Painted(row.start + n * row.step);
            recorder.Offer(Picture(n, kPixels).data(), row.start + n * row.step);
        }
        recording::WriteFailure failure;
        const recording::Counts counts = recorder.Finish(failure);
        EXPECT_EQ(counts.kept, row.count) << row.name;
        EXPECT_EQ(counts.rate(), row.rate) << row.name;
        EXPECT_EQ(watch.rate(), row.rate) << row.name;
    }
}

// A store that writes down what it was asked: K and the picture's first
// byte for a kept frame, R for a repeat, C for the close; and counts the
// clock's refreshes. Each Keep waits until the gate is open: a disk that is
// behind.
std::atomic<int> g_refreshes;
struct LoggingStore : recording::PictureStore {
    std::string *log;
    HANDLE gate;
    LoggingStore(std::string *into, HANDLE gateOf) : log(into), gate(gateOf) {}
    bool Refresh(recording::WriteFailure &) override { return ++g_refreshes, true; }
    bool Keep(const BYTE *frame, int64_t, recording::WriteFailure &) override {
        WaitForSingleObject(gate, INFINITE);
        *log += 'K';
        *log += static_cast<char>(frame[0]);
        return true;
    }
    bool Repeat(recording::WriteFailure &) override { return *log += 'R', true; }
    bool Close(recording::WriteFailure &) override { return *log += 'C', true; }
};

TEST(Recorder, KeepsTimeWithTheNewestFrameOfEachStepOrARepeat) {
    // Frames named by letter at their times; rate 8: steps of 0.125 s, and
    // times that binary fractions hold exactly. '!': the clock reads this
    // time from then on; once the writer has woken to it, '|' in the log.
    // With the disk behind, every buffer taken, the newest frame takes the
    // place of the one waiting for its step, which is counted as dropped and
    // shown as a repeat of the step before.
    struct Row {
        const char *name;
        std::vector<std::pair<char, double>> frames;
        double end;
        const char *stored;
        int64_t overRate, repeats;
        int64_t diskBehind = 0;  // the disk is held until every frame is offered
    } rows[] = {
        {"one a step", {{'a', 5.0}, {'b', 5.125}, {'c', 5.25}}, 5.375, "KaKbKcC", 0, 0},
        {"early and late within a step", {{'a', 0}, {'b', 0.1875}, {'c', 0.21875}, {'d', 0.4375}}, 0.5,
         "KaKbKcKdC", 0, 0},
        {"late by most of a step", {{'a', 0}, {'b', 0.234375}, {'c', 0.25}}, 0.375, "KaKbKcC", 0, 0},
        {"two at once: the newer", {{'a', 0}, {'b', 0.125}, {'c', 0.125}, {'d', 0.25}}, 0.375, "KaKcKdC", 1, 0},
        {"twice the rate: every other one", {{'a', 0}, {'b', 0.0625}, {'c', 0.125}, {'d', 0.1875}, {'e', 0.25}},
         0.375, "KaKcKeC", 2, 0},
        {"none for two steps: repeats", {{'a', 0}, {'b', 0.375}}, 0.5, "KaRRKbC", 0, 2},
        {"the time after the last frame is repeated", {{'a', 0}}, 0.375, "KaRRC", 0, 2},
        {"an end before the last frame's step still keeps it", {{'a', 0}, {'b', 0.125}}, 0.0625, "KaKbC", 0, 0},
        {"a stall: the frame held and the repeats so far go out by the clock",
         {{'a', 0}, {'!', 1}, {'b', 1}}, 1.125, "KaRRRRRR|RKbC", 0, 7},
        {"a frame read before the clock's steps takes the first step left",
         {{'a', 0}, {'!', 1}, {'b', 0.5}}, 1, "KaRRRRRR|KbC", 0, 6},
        {"the clock before the first frame: time starts with the frame", {{'!', 1}, {'a', 1}}, 1.125, "|KaC", 0, 0},
        {"the disk behind, its 16 buffers (2 s) taken: the newest frame in the last",
         {{'a', 0}, {'b', .125}, {'c', .25}, {'d', .375}, {'e', .5}, {'f', .625}, {'g', .75}, {'h', .875}, {'i', 1},
          {'j', 1.125}, {'k', 1.25}, {'l', 1.375}, {'m', 1.5}, {'n', 1.625}, {'o', 1.75}, {'p', 1.875}, {'q', 2},
          {'r', 2.125}, {'s', 2.25}, {'t', 2.375}, {'u', 2.5}},
         2.625, "KaKbKcKdKeKfKgKhKiKjKkKlKmKnKoRRRRRKuC", 0, 5, 5},
    };
    constexpr int32_t kSide = 4;
    for (const Row &row : rows) {
        std::string log;
        std::atomic<double> clock{0};
        const guards::UniqueKernelHandle gate(CreateEventA(nullptr, TRUE, row.diskBehind == 0, nullptr));
        recording::Recorder recorder(std::unique_ptr<recording::PictureStore>(new LoggingStore(&log, gate.get())),
                                     recording::FrameFormat{kSide, kSide, 0}, 8, recording::Pacing::kTimeSteps,
                                     [&clock] { return clock.load(); });
        ASSERT_TRUE(recorder.Start()) << row.name;
        int64_t offered = 0;
        for (const auto &frame : row.frames) {
            if (frame.first == '!') {
                clock = frame.second;
                const int woken = g_refreshes + 2;  // the second refresh follows a look at the new time
                ASSERT_TRUE(vt::WaitUntil([&] { return g_refreshes >= woken; })) << row.name;
                log += '|';  // the writer waits: the clock stands still
                continue;
            }
            ++offered;
            const std::vector<BYTE> bytes(kSide * kSide, static_cast<BYTE>(frame.first));
            recorder.Offer(bytes.data(), frame.second);
        }
        SetEvent(gate.get());
        recording::WriteFailure failure;
        const recording::Counts counts = recorder.Finish(failure, row.end);
        EXPECT_EQ(log, row.stored) << row.name;
        EXPECT_EQ(counts.seen, offered) << row.name;
        EXPECT_EQ(counts.overRate, row.overRate) << row.name;
        EXPECT_EQ(counts.repeats, row.repeats) << row.name;
        EXPECT_EQ(counts.diskBehind, row.diskBehind) << row.name;
        EXPECT_EQ(counts.kept + counts.overRate + counts.diskBehind, counts.seen) << row.name;
        EXPECT_TRUE(failure.path.empty()) << row.name;
    }
}

// What `body` writes to the console, both streams, kept in `path` as well.
std::string Printed(const std::string &path, const std::function<void()> &body) {
    std::fflush(nullptr);
    const int console[] = {_dup(1), _dup(2)}, file = _open(path.c_str(), _O_WRONLY | _O_CREAT, _S_IWRITE);
    for (int stream : {1, 2}) _dup2(file, stream);
    body();
    std::fflush(nullptr);
    for (int stream : {1, 2}) _dup2(console[stream - 1], stream);
    for (int handle : {console[0], console[1], file}) _close(handle);
    const std::vector<uint8_t> bytes = vt::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// record itself on the virtual card, which this program loaded: a card that
// delivers nothing, fails reads or stalls, as the console and FILE.txt say it.
// Each recording ends a watch, which leaves Ctrl+C ending the program: it is
// caught again after each.
class RecordOnTheCard : public ::testing::Test {
protected:
    void TearDown() override { cli::CatchCtrlC(); }
};

TEST_F(RecordOnTheCard, ACardThatDeliversNothingFailsOrStallsIsToldOfAndNoFrameIsLeftOut) {
    static const uint32_t kFramesThenNone[] = {0, 2, 0, 2, 0, 2};
    struct Row {
        const char *name;
        std::function<void()> card;
        const char *seconds;
        int status;
        const char *said;  // on the console, then in FILE.txt
    } rows[] = {
        {"no frame at all", [] { VcSetStatusMode(VC_STATUS_NONE); }, "1", 1,
         "the card delivered no picture in[\\s\\S]*ended: the time was up; the card delivered no picture"},
        {"every third read fails: none left out", [] { VcSetFailure(VC_READ, 3); }, "1", 0,
         "card reads that failed: [1-9][\\s\\S]*left out to keep to 25 a second: 0\r\n"},
        {"a few frames, then a stall", [] { VcScriptStatus(kFramesThenNone, 6); }, "3", 0,
         "^(?![\\s\\S]*no frame for[\\s\\S]*no frame for)[\\s\\S]*the card has delivered no frame for 2 s[\\s\\S]*"
         "seconds without a frame from the card: [23]\\."},
        {"a driver call that hangs, let go once the stall was said", [] { VcBlockCall(VC_STATUS); }, "1", 1,
         "the card has delivered no frame for 2 s"},
    };
    for (const Row &row : rows) {
        VcReset();
        row.card();
        const std::string folder = vt::NewTempFolder("record-card"), avi = folder + "\\card.avi";
        // A call held in the card is let go once the stall was said, or the recording is over.
        std::atomic<bool> done{false};
        std::thread release([&] {
            vt::WaitUntil([&] {
                const std::vector<uint8_t> console = vt::ReadFileBytes(folder + "\\console.txt");
                return done || std::string(console.begin(), console.end()).find("no frame for") != std::string::npos;
            });
            VcReleaseCall(VC_STATUS);
        });
        int status = -1;
        std::string said = Printed(folder + "\\console.txt", [&] {
            cli::Report report;
            status = cli::RecordCommand({avi, "--seconds", row.seconds, "--no-window"}, report);
        });
        done = true;
        release.join();
        const std::vector<uint8_t> figures = vt::ReadFileBytes(avi.substr(0, avi.size() - 4) + ".txt");
        said.append(figures.begin(), figures.end());
        EXPECT_EQ(status, row.status) << row.name << ":\n" << said;
        EXPECT_TRUE(std::regex_search(said, std::regex(row.said))) << row.name << ": no " << row.said << " in\n" << said;
    }
    VcReset();
}
