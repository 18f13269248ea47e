// record: the card's frames, read from its driver as Vorlane's preview reads
// them, kept in one AVI file or a folder of numbered BMP files, with the
// figures beside them. Only record talks to the driver itself.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "avi_file_store.h"
#include "bmp_folder_store.h"
#include "card_frames.h"
#include "card_reader.h"
#include "card_watch.h"
#include "color_modes.h"
#include "commands.h"
#include "file_places.h"
#include "frame_geometry.h"
#include "keys_window.h"
#include "preview_paint.h"
#include "recorder.h"
#include "recording_claims.h"
#include "recording_continuation.h"
#include "recording_report.h"
#include "still_bmp.h"
#include "volume_room.h"
#include "windows_error.h"

namespace cli {
namespace {

// Let a test force many segments or parts on a small file, and a disk that
// fills, without a volume of that kind; users never need them.
constexpr char kSegmentBytesVariable[] = "VORLANE_AVI_SEGMENT_BYTES";
constexpr char kFileLimitVariable[] = "VORLANE_FILE_LIMIT_BYTES";
constexpr char kFreeBytesVariable[] = "VORLANE_FREE_BYTES";
constexpr char kNoPicture[] = "the card delivered no picture";
// Above every thread of a normal process, dynamic boosts included.
constexpr int kReaderPriority = THREAD_PRIORITY_TIME_CRITICAL;
// Lets the bench measure what flushing the file to the disk costs.
constexpr char kNoFlushVariable[] = "VORLANE_AVI_NO_FLUSH";

std::string WhyWritingStopped(const recording::WriteFailure &failure) {
    const std::string name = NameOf(failure.path);
    if (failure.nearlyFull) return "the disk was nearly full; " + name + " was closed whole";
    if (failure.tooMany)
        return failure.reason.empty() ? "the numbering ends at " + recording::PictureFileName(recording::kMostPictures)
                                      : failure.reason;
    if (failure.error == ERROR_DISK_FULL || failure.error == ERROR_HANDLE_DISK_FULL)
        return "the disk is full (" + name + " could not be written)";
    if (failure.error == ERROR_CANNOT_MAKE)
        return "the folder takes no more files (" + name + " could not be made)";
    if (!failure.error && !failure.reason.empty()) return name + ": " + failure.reason;
    return name + " could not be written (" + WindowsError(failure.error) + ")";
}

// The frames as they are read, and the figures so far.
struct ReadCount {
    long long reads = 0;   // slots read
    long long frames = 0;  // frames offered: two slots make a frame
    double ran = 0;
    double stalled = 0;    // seconds in stalls of the card
};

struct Destination {
    std::unique_ptr<recording::PictureStore> store;
    recording::Pacing pacing = recording::Pacing::kBudget;
    std::string refusal;  // why not, "" when it may start
    recording::Continuation continuation;  // --continue
};

// Gives up what the recording claimed when it never started.
void Release(const RecordOptions &options, const recording::Continuation &continuation) {
    if (options.continuing) recording::ReleaseContinuation(options.destination, continuation);
    else if (IsAviName(options.destination)) recording::ReleaseAviFile(options.destination);
    else recording::ReleaseFolder(options.destination);
}

Destination Claim(const RecordOptions &options, const recording::FrameFormat &format) {
    Destination destination;
    const std::string &path = options.destination;
    if (!IsAviName(path)) {
        destination.refusal = recording::PrepareFolder(path);
        const int64_t mostFiles = recording::LimitsOf(path + "\\x").mostFolderFiles;
        if (destination.refusal.empty()) destination.store = recording::MakeBmpFolderStore(path, format, mostFiles);
        return destination;
    }
    recording::AviFileSettings settings;
    settings.codec = options.codec;
    settings.quality = options.quality;
    settings.rate = static_cast<uint32_t>(options.rate);
    uint64_t bytes = 0;
    if (ParseByteCount(std::getenv(kSegmentBytesVariable), avi::kLargestSegmentBytes, bytes))
        settings.segmentBytes = bytes;
    if (ParseByteCount(std::getenv(kFileLimitVariable), UINT64_MAX, bytes)) settings.fileLimit = bytes;
    if (ParseByteCount(std::getenv(kFreeBytesVariable), UINT64_MAX - 1, bytes)) settings.freeBytes = bytes;
    const char *noFlush = std::getenv(kNoFlushVariable);
    settings.flush = noFlush == nullptr || std::strcmp(noFlush, "1") != 0;
    recording::Continuation &continuation = destination.continuation;
    destination.refusal =
        options.continuing
            ? recording::PrepareContinuation(path, recording::WriterSettingsFor(format, settings), continuation)
            : recording::PrepareAviFile(path);
    if (!destination.refusal.empty()) return destination;
    settings.partsBefore = continuation.parts;
    settings.gaps = continuation.gaps;
    recording::WriteFailure failure;
    destination.store = recording::MakeAviFileStore(path, format, settings, failure);
    destination.pacing = recording::Pacing::kTimeSteps;
    if (!destination.store) {
        Release(options, continuation);
        destination.refusal = path + " cannot be written: " + WhyWritingStopped(failure);
    }
    return destination;
}

bool KeyHeld(int key) { return (GetKeyState(key) & 0x8000) != 0; }

// Reads every slot the card finishes until the time is up, Ctrl+C, the keys
// window closes or writing stops; offers each frame whole (both slots read)
// at the time its first slot was read, and paints every slot read. A watch
// says on the console when the card stalls and when it delivers again.
// The virtual card's reads and A/D values, into the report.
void SetCardFigures(Report &report, GetStatsFunction getStats) {
    const VcStats stats = CardStats(getStats);
    report.Set(report_key::kCardReads, static_cast<long long>(stats.reads));
    for (int i = 0; i < 3; ++i) report.Set(report_key::kCardAd[i], static_cast<long long>(stats.adValues[i]));
}

ReadCount ReadFrames(CardSession &card, recording::Recorder &recorder, const PreviewOptions &options,
                     geometry::FrameSize frame, GetStatsFunction getStats, const Stopwatch &clock, Report &report) {
    const preview::DisplayInfo display = preview::DisplayInfoFor(frame, options.mode);
    guards::UniqueScreenDC screen(options.keysWindow ? GetDC(nullptr) : nullptr);
    if (screen) SetStretchBltMode(screen.get(), COLORONCOLOR);
    const FineTimerTicks ticks;
    ReadCount count;
    recording::SlotPairing pairing;
    CardWatch watch([&clock] { return clock.Seconds(); });
    double nextLine = 0;
    for (;;) {
        const double now = clock.Seconds();
        if (StopRequested() || (options.seconds > 0 && now >= options.seconds) || recorder.Stopped()) {
            count.ran = now;
            break;
        }
        // A key going down in the keys window steps the card's A/D values,
        // as the DLL's hot keys do in the preview.
        PumpMessages([&](const MSG &message) {
            if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return;
            card.StepAdValues(KeyHeld);
            // A script pressing the chords waits for each step to show.
            if (getStats) {
                SetCardFigures(report, getStats);
                report.WriteOnce();
            }
        });
        bool read = false;
        const int slot = card.ReadNextSlot(read);
        if (slot == geometry::kNoSlot) {
            Sleep(1);
            continue;
        }
        if (!read) {
            recording::SlotRead(pairing, slot, false, now);
            continue;
        }
        ++count.reads;
        if (recording::SlotRead(pairing, slot, true, now)) {
            ++count.frames;
            recorder.Offer(card.Frame(), pairing.start);
            watch.FrameCame(now);
        }
        if (screen)
            SetDIBitsToDevice(screen.get(), options.x, options.y, static_cast<DWORD>(frame.width),
                              static_cast<DWORD>(frame.height), 0, 0, 0, static_cast<UINT>(frame.height),
                              card.Frame(), display.get(), DIB_RGB_COLORS);
        if (now >= nextLine) {
            nextLine += 1;
            std::printf("record: %6.1f s  frames read %6lld", now, count.frames);
            if (getStats) std::printf("  card finished %6lld", static_cast<long long>(CardStats(getStats).framesCompleted / 2));
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    EndWatch();
    count.stalled = watch.StalledSeconds(count.ran);
    return count;
}

std::string AdValues(GetStatsFunction getStats) {
    if (!getStats) return "not known: the card's driver does not tell them";
    const VcStats card = CardStats(getStats);
    return std::to_string(card.adValues[0]) + " " + std::to_string(card.adValues[1]) + " " +
           std::to_string(card.adValues[2]);
}

std::string CardFrames(GetStatsFunction getStats) {
    if (!getStats) return "not known: the card's driver does not tell them";
    // Two status changes a frame.
    return std::to_string(static_cast<long long>(CardStats(getStats).framesCompleted / 2));
}

// Says why the recording ended and what it kept, on the console and in the
// figures' file. Returns the exit status.
int EndRecording(const RecordOptions &options, recording::Summary &summary,
                 const recording::WriteFailure &failure, Report &report, int status) {
    const bool stopped = !failure.path.empty();
    if (stopped)
        summary.ended = "writing stopped: " + WhyWritingStopped(failure);
    else if (options.preview.seconds > 0 && summary.seconds >= options.preview.seconds)
        summary.ended = "the time was up";
    else
        summary.ended = "Ctrl+C, or the keys window was closed";
    if (summary.counts.seen == 0) summary.ended += std::string("; ") + kNoPicture;
    const std::string text = recording::ReportText(summary);
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find("\r\n", start);
        std::printf("record: %s\n", text.substr(start, end - start).c_str());
        start = end == std::string::npos ? text.size() : end + 2;
    }
    report.Set(report_key::kPicturesKept, static_cast<long long>(summary.counts.kept));
    report.Set(report_key::kPicturesDropped,
               static_cast<long long>(summary.counts.diskBehind + summary.counts.notWritten));
    if (!summary.parts.empty()) report.Set(report_key::kParts, static_cast<long long>(summary.parts.size()));
    const std::string unwritten =
        summary.aviFile.empty() ? recording::WriteReport(options.destination, text)
                                : recording::WriteReportFile(recording::AviReportPath(options.destination), text);
    if (!unwritten.empty()) {
        std::fprintf(stderr, "vorlane-cli: %s\n", unwritten.c_str());
        status = kExitUsage;
    }
    if (stopped) {
        std::fprintf(stderr,
                     "vorlane-cli: the recording stopped: %s; the %lld pictures written before are kept\n",
                     WhyWritingStopped(failure).c_str(), static_cast<long long>(summary.counts.kept));
        status = kExitUsage;
    }
    return status;
}

// The last frame read, widened to 24 bits, as EasyCapture would save it.
int SaveLastFrame(const std::string &path, const recording::FrameFormat &format, const uint8_t *frame,
                  Report &report) {
    std::vector<BYTE> bgr;
    recording::WidenFrame(format, frame, bgr);
    if (!WriteStillBmp(path.c_str(), bgr.data(), format.width, format.height)) {
        std::fprintf(stderr, "vorlane-cli: the last frame could not be saved to %s\n", path.c_str());
        return kExitFailed;
    }
    std::printf("frame saved to %s\n", path.c_str());
    report.Set(report_key::kFrameSaved, path);
    return kExitOk;
}

int Record(const CardCalls &calls, const RecordOptions &options, Report &report) {
    const PreviewOptions &preview = options.preview;
    const geometry::FrameSize frame = geometry::FrameSizeForHeight(preview.height);
    const recording::FrameFormat format{frame.width, frame.height, preview.mode};
    Destination destination = Claim(options, format);
    if (!destination.refusal.empty()) {
        std::fprintf(stderr, "vorlane-cli: %s\n", destination.refusal.c_str());
        return kExitUsage;
    }
    if (options.continuing) std::printf("record: %s\n", destination.continuation.mended.c_str());
    const int sceneFailure = SetScene(preview.scene);
    if (sceneFailure >= 0) {
        destination.store.reset();
        Release(options, destination.continuation);
        return sceneFailure;
    }
    const auto getStats = VirtualCardFunction<GetStatsFunction>("VcGetStats");

    // The recording's one timeline: the frames' times, and the writer's clock.
    const Stopwatch clock;
    std::unique_ptr<recording::Recorder> recorder(new recording::Recorder(
        std::move(destination.store), format, options.rate, destination.pacing, [&clock] { return clock.Seconds(); }));
    CardSession card;
    const std::string closed = card.Open(calls, frame, preview.mode);
    if (!closed.empty() || !recorder->Start()) {
        recorder.reset();
        Release(options, destination.continuation);
        std::fprintf(stderr, "vorlane-cli: %s\n",
                     !closed.empty() ? closed.c_str() : "no thread could be started to write the pictures");
        return kExitFailed;
    }
    const bool avi = IsAviName(options.destination);
    std::printf("record: %d x %d, colour mode %d, into %s, %s %g pictures a second%s\n", frame.width,
                frame.height, preview.mode, options.destination.c_str(), avi ? "at" : "at most", options.rate,
                getStats ? ", on the virtual card" : "");
    CatchCtrlC();
    if (preview.keysWindow) {
        if (ShowKeysWindow(PictureArea(preview.x, preview.y, frame.width, frame.height), getStats != nullptr))
            std::printf("record: the A/D chords work while the window \"%s\" has the focus\n", kKeysWindowTitle);
        else
            std::printf("record: no keys window could be made; the A/D chords are not read\n");
    }
    report.Set(report_key::kRunning, 1LL);
    report.WriteOnce();
    // The card keeps two slots: a reader that waits more than a frame for
    // the processor loses one. The writer has the queue's seconds to catch up.
    SetThreadPriority(GetCurrentThread(), kReaderPriority);
    const ReadCount count = ReadFrames(card, *recorder, preview, frame, getStats, clock, report);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);

    recording::Summary summary;
    summary.seconds = count.ran;
    summary.failedReads = card.FailedReads();
    summary.stalledSeconds = count.stalled;
    summary.cardFrames = CardFrames(getStats);
    summary.adValues = AdValues(getStats);
    recording::WriteFailure failure;
    summary.counts = recorder->Finish(failure, count.ran);
    summary.parts = recorder->Parts();
    summary.aviFile = avi ? NameOf(options.continuing ? destination.continuation.nextPart : options.destination) : "";
    summary.gaps = destination.continuation.gaps;
    summary.rate = options.rate;
    summary.width = frame.width;
    summary.height = frame.height;
    summary.colorMode = preview.mode;

    report.Set(report_key::kRunning, 0LL);
    report.Set(report_key::kSeconds, count.ran);
    report.Set(report_key::kFramesPainted, count.frames);
    report.Set(report_key::kFramesPerSecond, count.ran > 0 ? static_cast<double>(count.frames) / count.ran : 0.0);
    if (getStats) SetCardFigures(report, getStats);
    std::printf("record: %lld frames read in %.1f s (%lld slots)\n", count.frames, count.ran, count.reads);
    int status = EndRecording(options, summary, failure, report, kExitOk);
    if (count.frames == 0) {
        std::fprintf(stderr, "vorlane-cli: %s in %.1f s (is a camera connected to it?)\n", kNoPicture, count.ran);
        return status == kExitOk ? kExitFailed : status;
    }
    if (preview.save.empty()) return status;
    int saved = SaveLastFrame(preview.save, format, card.Frame(), report);
    if (saved == kExitOk && !preview.grey.empty()) {
        VorlaneFunctions vorlane;
        saved = LoadVorlane(vorlane) ? WriteGrey(vorlane, preview.save.c_str(), preview.grey.c_str(), report)
                                     : kExitDllUnusable;
    }
    return status == kExitOk ? saved : status;
}

}  // namespace

int RecordCommand(const Arguments &args, Report &report) {
    RecordOptions options;
    const std::string problem = ParseRecordOptions(args, options);
    if (!problem.empty()) return Usage(problem);
    // Written after the recording, while pictures may still be going in: a
    // picture or the recording would be overwritten, or left unplayable.
    const bool avi = IsAviName(options.destination);
    for (const auto &target : {std::make_pair("--save", &options.preview.save),
                               std::make_pair("--grey", &options.preview.grey)}) {
        if (target.second->empty()) continue;
        if (avi && recording::NamesRecordingFile(*target.second, options.destination)) {
            std::fprintf(stderr,
                         "vorlane-cli: %s %s is the recording's own file (%s, its .txt or a part); "
                         "save the frame under another name\n",
                         target.first, target.second->c_str(), options.destination.c_str());
            return kExitUsage;
        }
        if (!avi && recording::LiesWithin(*target.second, options.destination)) {
            std::fprintf(stderr, "vorlane-cli: %s %s lies in the recording folder %s; save the frame outside it\n",
                         target.first, target.second->c_str(), options.destination.c_str());
            return kExitUsage;
        }
    }
    // Vorlane.dll makes the grey copy, from the saved frame.
    if (!options.preview.grey.empty() && options.preview.save.empty())
        return Usage("record --grey FILE needs --save FILE for the frame it is made from");
    // An existing file is refused before anything is loaded or opened.
    if (avi && !options.continuing) {
        const std::string existing = recording::ExistingRecordingFile(options.destination);
        if (!existing.empty()) {
            std::fprintf(stderr, "vorlane-cli: %s already exists; record into a new file, nothing was overwritten\n",
                         existing.c_str());
            return kExitUsage;
        }
    }
    guards::UniqueModule driver;
    CardCalls calls;
    const std::string unusable = LoadCardDriver(driver, calls);
    if (!unusable.empty()) {
        std::fprintf(stderr, "vorlane-cli: %s\n", unusable.c_str());
        return kExitDllUnusable;
    }
    return Record(calls, options, report);
}

}  // namespace cli
