// vorlane-cli's recorder on its own: which pictures --rate keeps, the files
// and their order, a disk that fills up or falls behind, the checks on the
// folder before a recording starts, and the figures and ending of the watch.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "paint_counter.h"
#include "bmp_headers.h"
#include "color_modes.h"
#include "record_rate.h"
#include "recorder.h"
#include "recording_claims.h"
#include "recording_report.h"
#include "test_support.h"
#include "watch_loop.h"

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

// A FAT32 folder holds about 65,000 files: the recording stops with a line
// that says so, the pictures before kept.
TEST(Recorder, StopsWhenTheFolderTakesNoMoreFiles) {
    const std::string folder = vt::NewTempFolder("recorder-folder-full");
    const recording::FrameFormat format{kWidth, kHeight, colormode::kRgb24};
    recording::Recorder recorder(recording::MakeBmpFolderStore(folder, format, 2), format, 1000,
                                 recording::Pacing::kBudget);
    ASSERT_TRUE(recorder.Start());
    for (int n = 1; n <= 3; ++n) recorder.Offer(Picture(n, kPixels).data(), n * 0.04);
    recording::WriteFailure failure;
    const recording::Counts counts = recorder.Finish(failure);
    EXPECT_TRUE(counts.kept == 2 && counts.notWritten == 1) << counts.kept << " kept, " << counts.notWritten << " not";
    EXPECT_NE(failure.reason.find("the folder takes no more files"), std::string::npos) << failure.reason;
    EXPECT_TRUE(vt::FileExists(folder + "\\" + recording::PictureFileName(2)));
    EXPECT_FALSE(vt::FileExists(folder + "\\" + recording::PictureFileName(3)));
}

