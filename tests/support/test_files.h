// Files as the tests make and read them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vt {

// The bytes of a file, or empty when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::string &path);
bool FileExists(const std::string &path);
// Writes `bytes` as the whole file, read-only or not.
void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes);
// A fresh folder for one test's files, removed by nobody: Wine's temp folder.
std::string TempPath(const std::string &name);
// A file or folder beside the test program, where the Linux-side scripts
// that run before or after it find what it reads or leaves.
std::string BesideProgram(const std::string &name);
// A path below `folder` longer than MAX_PATH.
std::string LongerThanMaxPath(const std::string &folder);
// A folder that did not exist before, in the same place: name-PROCESS-TICKS.
std::string NewTempFolder(const std::string &name);

}  // namespace vt
