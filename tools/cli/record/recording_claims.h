// The places a recording goes to, a folder or FILE.avi: checked and claimed
// before the card opens, so that nothing is ever overwritten.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "recording_report.h"

namespace recording {

// Creates the folder (and the folders above it that are missing), or checks
// that an existing one holds no BMP file and no recording.txt; then claims it
// by creating its recording.txt. Returns "" when the recording may start,
// else one line that says why not.
std::string PrepareFolder(const std::string &folder);

// True when `file` would lie in `folder` or below it, however either is
// spelled: relative or full, either slash, 8.3 names, or another drive
// letter or share that leads to the same folder. The folder need not exist.
bool LiesWithin(const std::string &file, const std::string &folder);

// True when `file` names the recording `aviPath` itself, its figures' file
// or one of its parts, however either is spelled.
bool NamesRecordingFile(const std::string &file, const std::string &aviPath);

// Gives up the claim when the recording never started: removes recording.txt.
void ReleaseFolder(const std::string &folder);

// The first of FILE.avi, FILE.txt and the recording's later parts
// (FILE_002.avi, ...) that exists, or "".
std::string ExistingRecordingFile(const std::string &path);
// The same for FILE.avi: none of those may exist; FILE.txt is created as
// the claim. "" or one line that says why not.
std::string PrepareAviFile(const std::string &path);
// Removes FILE.txt and FILE.avi when the recording never started.
void ReleaseAviFile(const std::string &path);

}  // namespace recording
