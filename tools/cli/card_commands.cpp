// The commands that are one call of Vorlane's: grey and reset.
#include <cstdio>

#include "commands.h"

namespace cli {

int WriteGrey(const VorlaneFunctions &vorlane, const char *source, const char *destination,
              Report &report) {
    if (!vorlane.Color2Gray(source, destination)) {
        std::fprintf(stderr,
                     "vorlane-cli: could not convert %s to grey in %s (the source must be an "
                     "existing 24-bit BMP file, the destination a writable file of another name)\n",
                     source, destination);
        return kExitFailed;
    }
    std::printf("grey picture written to %s\n", destination);
    report.Set(report_key::kGreySaved, std::string(destination));
    return kExitOk;
}

int GreyCommand(const Arguments &args, Report &report) {
    if (args.size() != 2) return Usage("grey takes two file names: SRC.bmp DST.bmp");
    VorlaneFunctions vorlane;
    if (!LoadVorlane(vorlane)) return kExitDllUnusable;
    return WriteGrey(vorlane, args[0].c_str(), args[1].c_str(), report);
}

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
