// mend: finishes, in place, an AVI recording that was cut, so that players
// that go by the index open it. One line says what was found and written.
#include <cstdio>

#include "avi_file_mend.h"
#include "commands.h"

namespace cli {

int MendCommand(const Arguments &args, Report &) {
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') return Usage("mend takes one FILE.avi");
    const std::string &path = args[0];
    const recording::MendOutcome outcome = recording::MendAviFile(path);
    switch (outcome.status) {
    case recording::MendStatus::kWhole:
    case recording::MendStatus::kMended:
        std::printf("mend: %s: %s\n", path.c_str(), outcome.line.c_str());
        return kExitOk;
    case recording::MendStatus::kFailed:
        std::fprintf(stderr, "vorlane-cli: %s: %s\n", path.c_str(), outcome.line.c_str());
        return kExitFailed;
    case recording::MendStatus::kRefused:
        break;
    }
    std::fprintf(stderr, "vorlane-cli: %s: %s\n", path.c_str(), outcome.line.c_str());
    return kExitUsage;
}

}  // namespace cli
