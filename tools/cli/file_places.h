// Questions about places in the file system, and the pieces of a path, that
// more than one command asks.
#pragma once

#include <string>

namespace cli {

// True when `path` names an existing folder; false for a file or nothing.
bool IsFolder(const std::string &path);

// The folder part of a path, "" when it has none or ends in a slash. A
// drive's root keeps its slash: "C:" alone names the drive's current folder.
std::string FolderOf(const std::string &path);
// What follows the last slash: the file's name.
std::string NameOf(const std::string &path);
// Without trailing slashes, but never shorter than a root ("C:\").
std::string WithoutTrailingSlashes(std::string path);

// The full path, without trailing slashes; "" when it cannot be made.
std::string FullPath(const std::string &path);

}  // namespace cli
