// The command that is one call of Vorlane's: reset.
#include <cstdio>

#include "commands.h"

namespace cli {

int ResetCommand(const Arguments &args, Report &) {
    if (!args.empty()) return Usage("reset takes no arguments");
    VorlaneFunctions vorlane;
    if (!LoadVorlane(vorlane)) return kExitDllUnusable;
    if (!vorlane.HDReset()) {
        std::fprintf(stderr, "vorlane-cli: HDReset failed: the card could not be opened or closed\n");
        return kExitFailed;
    }
    std::printf("the card's A/D adjustments are back at 128\n");
    return kExitOk;
}

}  // namespace cli
