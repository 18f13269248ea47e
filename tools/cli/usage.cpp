// A command line that vorlane-cli cannot take: one line, then a pointer to
// --help.
#include <cstdio>

#include "commands.h"

namespace cli {

int Usage(const std::string &problem) {
    std::fprintf(stderr, "vorlane-cli: %s\nTry 'vorlane-cli --help'.\n", problem.c_str());
    return kExitUsage;
}

}  // namespace cli