// Names in the folder that a player takes for pictures.
std::vector<std::string> BmpNames(const std::string &folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        const std::string name = found.cFileName;
        if (name.size() > 4 && _stricmp(name.c_str() + name.size() - 4, ".bmp") == 0) names.push_back(name);
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
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

TEST(Recorder, WaitsForAReaderThatHoldsAPictureAndStopsOnlyWhenItNeverLetsGo) {
    struct Row {
        const char *name;
        int heldTries;
        int kept;
        DWORD error;
    } rows[] = {
        {"held for three tries", 3, 4, 0},
        {"held for good", -1, 0, ERROR_SHARING_VIOLATION},
    };
    for (const Row &row : rows) {
        g_heldTries = row.heldTries;
        g_renames = 0;
        const std::string folder = vt::NewTempFolder("recorder-held");
        ASSERT_EQ(recording::PrepareFolder(folder), "") << row.name;
        recording::Recorder recorder(folder, kWidth, kHeight, 1000, recording::WriteBmpPicture, HeldRename);
        ASSERT_TRUE(recorder.Start()) << row.name;
        for (int n = 1; n <= 4; ++n) recorder.Offer(Picture(n, kPixels).data(), n * 0.04);
        recording::WriteFailure failure;
        const recording::Counts counts = recorder.Finish(failure);
        EXPECT_EQ(counts.kept, row.kept) << row.name;
        EXPECT_EQ(counts.kept + counts.notWritten, 4) << row.name;
        EXPECT_EQ(failure.error, row.error) << row.name;
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
// its later parts, and takes no other file for one of them.
TEST(RecordingFile, RefusesWhenItOrAnyOfItsPartsExists) {
    const std::pair<const char *, bool> rows[] = {  // a name made beside rec.avi, and whether it is one of its files
        {"rec.avi", true},      {"rec.txt", true},     {"REC_002.AVI", true},  {"rec_999.avi", true},
        {"rec_001.avi", false}, {"rec_0002.avi", false}, {"rec_02.avi", false}, {"rec_x02.avi", false},
        {"recx_002.avi", false},
    };
    for (const auto &row : rows) {
        const std::string folder = vt::NewTempFolder("recording-parts");
        vt::WriteBytes(folder + "\\" + row.first, {'x'});
        EXPECT_EQ(recording::ExistingRecordingFile(folder + "\\rec.avi"), row.second ? folder + "\\" + row.first : "")
            << row.first;
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

// A screen that answers each look in turn: b black, w white, x a failed read.
const char *g_looks = "";
BOOL WINAPI ScriptedScreen(HDC destination, int x, int y, int width, int height, HDC, int, int, DWORD) {
    const char look = *g_looks ? *g_looks++ : 'b';
    return look != 'x' && PatBlt(destination, x, y, width, height, look == 'w' ? WHITENESS : BLACKNESS);
}

TEST(RecordFigures, FailedScreenReadsAreCountedAndNeverTakenForPictures) {
    g_looks = "b" "bxxwxwb";  // the look before the watch, then one a turn
    cli::PaintCounter counter(0, 0, 8, 8, ScriptedScreen);
    ASSERT_TRUE(counter.watching());
    int turns = 0;
    cli::WatchHooks hooks;
    hooks.finished = [&turns](double, const cli::WatchCount &) { return turns == 7; };
    hooks.eachTurn = [&turns](double, const cli::WatchCount &) { ++turns; };
    const cli::WatchCount count = cli::Watch(counter, hooks);
    EXPECT_EQ(count.failedReads, 3);
    EXPECT_EQ(count.painted, 2) << "white after black, black after white";
}

// A store that writes down what it was asked: K and the picture's first
// byte for a kept frame, R for a repeat, C for the close.
struct LoggingStore : recording::PictureStore {
    std::string *log;
    explicit LoggingStore(std::string *into) : log(into) {}
    bool Keep(const BYTE *frame, int64_t, recording::WriteFailure &) override {
        *log += 'K';
        *log += static_cast<char>(frame[0]);
        return true;
    }
    bool Repeat(recording::WriteFailure &) override { return *log += 'R', true; }
    bool Close(recording::WriteFailure &) override { return *log += 'C', true; }
};

TEST(Recorder, KeepsTimeWithTheNewestFrameOfEachStepOrARepeat) {
    // Frames named by letter at their times; rate 8: steps of 0.125 s, and
    // times that binary fractions hold exactly.
    struct Row {
        const char *name;
        std::vector<std::pair<char, double>> frames;
        double end;
        const char *stored;
        int64_t overRate, repeats;
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
    };
    constexpr int32_t kSide = 4;
    for (const Row &row : rows) {
        std::string log;
        recording::Recorder recorder(std::unique_ptr<recording::PictureStore>(new LoggingStore(&log)),
                                     recording::FrameFormat{kSide, kSide, 0}, 8, recording::Pacing::kTimeSteps);
        ASSERT_TRUE(recorder.Start()) << row.name;
        for (const auto &frame : row.frames) {
            const std::vector<BYTE> bytes(kSide * kSide, static_cast<BYTE>(frame.first));
            recorder.Offer(bytes.data(), frame.second);
        }
        recording::WriteFailure failure;
        const recording::Counts counts = recorder.Finish(failure, row.end);
        EXPECT_EQ(log, row.stored) << row.name;
        EXPECT_EQ(counts.seen, static_cast<int64_t>(row.frames.size())) << row.name;
        EXPECT_EQ(counts.overRate, row.overRate) << row.name;
        EXPECT_EQ(counts.repeats, row.repeats) << row.name;
        EXPECT_EQ(counts.kept + counts.overRate, counts.seen) << row.name;
        EXPECT_TRUE(failure.path.empty()) << row.name;
    }
}

// Ending a watch leaves the program's stop set, as it should; clearing it
// after each of these keeps a later watch in this program running.
class RecordEnding : public ::testing::Test {
protected:
    void TearDown() override { cli::CatchCtrlC(); }
};

TEST_F(RecordEnding, CtrlCEndsTheWatchOnlyUntilItHasEnded) {
    cli::CatchCtrlC();
    EXPECT_TRUE(cli::OnConsoleEvent(CTRL_C_EVENT)) << "Ctrl+C while watching";
    cli::PaintCounter counter(0, 0, 8, 8);
    EXPECT_TRUE(cli::Watch(counter, {}).interrupted);
    EXPECT_FALSE(cli::OnConsoleEvent(CTRL_C_EVENT)) << "Ctrl+C after the watch: the program must end";
    EXPECT_FALSE(cli::OnConsoleEvent(CTRL_BREAK_EVENT)) << "Ctrl+Break after the watch";
}

// The console closed while a recording runs. Windows ends
// the process as soon as the handler returns: what the report holds then is
// what stays.
struct Closing {
    std::string report;
    HANDLE program = nullptr;  // the thread that writes, stopped when the handler returns
    BOOL handled = FALSE;
    std::vector<uint8_t> left;
};

DWORD WINAPI CloseTheConsole(void *param) {
    Closing &closing = *static_cast<Closing *>(param);
    closing.handled = cli::OnConsoleEvent(CTRL_CLOSE_EVENT);
    SuspendThread(closing.program);
    closing.left = vt::ReadFileBytes(closing.report);
    ResumeThread(closing.program);
    return 0;
}

TEST_F(RecordEnding, AClosingConsoleLeavesTheReportWholeWithItsExitStatus) {
    cli::Report report(vt::NewTempFolder("closing") + "\\report.txt");
    report.Set(cli::report_key::kCommand, std::string("record"));
    ASSERT_TRUE(report.Write());
    cli::CatchCtrlC();
    Closing closing;
    closing.report = report.path();
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &closing.program,
                                0, FALSE, DUPLICATE_SAME_ACCESS));
    const HANDLE thread = CreateThread(nullptr, 0, CloseTheConsole, &closing, 0, nullptr);
    ASSERT_TRUE(thread);
    cli::PaintCounter counter(0, 0, 8, 8);
    EXPECT_TRUE(cli::Watch(counter, {}).interrupted);  // without hooks only a stop ends it
    // A handler that does not wait returns at once; one that waits holds on
    // far longer than this, until the report below is written.
    EXPECT_EQ(WaitForSingleObject(thread, cli::kLongestWaitForWritingMs / 4), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the handler returned before the last report was written: Windows would end the process";
    EXPECT_EQ(cli::WriteLastReport(report, 2), 2);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(closing.handled);
    const std::string left(closing.left.begin(), closing.left.end());
    EXPECT_EQ(left, "command=record\nexit_status=2\n");
    CloseHandle(thread);
    CloseHandle(closing.program);
}
