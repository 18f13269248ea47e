// vorlane-cli's commands. Each takes the arguments after its name, writes
// its figures into the report, and returns the program's exit status.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/cli_options.h"
#include "report.h"
#include "station.h"
#include "virtual_card_extras.h"
#include "watch_loop.h"

namespace cli {

// The program's exit status, as --help states it.
enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitDllUnusable = 3,
               kExitVirtualCard = 4 };

using Arguments = std::vector<std::string>;

int PreviewCommand(const Arguments &args, Report &report);
int CheckCommand(const Arguments &args, Report &report);
int GreyCommand(const Arguments &args, Report &report);
int ResetCommand(const Arguments &args, Report &report);
int RecordCommand(const Arguments &args, Report &report);
int MendCommand(const Arguments &args, Report &report);

// What another command adds to the preview: a look at each new picture, a
// say in when the watch ends, and the figures as it ends, before the card
// closes. `watched` is not called when the preview never ran.
struct PreviewExtras {
    std::function<void(const WatchedPicture &picture)> onPicture;
    std::function<bool()> mustEnd;
    std::function<void(const WatchCount &count, GetStatsFunction getStats)> watched;
};

// The preview as the preview command runs it, with the card already loaded.
int RunPreview(const VorlaneFunctions &vorlane, const PreviewOptions &options, Report &report,
               const PreviewExtras &extras);

// The picture's place on the screen, for placing windows beside it; held
// far from int's ends so that the sums made with it cannot overflow.
RECT PictureArea(int x, int y, int width, int height);

// Hands the virtual card the --scene picture, recording or footage
// folder, once its DLL is loaded. Returns the exit status of a failure, or -1.
int SetScene(const std::string &scene);

// The problem and a pointer to --help on stderr; the status for it.
int Usage(const std::string &problem);

// Color2Gray from one file to another, said on the console either way.
int WriteGrey(const VorlaneFunctions &vorlane, const char *source, const char *destination,
              Report &report);

}  // namespace cli
