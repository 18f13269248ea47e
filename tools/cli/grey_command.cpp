// grey: Vorlane's Color2Gray from one file to another, also record's grey copy.
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

}  // namespace cli
