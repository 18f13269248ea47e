// Questions about places in the file system that more than one command asks.
#pragma once

#include <string>

namespace cli {

// True when `path` names an existing folder; false for a file or nothing.
bool IsFolder(const std::string &path);

}  // namespace cli
