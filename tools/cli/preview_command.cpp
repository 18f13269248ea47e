// preview: open the card, watch the live picture, then save the last frame
// (and its grey version) or just close.
#include <io.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "frame_geometry.h"
#include "commands.h"
#include "win32_guards.h"
#include "keys_window.h"
#include "core/cli_options.h"
#include "virtual_card_extras.h"
#include "watch_loop.h"

namespace cli {
namespace {

// A file for the frame when only its grey version is wanted; it goes on
// every way out. Empty when none could be made.
guards::TemporaryFile TemporaryBmp() {
    char folder[MAX_PATH];
    char path[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length > MAX_PATH || !GetTempFileNameA(folder, "vlc", 0, path)) return {};
    return guards::TemporaryFile(path);
}

void ReportFigures(Report &report, double seconds, const WatchCount &count,
                   GetStatsFunction getStats) {
    report.Set(report_key::kSeconds, seconds);
    report.Set(report_key::kFramesPainted, count.painted);
    report.Set(report_key::kFramesPerSecond, count.rate());
    if (!getStats) return;
    const VcStats card = CardStats(getStats);
    report.Set(report_key::kCardReads, static_cast<long long>(card.reads));
    for (int i = 0; i < 3; ++i) report.Set(report_key::kCardAd[i], static_cast<long long>(card.adValues[i]));
}

// The figures while the preview runs, on the console and in the report. A
// step of the A/D values shows at once; else on a console the line is
// rewritten in place, in a log one comes a second. The line fits 80
// columns, or a console would wrap it and \r not reach its start.
class Progress {
public:
    Progress(GetStatsFunction getStats, Report &report)
        : getStats_(getStats), report_(report), shown_(CardStats(getStats)),
          console_(_isatty(_fileno(stdout)) != 0) {}

    void Turn(double now, const WatchCount &count) {
        const VcStats card = CardStats(getStats_);
        if (now < nextLine_ && SameAdValues(card, shown_)) return;
        std::printf("%s%6.1f s  frames painted %6lld (%5.1f/s)", console_ ? "\r" : "", now,
                    count.painted, count.rate());
        if (getStats_)
            std::printf("  delivered %6lld  A/D %3d %3d %3d", static_cast<long long>(card.reads),
                        card.adValues[0], card.adValues[1], card.adValues[2]);
        std::printf(console_ ? "  " : "\n");
        std::fflush(stdout);
        shown_ = card;
        if (now >= nextLine_) nextLine_ += console_ ? 0.25 : 1.0;
        ReportFigures(report_, now, count, getStats_);
        report_.WriteOnce();  // never holds the loop up: a reader may hold the file a moment
    }
    void End() const {
        if (console_) std::printf("\n");
    }

private:
    GetStatsFunction getStats_;
    Report &report_;
    VcStats shown_;
    bool console_;
    double nextLine_ = 0;
};

std::string CardSummary(GetStatsFunction getStats) {
    if (!getStats) return "";
    const VcStats stats = CardStats(getStats);
    char text[96];
    std::snprintf(text, sizeof text, "   card delivered %lld frames, A/D %d %d %d",
                  static_cast<long long>(stats.reads), stats.adValues[0], stats.adValues[1],
                  stats.adValues[2]);
    return text;
}

}  // namespace

// The picture's place on the screen, for placing windows beside it; held
// far from int's ends so that the sums made with it cannot overflow.
RECT PictureArea(int x, int y, int width, int height) {
    static constexpr int64_t kFar = 1 << 30;
    const auto held = [](int64_t value) { return static_cast<LONG>(std::max(-kFar, std::min(kFar, value))); };
    return RECT{held(x), held(y), held(int64_t{x} + width), held(int64_t{y} + height)};
}

// Hands the virtual card the --scene picture, recording or footage folder.
// Vorlane.dll has loaded the driver by now, so this finds the one in use.
// Returns the exit status of a failure, or -1.
int SetScene(const std::string &scene) {
    if (scene.empty()) return -1;
    const DWORD attributes = GetFileAttributesA(scene.c_str());
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!folder && IsAviName(scene)) {
        const auto playFile = VirtualCardFunction<PlayFileFunction>("VcPlayFile");
        if (!playFile)
            return Usage("--scene works on the virtual card only; this CG400D32.dll is another driver");
        char reason[1024] = "";
        if (!playFile(scene.c_str(), reason, sizeof reason)) {
            std::fprintf(stderr, "vorlane-cli: the virtual card refused the recording: %s\n", reason);
            return kExitUsage;
        }
        return -1;
    }
    if (folder) {
        const auto playFolder = VirtualCardFunction<PlayFolderFunction>("VcPlayFolder");
        if (!playFolder)
            return Usage("--scene works on the virtual card only; this CG400D32.dll is another driver");
        char reason[1024] = "";
        if (!playFolder(scene.c_str(), reason, sizeof reason)) {
            std::fprintf(stderr, "vorlane-cli: the virtual card refused the footage: %s\n", reason);
            return kExitUsage;
        }
        return -1;
    }
    const auto setScene = VirtualCardFunction<SetScenePictureFunction>("VcSetScenePicture");
    if (!setScene)
        return Usage("--scene works on the virtual card only; this CG400D32.dll is another driver");
    if (!setScene(scene.c_str())) {
        std::fprintf(stderr, "vorlane-cli: the virtual card could not use %s as its scene "
                             "(it takes an uncompressed 24-bit BMP file)\n",
                     scene.c_str());
        return kExitFailed;
    }
    return -1;
}

