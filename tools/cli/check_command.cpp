// check: where the station's DLLs were found and whether they can be used;
// with --open, also whether the card opens and paints.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "frame_geometry.h"
#include "commands.h"
#include "driver_calls.h"
#include "core/cli_options.h"
#include "watch_loop.h"

namespace cli {
namespace {

std::string FileVersion(const std::string &path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<uint8_t> data(size);
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&fixed), &length) ||
        !fixed || length < sizeof *fixed)
        return "no version resource";
    char text[64];
    std::snprintf(text, sizeof text, "file version %lu.%lu.%lu.%lu",
                  static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)),
                  static_cast<unsigned long>(LOWORD(fixed->dwFileVersionLS)));
    return text;
}

// Where the DLL was found, its bitness and version, and each export Vorlane
// needs from it, "ok" or "missing".
void PrintDll(const DllFile &dll) {
    if (dll.path.empty()) {
        std::printf("%s: not found beside %s (%s), in the system folders, the current folder or "
                    "on the PATH\n", dll.name, dll.firstOwner, dll.firstFolder.c_str());
        return;
    }
    std::printf("%s: %s\n", dll.name, dll.path.c_str());
    if (!dll.readable) {
        std::printf("  %s\n", dll.unreadable.c_str());
        return;
    }
    std::printf("  %s, %s\n", pe::Bitness(dll.image.machine).c_str(), FileVersion(dll.path).c_str());
    if (IsVorlane(dll)) {
        for (const VorlaneExport &wanted : kVorlaneExports) {
            const uint32_t ordinal = pe::OrdinalOf(dll.image, wanted.name);
            std::printf("  %-12s ordinal %u  %s", wanted.name, wanted.ordinal,
                        ordinal == wanted.ordinal ? "ok" : "missing");
            if (ordinal && ordinal != wanted.ordinal) std::printf(" (exported at %u)", ordinal);
            std::printf("\n");
        }
    } else {
        for (const char *call : kDriverCalls)
            std::printf("  %-24s %s\n", call, pe::HasExport(dll.image, call) ? "ok" : "missing");
    }
}

// Opens the card as a host does and counts the pictures painted: until a
// second after the first one, or 5 s with none. Never touches the card's
// A/D adjustments.
int OpenCard(const VorlaneFunctions &vorlane, int x, int y, Report &report) {
    constexpr geometry::FrameSize kFrame = geometry::FrameSizeForHeight(480);
    constexpr double kNoPictureSeconds = 5;
    constexpr double kCountingSeconds = 1;
    PaintCounter counter(x, y, kFrame.width, kFrame.height);
    CatchCtrlC();
    if (!vorlane.EasyInit(x, y, kFrame.height, 1)) {
        vorlane.FreeCG200();  // a failed opening may have left the card open
        std::printf("the card does not open: EasyInit failed\n");
        std::fprintf(stderr, "vorlane-cli: the card does not open (is it in its slot, and is its "
                             "driver the card maker's?)\n");
        report.Set(report_key::kCardOpens, 0LL);
        return kExitFailed;
    }
    report.Set(report_key::kCardOpens, 1LL);
    WatchHooks hooks;
    hooks.finished = [&counter](double now, const WatchCount &count) {
        return now >= kNoPictureSeconds || (count.painted > 0 && now >= count.firstPaint + kCountingSeconds) ||
               !counter.watching();
    };
    const WatchCount count = Watch(counter, hooks);
    report.Set(report_key::kSeconds, count.ran);
    report.Set(report_key::kFramesPainted, count.painted);
    report.Set(report_key::kFramesPerSecond, count.rate());
    if (!vorlane.FreeCG200()) {
        std::printf("the card opened but did not close: FreeCG200 failed\n");
        std::fprintf(stderr, "vorlane-cli: the card did not close\n");
        return kExitFailed;
    }
    if (count.interrupted) {
        std::printf("the count was interrupted after %.1f s, %lld pictures painted\n", count.ran,
                    count.painted);
        std::fprintf(stderr, "vorlane-cli: check --open was interrupted before it finished\n");
        return kExitFailed;
    }
    if (!counter.watching()) {
        std::printf("card opens; the picture lies off the screen, so its frames are not counted\n");
        return kExitOk;
    }
    if (count.painted == 0) {
        std::printf("the card opened but painted no picture in %g s\n", kNoPictureSeconds);
        std::fprintf(stderr, "vorlane-cli: the card opened but painted no picture (is a camera "
                             "connected to it?)\n");
        return kExitFailed;
    }
    std::printf("card opens, %.0f frames a second\n", count.rate());
    return kExitOk;
}

}  // namespace

// Every DLL that cannot be used gets its line on stderr.
int CheckCommand(const Arguments &args, Report &report) {
    PreviewOptions options;
    const std::string usage = ParseCheckOptions(args, options);
    if (!usage.empty()) return Usage(usage);
    const DllFile library = ExamineVorlane();
    const DllFile driver = ExamineDriver(library);
    PrintDll(library);
    PrintDll(driver);
    VorlaneFunctions vorlane;
    std::string problems[] = {library.problem, driver.problem};
    if (problems[0].empty() && problems[1].empty()) problems[0] = LoadVorlaneFile(library, vorlane);
    bool usable = true;
    for (const std::string &problem : problems) {
        if (problem.empty()) continue;
        std::fprintf(stderr, "vorlane-cli: %s\n", problem.c_str());
        usable = false;
    }
    // At the desk the virtual card is wanted; at a station it shows a test
    // picture in place of the camera. Either way it is said.
    const std::vector<std::string> virtualCards = VirtualCardsFound(library);
    for (const std::string &line : virtualCards) std::printf("%s\n", line.c_str());
    if (!usable) {
        std::printf("a DLL cannot be used\n");
        return kExitDllUnusable;
    }
    const int inPlace = virtualCards.empty() ? kExitOk : kExitVirtualCard;
    if (!options.open) {
        if (inPlace == kExitOk)
            std::printf("everything is in place; 'vorlane-cli check --open' also opens the card\n");
        return inPlace;
    }
    const int opened = OpenCard(vorlane, options.x, options.y, report);
    return opened == kExitOk ? inPlace : opened;
}

}  // namespace cli
