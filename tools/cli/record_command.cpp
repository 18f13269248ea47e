// record: the preview as preview runs it, each new picture on the screen
// saved into a folder of numbered BMP files, and recording.txt beside them.
#include <cstdio>
#include <string>
#include <utility>

#include "frame_geometry.h"
#include "commands.h"
#include "paint_counter.h"
#include "recorder.h"
#include "recording_folder.h"
#include "windows_error.h"

namespace cli {
namespace {

std::string WhyWritingStopped(const recording::WriteFailure &failure) {
    const size_t slash = failure.path.find_last_of("\\/");
    const std::string name = failure.path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (failure.tooMany)
        return "the numbering ends at " + recording::PictureFileName(recording::kMostPictures);
    if (failure.error == ERROR_DISK_FULL || failure.error == ERROR_HANDLE_DISK_FULL)
        return "the disk is full (" + name + " could not be written)";
    return name + " could not be written (" + WindowsError(failure.error) + ")";
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

// Says why the recording ended and what it kept, on the console and in
// recording.txt. Returns the exit status, given the preview's.
int EndRecording(const RecordOptions &options, recording::Summary &summary,
                 const recording::WriteFailure &failure, Report &report, int status) {
    const bool stopped = !failure.path.empty();
    if (stopped)
        summary.ended = "writing stopped: " + WhyWritingStopped(failure);
    else if (options.preview.seconds > 0 && summary.seconds >= options.preview.seconds)
        summary.ended = "the time was up";
    else
        summary.ended = "Ctrl+C, or the keys window was closed";
    const std::string text = recording::ReportText(summary);
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find("\r\n", start);
        std::printf("record: %s\n", text.substr(start, end - start).c_str());
        start = end == std::string::npos ? text.size() : end + 2;
    }
    report.Set(report_key::kPicturesKept, static_cast<long long>(summary.counts.kept));
    report.Set(report_key::kPicturesDropped,
               static_cast<long long>(summary.counts.diskBehind + summary.counts.notWritten));
    const std::string unwritten = recording::WriteReport(options.folder, text);
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

int Record(const VorlaneFunctions &vorlane, const RecordOptions &options, Report &report) {
    const PreviewOptions &preview = options.preview;
    const geometry::FrameSize frame = geometry::FrameSizeForHeight(preview.height);
    if (!WhollyOnScreen(preview.x, preview.y, frame.width, frame.height))
        return Usage("the picture at (" + std::to_string(preview.x) + ", " + std::to_string(preview.y) +
                     ") must lie wholly on the screen to be recorded");
    const std::string refusal = recording::PrepareFolder(options.folder);
    if (!refusal.empty()) {
        std::fprintf(stderr, "vorlane-cli: %s\n", refusal.c_str());
        return kExitUsage;
    }
    recording::Recorder recorder(options.folder, frame.width, frame.height, options.rate);
    if (!recorder.Start()) {
        recording::ReleaseFolder(options.folder);
        std::fprintf(stderr, "vorlane-cli: no thread could be started to write the pictures\n");
        return kExitFailed;
    }
    std::printf("record: into %s, at most %g pictures a second\n", options.folder.c_str(), options.rate);

    recording::Summary summary;
    bool watched = false;
    PreviewExtras extras;
    extras.onPicture = [&recorder, &frame](const WatchedPicture &picture) {
        if (picture.width == frame.width && picture.height == frame.height)
            recorder.Offer(picture.rows, picture.seconds);
    };
    extras.mustEnd = [&recorder] { return recorder.Stopped(); };
    extras.watched = [&](const WatchCount &count, GetStatsFunction getStats) {
        watched = true;
        summary.seconds = count.ran;
        summary.failedReads = count.failedReads;
        summary.cardFrames = CardFrames(getStats);
        summary.adValues = AdValues(getStats);
    };
    const int status = RunPreview(vorlane, preview, report, extras);

    recording::WriteFailure failure;
    summary.counts = recorder.Finish(failure);
    if (!watched) {
        // The preview never ran (no card, or a scene refused): the folder is free again.
        recording::ReleaseFolder(options.folder);
        return status;
    }
    summary.rate = options.rate;
    summary.width = frame.width;
    summary.height = frame.height;
    summary.colorMode = preview.mode;
    return EndRecording(options, summary, failure, report, status);
}

}  // namespace

int RecordCommand(const Arguments &args, Report &report) {
    RecordOptions options;
    const std::string problem = ParseRecordOptions(args, options);
    if (!problem.empty()) return Usage(problem);
    // Written after the preview, while pictures may still be going in: a
    // picture would be overwritten, or the folder left unplayable.
    for (const auto &target : {std::make_pair("--save", &options.preview.save),
                               std::make_pair("--grey", &options.preview.grey)}) {
        if (target.second->empty() || !recording::LiesWithin(*target.second, options.folder)) continue;
        std::fprintf(stderr, "vorlane-cli: %s %s lies in the recording folder %s; save the frame outside it\n",
                     target.first, target.second->c_str(), options.folder.c_str());
        return kExitUsage;
    }
    VorlaneFunctions vorlane;
    return LoadVorlane(vorlane) ? Record(vorlane, options, report) : kExitDllUnusable;
}

}  // namespace cli