int RunPreview(const VorlaneFunctions &vorlane, const PreviewOptions &options, Report &report,
               const PreviewExtras &extras) {
    const geometry::FrameSize frame = geometry::FrameSizeForHeight(options.height);
    guards::TemporaryFile greyOnly;
    if (!options.grey.empty() && options.save.empty()) {
        greyOnly = TemporaryBmp();
        if (!greyOnly) {
            std::fprintf(stderr, "vorlane-cli: no temporary file for the frame; give --save FILE\n");
            return kExitFailed;
        }
    }
    const std::string save = !options.save.empty() ? options.save : greyOnly.path();

    const int sceneFailure = SetScene(options.scene);
    if (sceneFailure >= 0) return sceneFailure;
    const auto getStats = VirtualCardFunction<GetStatsFunction>("VcGetStats");

    PaintCounter counter(options.x, options.y, frame.width, frame.height);
    char duration[32] = "until Ctrl+C";
    if (options.seconds > 0) std::snprintf(duration, sizeof duration, "%g s", options.seconds);
    std::printf("preview: %d x %d at (%d, %d), colour mode %d, %s%s\n", frame.width, frame.height,
                options.x, options.y, options.mode, duration, getStats ? ", on the virtual card" : "");
    if (!counter.watching())
        std::printf("preview: the picture lies off the screen; frames are not counted\n");

    CatchCtrlC();
    if (!vorlane.EasyInit(options.x, options.y, options.height, options.mode)) {
        vorlane.FreeCG200();  // a failed opening may have left the card open
        std::fprintf(stderr, "vorlane-cli: EasyInit failed: the card could not be opened "
                             "(is the card's driver CG400D32.dll installed and the card present?)\n");
        return kExitFailed;
    }
    if (options.keysWindow) {
        if (ShowKeysWindow(PictureArea(options.x, options.y, frame.width, frame.height), getStats != nullptr))
            std::printf("preview: the A/D chords work while the window \"%s\" has the focus\n",
                        kKeysWindowTitle);
        else
            std::printf("preview: no keys window could be made; the A/D chords are not read\n");
    }
    Progress progress(getStats, report);
    report.Set(report_key::kRunning, 1LL);
    WatchHooks hooks;
    const double seconds = options.seconds;
    hooks.finished = [seconds, &extras](double now, const WatchCount &) {
        return (seconds > 0 && now >= seconds) || (extras.mustEnd && extras.mustEnd());
    };
    hooks.eachTurn = [&progress](double now, const WatchCount &count) { progress.Turn(now, count); };
    hooks.onPicture = extras.onPicture;
    const WatchCount count = Watch(counter, hooks);
    progress.End();
    if (extras.watched) extras.watched(count, getStats);
    report.Set(report_key::kRunning, 0LL);
    ReportFigures(report, count.ran, count, getStats);
    std::printf("preview: %lld frames painted in %.1f s, %.1f frames/s%s\n", count.painted,
                count.ran, count.rate(), CardSummary(getStats).c_str());
    if (count.painted == 0 && counter.watching())
        std::printf("preview: no picture appeared on the screen; the saved frame will be black\n");

    if (save.empty()) {
        if (!vorlane.FreeCG200()) {
            std::fprintf(stderr, "vorlane-cli: FreeCG200 failed: the card did not close\n");
            return kExitFailed;
        }
        std::printf("card closed\n");
        return kExitOk;
    }
    if (!vorlane.EasyCapture(save.c_str())) {
        std::fprintf(stderr, "vorlane-cli: EasyCapture could not save the frame to %s\n", save.c_str());
        // A failed save leaves the card open; close it before going.
        if (!vorlane.FreeCG200()) std::fprintf(stderr, "vorlane-cli: FreeCG200 failed too: the card did not close\n");
        return kExitFailed;
    }
    if (!options.save.empty()) {
        std::printf("frame saved to %s\n", save.c_str());
        report.Set(report_key::kFrameSaved, save);
    }
    if (options.grey.empty()) return kExitOk;
    return WriteGrey(vorlane, save.c_str(), options.grey.c_str(), report);
}

int PreviewCommand(const Arguments &args, Report &report) {
    PreviewOptions options;
    const std::string problem = ParsePreviewOptions(args, options);
    if (!problem.empty()) return Usage(problem);
    if (options.open) return Usage("unknown option --open");
    VorlaneFunctions vorlane;
    return LoadVorlane(vorlane) ? RunPreview(vorlane, options, report, {}) : kExitDllUnusable;
}

}  // namespace cli
