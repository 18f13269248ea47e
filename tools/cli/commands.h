// vorlane-cli's commands. Each takes the arguments after its name, writes
// its figures into the report, and returns the program's exit status.
#pragma once

#include <string>
#include <vector>

#include "report.h"
#include "station.h"

namespace cli {

// The program's exit status, as --help states it.
enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitDllUnusable = 3 };

using Arguments = std::vector<std::string>;

int PreviewCommand(const Arguments &args, Report &report);
int CheckCommand(const Arguments &args, Report &report);
int GreyCommand(const Arguments &args, Report &report);
int ResetCommand(const Arguments &args, Report &report);

// The problem and a pointer to --help on stderr; the status for it.
int Usage(const std::string &problem);

// Color2Gray from one file to another, said on the console either way.
int WriteGrey(const VorlaneFunctions &vorlane, const char *source, const char *destination,
              Report &report);

}  // namespace cli
